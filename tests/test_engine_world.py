"""Download jobs in situations only the Linux side can make: the process
killed mid-download and restarted, a disk that is full before or during the
download, and the flush that must come before every state save."""
import os
import random
import subprocess
import time
import unittest

import wineworld as ww  # first: it finds the modules below
import content
import httpserver
from driver import EXE, FAILED, Driver, EndChecks, range_starts, segments

MiB = 1048576


class EngineWorld(EndChecks, httpserver.ServerTestCase, unittest.TestCase):
    def test_killed_at_random_moments_resumes_to_identical_bytes(self):
        size, seed, token = 64 * MiB, 5, 'kill%d' % os.getpid()
        url = '%s/file/killed.bin?size=%d&seed=%d&rate=1500000&token=%s' % (self.base, size, seed, token)
        folder, rng, name, saved = self.folder(), random.Random(20261206), None, []
        for run in range(1, 6):
            d = Driver([url, ww.to_windows(folder), '--connections', '4'] + (['--name', name, '--fixed'] if name else []))
            if run == 5:
                end = d.finish()
            else:
                started, wait = None, rng.uniform(1.0, 3.5)
                for last in d.lines():
                    started = started or (last['state'] == 2 and time.time())
                    name = last['name'] if last['fixed'] else name
                    if started and time.time() - started > wait:
                        break
                d.kill()
                self.assertIsNotNone(name, 'the name was never fixed')
            # Each restart went on where the last save said: no request starts inside saved
            # bytes, and the first unfinished range (they go out in order) is asked for from there.
            asked = range_starts(httpserver._logs[token], run)
            self.assertEqual([r for r in asked for start, _, pos in saved if start <= r < pos], [])
            if any(pos < end_ for _, end_, pos in saved):
                self.assertIn(min(pos for _, end_, pos in saved if pos < end_), asked)
            if run < 5:
                saved = segments(os.path.join(folder, name + '.zebstate'))
                # A kill loses at most what the last 2-second save had not recorded (and the save's own lag).
                self.assertLessEqual(last['done'] - sum(pos - start for start, _, pos in saved),
                                     last['speed'] * 2.6 + 2 * MiB)
        self.assertByteExact(end, folder, seed, size)
        self.assertEqual(os.listdir(folder), [name])

    def test_not_enough_free_space_is_refused_and_the_name_stays_free(self):
        with ww.tmpfs('4m') as disk:
            url = '%s/file/big.iso?size=%d&token=space%d' % (self.base, 8 * MiB, os.getpid())
            end = Driver([url, ww.to_windows(disk), '--fast']).finish()
            # The error names the disk and what it needs; the partial file is gone, so the name is not settled.
            self.assertEqual((end['state'], ww.to_windows(disk) in end['error'], ' 8.0 MB' in end['error'], end['fixed'],
                              os.listdir(disk)), (FAILED, True, True, False, []), end)

    def test_disk_filling_up_mid_download_fails_and_keeps_the_last_good_state(self):
        with ww.tmpfs('12m') as disk:
            size = 10 * MiB
            url = '%s/file/fill.bin?size=%d&seed=9&rate=700000&token=fill%d' % (self.base, size, os.getpid())
            d = Driver([url, ww.to_windows(disk), '--connections', '4', '--fast'])
            state_file, filled = os.path.join(disk, 'fill.bin.zebstate'), False
            for last in d.lines():
                # Once a state save landed, take the rest of the disk: the
                # sparse partial file has not claimed its blocks yet.
                if not filled and last['state'] == 2 and os.path.exists(state_file):
                    ww.fill(disk)
                    filled = True
            d.finish()
            self.assertEqual((filled, last['state'], last['error'].startswith(d.texts['diskwrite'])), (True, FAILED, True), last)
            # The state kept is a complete earlier save whose ranges hold the server's bytes.
            with open(state_file, 'rb') as f:
                self.assertTrue(f.read().startswith(('ZEBSTATE 1\r\nurl=%s\r\ntotal=%d\r\n' % (url, size)).encode()))
            with open(os.path.join(disk, 'fill.bin.zebpart'), 'rb') as f:
                part = f.read()
            for start, _, pos in segments(state_file):
                self.assertTrue(part[start:pos] == content.piece(9, start, pos), (start, pos))

    def test_partial_file_is_flushed_before_each_state_save(self):
        # Renames frozen as at exit: the last save, which records every
        # byte, must be flushed like the others.
        folder = self.folder()
        log = os.path.join(folder, 'trace')
        url = '%s/file/flushed.bin?size=%d&rate=1000000&token=flush%d' % (self.base, 12 * MiB, os.getpid())
        with ww.World() as w:
            subprocess.run(['strace', '-f', '-y', '-o', log, '-e', 'trace=fsync,fdatasync,rename,renameat,renameat2',
                            'wine', EXE, url, ww.to_windows(folder), '--connections', '2', '--frozen'],
                           env=w.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=180, check=True)
        with open(log) as f:
            lines = f.read().splitlines()
        # Both the partial file and the new state's own bytes (the one home of every atomic write).
        wanted = {os.path.join(folder, 'flushed.bin' + suffix) + '>' for suffix in ('.zebpart', '.zebstate.tmp')}
        saves = [i for i, line in enumerate(lines) if 'rename' in line and 'flushed.bin.zebstate.tmp"' in line]
        self.assertGreaterEqual(len(saves), 3, 'expected several state saves')
        # (The first names the link before the partial file exists and records nothing done.)
        for before, save in zip(saves, saves[1:]):
            flushed = {f for line in lines[before + 1:save] if 'fsync(' in line or 'fdatasync(' in line for f in wanted if f in line}
            self.assertEqual(flushed, wanted, 'a state save without a flush of the partial file and the new state before it')
        self.assertEqual(sum(pos - start for start, _, pos in segments(os.path.join(folder, 'flushed.bin.zebstate'))),
                         12 * MiB)


if __name__ == '__main__':
    unittest.main()
