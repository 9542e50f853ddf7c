"""A room of machines sharing downloads through one lab cache folder. Each
machine is a `tidewell.exe --get` process of its own; a Linux folder stands in
for the share (none of SMB's own behaviour is shown: only CREATE_NEW and a
rename that replaces nothing are leaned on)."""
import os
import pathlib
import shutil
import subprocess
import unittest

import wineworld as ww  # first: it finds the modules below
import content
import httpserver
from driver import EndChecks

MiB = 1048576
PROGRAM = 'C:\\Tidewell\\tidewell.exe'
FAST = {'TW_LAB_TIMING': '200,3000'}  # beat and stale time, ms


class LabCache(EndChecks, httpserver.ServerTestCase, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.w = ww.World()
        cls.w.install_program()
        cls.w.ensure_server()

    @classmethod
    def tearDownClass(cls):
        cls.w.close()
        super().tearDownClass()

    def machine(self, cache, link, *rest):
        """One machine's run, started: its own target folder."""
        folder = self.folder()
        args = ['wine', PROGRAM, '--get', '--cache', ww.to_windows(cache), '--to', ww.to_windows(folder)] + list(rest) + [link]
        run = subprocess.Popen(args, env={**self.w.env, **FAST}, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
        return run, folder

    def finish(self, run, folder, seed, size):
        """Its output lines, once it ended with the whole file."""
        lines = run.communicate(timeout=120)[0].decode('utf-8').splitlines()
        self.assertEqual((run.returncode, lines[-1].split(' ')[0]), (0, 'OK'), lines)
        name = lines[-1].split(' ', 3)[3]
        self.assertTrue(content.file_holds(os.path.join(folder, name), seed, size), lines)
        return lines

    def cached(self, cache):
        return sorted(os.listdir(cache))

    def test_a_room_fetches_a_file_about_once_even_when_its_fetcher_dies(self):
        # Catches every machine fetching the file on its own; followers that copy bytes the fetcher
        # has not written; a fetcher's death leaving the room waiting, or fetching it all again; a
        # lock or partial file left in the cache; a copy that does not say where it came from.
        size = 48 * MiB
        for case, kill, bound in (('together', False, 1.25), ('killed', True, 1.6)):
            with self.subTest(case):
                cache, token, seed = self.folder(), 'lab-%s-%d' % (case, os.getpid()), 31 + kill
                link = self.link('room.bin', size, seed, '&validators=etag&rate=4000000&token=' + token)
                first = self.machine(cache, link, '--connections', '4')
                if kill:
                    self.assertTrue(ww.wait_for(lambda: self.sent(token) >= size // 3, 60))
                    first[0].kill()
                    first[0].wait()
                others = [self.machine(cache, link, '--connections', '4') for _ in range(3)]
                said = [self.finish(run, folder, seed, size) for run, folder in ([] if kill else [first]) + others]
                print('  %s: the origin sent %.2fx the file' % (case, self.sent(token) / size))
                self.assertLessEqual(self.sent(token), bound * size)
                # Between the start and the OK line, the machines that copied say where from.
                copied = [lines[1:-1] for lines in said if len(lines) > 2]
                self.assertGreaterEqual(len(copied), len(said) - 1, said)
                self.assertEqual(len({tuple(c) for c in copied}), 1, said)
                self.assertEqual([n.split('=')[0][:5] for n in self.cached(cache)], ['link-'], self.cached(cache))

    def test_an_entry_is_verified_set_aside_when_damaged_and_served_offline_full_or_read_only(self):
        # Catches a damaged entry handed out (or deleted, or left for the next machine); a file known by
        # its sum that still asks the server; a full cache failing the download or left with a lock; a
        # read-only cache written to, or not served.
        size, seed, token = 6 * MiB, 33, 'lab-entry-%d' % os.getpid()
        good = self.sha(size, seed)
        cache = self.folder()
        entry = pathlib.Path(cache, 'sha256-%s=%s' % (good, good))
        entry.write_bytes(content.piece(seed + 1, 0, size))  # another file under this file's sum
        link = self.link('proved.bin', size, seed, '&token=%s#sha256=%s' % (token, good))
        lines = self.finish(*self.machine(cache, link), seed, size)
        self.assertGreaterEqual(self.sent(token), size)  # fetched from the server, not copied
        self.assertEqual([n.split('-')[0] for n in self.cached(cache)], ['damaged', 'sha256'])
        self.assertTrue(content.file_holds(str(entry), seed, size))  # the fetched file is the entry now
        # The lab's server gone: a file known by its sum comes from the cache alone.
        offline = 'http://127.0.0.1:9/proved.bin#sha256=' + good
        lines = self.finish(*self.machine(cache, offline), seed, size)
        self.assertEqual(len(lines), 3, lines)  # started, from the cache, OK
        # Shares a root may mount: one too small for the file, one read-only.
        small, mounted = self.folder(), self.folder()
        for mount in (['-t', 'tmpfs', '-o', 'size=4m', 'tmpfs', small], ['--bind', '-o', 'ro', cache, mounted]):
            if subprocess.run(['mount'] + mount, stderr=subprocess.DEVNULL).returncode:
                self.skipTest('no mount here')
            self.addCleanup(subprocess.run, ['umount', mount[-1]])
        # A full one is said once, and the file comes from the server into the user's folder.
        big = self.link('big.bin', 6 * MiB, 35, '&validators=etag&token=' + token + 'f')
        lines = self.finish(*self.machine(small, big), 35, 6 * MiB)
        self.assertEqual((len(lines), os.listdir(small)), (3, []), lines)
        # A read-only one still serves what it has; a miss is fetched without writing there.
        before = self.cached(cache)
        self.finish(*self.machine(mounted, offline), seed, size)
        other = self.link('miss.bin', 2 * MiB, 34, '&validators=etag&token=' + token + 'm')
        lines = self.finish(*self.machine(mounted, other), 34, 2 * MiB)
        self.assertEqual((self.cached(cache), len(lines)), (before, 3), lines)  # started, read-only said once, OK


if __name__ == '__main__':
    unittest.main()
