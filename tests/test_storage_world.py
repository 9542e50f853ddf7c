"""Storage locations and file services inside prepared Wine worlds: the
Windows PE marker, the data folder on read-only and full media, the drive
ranking over real drives, free space of folders that do not exist yet and
the atomic replacement's flush."""
import os
import shutil
import subprocess
import unittest

import wineworld as ww

MINI_NT = r'HKLM\System\CurrentControlSet\Control\MiniNT'


def probe_shared(*args):
    result = ww.run_shared([ww.PROBE] + list(args))
    return result.stdout.decode('utf-8').strip()


class WindowsPEMarker(unittest.TestCase):
    def test_minint_key_makes_windows_pe(self):
        with ww.World() as w:
            w.reg_add(MINI_NT)
            self.assertEqual(w.probe('ispe'), '1')

    def test_plain_prefix_is_not_windows_pe(self):
        self.assertEqual(probe_shared('ispe'), '0')


class DataFolder(unittest.TestCase):
    def setUp(self):
        self.dir = ww.scratch_dir('exe-')
        self.addCleanup(shutil.rmtree, self.dir, True)
        shutil.copy(ww.PROBE, self.dir)

    def fallback(self):
        return probe_shared('tempdir') + 'TidewellPE'

    def test_writable_folder_of_the_executable(self):
        exe = os.path.join(self.dir, 'tw_probe.exe')
        self.assertEqual(ww.run_shared([exe, 'datafolder']).stdout.decode().strip(), ww.to_windows(self.dir))
        self.assertEqual(sorted(os.listdir(self.dir)), ['tw_probe.exe'])  # the test file is gone

    def test_read_only_medium_falls_back_to_temp(self):
        with ww.readonly_view(self.dir) as ro:
            got = ww.run_shared([os.path.join(ro, 'tw_probe.exe'), 'datafolder']).stdout.decode().strip()
        self.assertEqual(got, self.fallback())
        self.assertIn(r'\Temp', got)
        self.assertTrue(os.path.isdir(ww.shared_c_path(got)))  # the fallback folder was created

    def test_full_disk_beside_the_executable_falls_back(self):
        # Creating an empty file succeeds on a full disk; only writing bytes
        # shows that nothing could be saved there.
        with ww.tmpfs('8m') as disk:
            shutil.copy(ww.PROBE, disk)
            ww.fill(disk)
            self.assertLess(ww.free_bytes(disk), 4096)
            got = ww.run_shared([os.path.join(disk, 'tw_probe.exe'), 'datafolder']).stdout.decode().strip()
        self.assertEqual(got, self.fallback())


class DefaultDownloadFolder(unittest.TestCase):
    def test_profile_downloads_outside_windows_pe(self):
        profile = probe_shared('env', 'USERPROFILE')
        self.assertTrue(profile)
        self.assertEqual(probe_shared('defaultfolder'), profile + '\\Downloads')

    def pe_world(self, drives):
        """A Windows PE world whose only drives besides C: (the system drive)
        are `drives`: (letter, linux folder, Wine drive type)."""
        w = ww.World()
        self.addCleanup(w.close)
        w.reg_add(MINI_NT)
        w.unmap_drive('z')  # the Linux root would outrank every test drive
        for letter, path, kind in drives:
            w.map_drive(letter, path, kind)
        return w

    def test_pe_ranks_fixed_then_free_space(self):
        with ww.tmpfs('8m') as d, ww.tmpfs('16m') as e, ww.tmpfs('64m') as f:
            w = self.pe_world([('d', d, 'hd'), ('e', e, 'hd'), ('f', f, 'floppy')])
            self.assertEqual(w.probe('defaultfolder'), r'E:\ZEBDownloads')
            self.assertFalse(os.path.exists(os.path.join(e, 'ZEBDownloads')))  # not created here

    def test_pe_full_fixed_drive_loses_to_a_removable_one(self):
        with ww.tmpfs('8m') as d, ww.tmpfs('8m') as f:
            ww.fill(d)
            self.assertEqual(ww.free_bytes(d), 0)
            w = self.pe_world([('d', d, 'hd'), ('f', f, 'floppy')])
            self.assertEqual(w.probe('defaultfolder'), r'F:\ZEBDownloads')

    def test_pe_read_only_media_only(self):
        # Wine sets FILE_READ_ONLY_VOLUME only for drives of type cdrom, never
        # for a read-only mount of another type, so the write-protected stick
        # of a real machine is covered by the ranking's plain-data tests.
        with ww.tmpfs('8m', readonly=True) as dvd:
            w = self.pe_world([('d', dvd, 'cdrom')])
            self.assertIn('flags=524288', w.probe('volume', 'D:\\'))  # FILE_READ_ONLY_VOLUME
            self.assertEqual(w.probe('defaultfolder'), r'C:\Downloads')

    def test_free_space_of_a_folder_not_yet_created(self):
        with ww.tmpfs('8m') as d:
            w = self.pe_world([('d', d, 'hd')])
            self.assertEqual(int(w.probe('freespace', r'D:\no\such\folder')), ww.free_bytes(d))
            # Paths a cut cannot shorten used to loop forever; each answers
            # "unknown" (the probe's timeout fails the test otherwise).
            for path in (r'\\?\Q:\x', r'ab:\x', 'no-such-file', r'Q:\deep\er'):
                self.assertEqual(int(w.probe('freespace', path, timeout=60)), 2**64 - 1, path)


class AtomicWrite(unittest.TestCase):
    def setUp(self):
        self.dir = ww.scratch_dir('atomic-')
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.target = os.path.join(self.dir, 'downloads.lst')
        with open(self.target, 'w') as f:
            f.write('old')

    def test_target_that_cannot_be_replaced_keeps_the_old_file(self):
        with ww.unreplaceable(self.target):
            got = probe_shared('write', ww.to_windows(self.target), 'new')
        self.assertEqual(got, 'failed')
        with open(self.target) as f:
            self.assertEqual(f.read(), 'old')
        self.assertEqual(os.listdir(self.dir), ['downloads.lst'])

    def test_new_bytes_are_flushed_before_the_rename(self):
        # The rename happens in the wineserver, the flush in the program:
        # trace both (a world's server is a child of the traced wine).
        log = os.path.join(self.dir, 'trace')
        with ww.World() as w:
            subprocess.run(['strace', '-f', '-y', '-o', log, '-e', 'trace=fsync,fdatasync,rename,renameat,renameat2',
                            'wine', ww.PROBE, 'write', ww.to_windows(self.target), 'new'],
                           env=w.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=120, check=True)
        with open(self.target) as f:
            self.assertEqual(f.read(), 'new')
        with open(log) as f:
            lines = f.read().splitlines()
        tmp = self.target + '.tmp'
        flushes = [i for i, l in enumerate(lines) if ('fsync(' in l or 'fdatasync(' in l) and tmp + '>' in l]
        renames = [i for i, l in enumerate(lines) if 'rename' in l and '"%s"' % tmp in l]
        self.assertTrue(renames, 'no rename seen')
        self.assertTrue(flushes, 'the temporary file was never flushed')
        self.assertLess(flushes[0], renames[0])


if __name__ == '__main__':
    unittest.main()
