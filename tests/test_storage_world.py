"""Storage locations and file services inside prepared Wine worlds: the
Windows PE marker, the data folder on read-only and full media, the drive
ranking over real drives and free space of folders that do not exist yet;
the sums file we write, checked by sha256sum.
(Outside Windows PE the profile's Downloads: where the GUI start tests find their files.)
(The atomic replacement's flush is traced with the state saves in
test_engine_world.)"""
import hashlib
import os
import shutil
import subprocess
import unittest

import wineworld as ww



def probe_shared(*args, exe=ww.PROBE):
    return ww.run_shared([exe] + list(args)).stdout.decode('utf-8').strip()


class Storage(unittest.TestCase):
    def test_the_sums_file_we_write_is_checked_by_sha256sum(self):
        # Catches a line sha256sum reads another way: a separator, a line end, a name with a
        # backslash or line feed left unescaped (it would check another file or none).
        folder = ww.scratch_dir('sums-')
        self.addCleanup(shutil.rmtree, folder, True)
        os.makedirs(os.path.join(folder, 'iso'))
        args = []
        for name in ['iso/a b.iso', 'c\\d', 'e\nf', '\u0111.iso']:
            with open(os.path.join(folder, name), 'wb') as f:
                f.write(name.encode())
            args += [name, hashlib.sha256(name.encode()).hexdigest()]
        self.assertEqual(probe_shared('sums', ww.to_windows(os.path.join(folder, 'SHA256SUMS')), *args), 'ok')
        checked = subprocess.run(['sha256sum', '--strict', '-c', 'SHA256SUMS'], cwd=folder, capture_output=True)
        self.assertEqual((checked.returncode, checked.stdout.count(b': OK\n')), (0, 4), checked.stderr)

    def test_data_folder_beside_the_executable_unless_nothing_can_be_saved_there(self):
        fallback = probe_shared('tempdir') + 'TidewellPE'
        writable = ww.scratch_dir('exe-')
        self.addCleanup(shutil.rmtree, writable, True)
        shutil.copy(ww.PROBE, writable)
        # Beside it, and the file that tried the folder is gone.
        self.assertEqual((probe_shared('datafolder', exe=os.path.join(writable, 'tw_probe.exe')), os.listdir(writable)),
                         (ww.to_windows(writable), ['tw_probe.exe']))
        with ww.readonly_view(writable) as ro:
            got = probe_shared('datafolder', exe=os.path.join(ro, 'tw_probe.exe'))
        self.assertEqual(got, fallback)
        self.assertTrue(os.path.isdir(ww.shared_c_path(got)))  # the fallback folder was created
        # Creating an empty file succeeds on a full disk; only writing bytes shows nothing can be saved.
        with ww.tmpfs('8m') as disk:
            shutil.copy(ww.PROBE, disk)
            ww.fill(disk)
            self.assertEqual(probe_shared('datafolder', exe=os.path.join(disk, 'tw_probe.exe')), fallback)

    def test_windows_pe_ranks_real_drives_and_asks_free_space_of_absent_folders(self):
        # D: fixed but full, E: fixed, F: removable and larger; C: is the system drive.
        with ww.tmpfs('8m') as d, ww.tmpfs('16m') as e, ww.tmpfs('64m') as f, ww.World() as w:
            ww.fill(d)
            w.reg_add(r'HKLM\System\CurrentControlSet\Control\MiniNT')  # the Windows PE marker
            w.unmap_drive('z')  # the Linux root would outrank every test drive
            for letter, path, kind in (('d', d, 'hd'), ('e', e, 'hd'), ('f', f, 'floppy')):
                w.map_drive(letter, path, kind)
            self.assertEqual((w.probe('ispe'), w.probe('defaultfolder'), os.path.exists(os.path.join(e, 'ZEBDownloads'))),
                             ('1', r'E:\ZEBDownloads', False))  # (not created here)
            self.assertEqual(int(w.probe('freespace', r'E:\no\such\folder')), ww.free_bytes(e))
            # Paths a cut cannot shorten used to loop forever; each answers "unknown".
            for path in (r'\\?\Q:\x', r'ab:\x', 'no-such-file', r'Q:\deep\er'):
                self.assertEqual(int(w.probe('freespace', path)), 2**64 - 1, path)


if __name__ == '__main__':
    unittest.main()
