"""Download jobs in situations only the Linux side can make: the process
killed mid-download and restarted, a disk that is full before or during the
download, and the flush that must come before every state save."""
import os
import random
import re
import shutil
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), 'server'))
import content  # noqa: E402
import httpserver  # noqa: E402
import wineworld as ww  # noqa: E402

DRIVER = os.path.join(ww.BUILD, 'tests', 'tw_driver.exe')
MiB = 1048576
LINE = re.compile(r'(progress|end) job=\d+ retries=\d+ state=(\d) done=(-?\d+) total=(-?\d+) fixed=(\d) speed=(\d+) name=(.*?) error=(.*)$')


def parse(line):
    m = LINE.match(line)
    if not m:
        return None
    return {'kind': m.group(1), 'state': int(m.group(2)), 'done': int(m.group(3)), 'total': int(m.group(4)),
            'fixed': m.group(5) == '1', 'speed': int(m.group(6)), 'name': m.group(7), 'error': m.group(8)}


def recorded(state_path):
    """(bytes the state file records as on disk, positions of its unfinished ranges)."""
    if not os.path.exists(state_path):
        return 0, set()
    with open(state_path, 'rb') as f:
        text = f.read().decode()
    done, open_positions = 0, set()
    for line in text.split('\r\n'):
        if line.startswith('seg='):
            start, end, pos = (int(x) for x in line[4:].split(','))
            done += pos - start
            if pos < end:
                open_positions.add(pos)
    return done, open_positions


def worker_starts(token, run):
    """First bytes of the ranges asked for in the run-th probe's phase (1-based)."""
    starts, phase = set(), 0
    for r in httpserver._logs.get(token, []):
        rng = r['headers'].get('Range', '')
        if rng == 'bytes=0-0':
            phase += 1
        elif phase == run and rng.startswith('bytes='):
            starts.add(int(rng[6:].split('-')[0]))
    return starts


class Driver:
    """One driver process under Wine in the shared prefix."""

    def __init__(self, args):
        # Closed in close().
        self.proc = subprocess.Popen([os.path.join(ww.BUILD, 'wine-run'), DRIVER] + args, stdout=subprocess.PIPE,
                                     stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self):
        self.proc.stdout.close()

    def lines(self):
        for raw in self.proc.stdout:
            info = parse(raw.decode('utf-8', 'replace').rstrip('\r\n'))
            if info:
                yield info

    def finish(self, timeout=120):
        last = None
        deadline = time.time() + timeout
        for info in self.lines():
            last = info
            if time.time() > deadline:
                self.proc.kill()
                break
        self.proc.wait(timeout=30)
        self.close()
        return last


class EngineWorld(httpserver.ServerTestCase, unittest.TestCase):
    def folder(self):
        path = ww.scratch_dir('dl-')
        self.addCleanup(shutil.rmtree, path, True)
        return path

    def test_killed_at_random_moments_resumes_to_identical_bytes(self):
        size, seed = 64 * MiB, 5
        token = 'kill%d' % os.getpid()
        url = '%s/file/killed.bin?size=%d&seed=%d&rate=1500000&token=%s' % (self.base, size, seed, token)
        folder = self.folder()
        rng = random.Random(20261206)
        name = None
        for kill in range(4):
            args = [url, ww.to_windows(folder), '--connections', '4']
            if name:
                args += ['--name', name, '--fixed']
            d = Driver(args)
            started = None
            last = None
            wait = rng.uniform(1.0, 3.5)
            for info in d.lines():
                last = info
                if info['state'] == 2 and started is None:
                    started = time.time()
                if info['fixed']:
                    name = info['name']
                if started and time.time() - started > wait:
                    break
            d.proc.kill()  # not a pause: the process just ends
            d.proc.wait(timeout=30)
            d.close()
            self.assertIsNotNone(name, 'the name was never fixed')
            state_path = os.path.join(folder, name + '.zebstate')
            if kill > 0:
                # The restarted run asked for every unfinished range exactly
                # where the last save said it stood.
                self.assertLessEqual(previous_open, worker_starts(token, kill + 1))
            done, previous_open = recorded(state_path)
            # What the kill loses is at most what the last 2-second save had
            # not recorded (plus the save's own lag).
            self.assertLessEqual(last['done'] - done, last['speed'] * 2.6 + 2 * MiB)
        end = Driver(args[:4] + ['--name', name, '--fixed']).finish()
        self.assertLessEqual(previous_open, worker_starts(token, 5))
        self.assertEqual(end['state'], 4, end)
        with open(os.path.join(folder, name), 'rb') as f:
            self.assertTrue(f.read() == content.piece(seed, 0, size), 'bytes differ after the kills')
        self.assertEqual(sorted(os.listdir(folder)), [name])

    def test_not_enough_free_space_is_refused_and_the_name_stays_free(self):
        with ww.tmpfs('4m') as disk:
            url = '%s/file/big.iso?size=%d&token=space%d' % (self.base, 8 * MiB, os.getpid())
            end = Driver([url, ww.to_windows(disk), '--fast']).finish()
            self.assertEqual(end['state'], 5, end)
            self.assertTrue(end['error'].startswith('Không đủ dung lượng trống tại %s: cần 8.0 MB, còn trống ' %
                                                    ww.to_windows(disk)), end['error'])
            self.assertTrue(end['error'].endswith(' MB.'))
            # The partial file is gone, so the name must not count as settled.
            self.assertFalse(end['fixed'])
            self.assertEqual(os.listdir(disk), [])

    def test_disk_filling_up_mid_download_fails_and_keeps_the_last_good_state(self):
        with ww.tmpfs('12m') as disk:
            size = 10 * MiB
            url = '%s/file/fill.bin?size=%d&seed=9&rate=700000&token=fill%d' % (self.base, size, os.getpid())
            d = Driver([url, ww.to_windows(disk), '--connections', '4', '--fast'])
            filled = False
            last = None
            for info in d.lines():
                last = info
                state_file = os.path.join(disk, 'fill.bin.zebstate')
                # Once a state save landed, take the rest of the disk: the
                # sparse partial file has not claimed its blocks yet.
                if not filled and info['state'] == 2 and os.path.exists(state_file):
                    ww.fill(disk)
                    filled = True
            d.proc.wait(timeout=30)
            d.close()
            self.assertTrue(filled)
            self.assertEqual(last['state'], 5, last)
            self.assertTrue(last['error'].startswith('Không ghi được vào đĩa: '), last['error'])
            # The state kept is a complete earlier save whose ranges hold the server's bytes.
            state_path = os.path.join(disk, 'fill.bin.zebstate')
            with open(state_path, 'rb') as f:
                text = f.read().decode()
            self.assertTrue(text.startswith('ZEBSTATE 1\r\nurl=%s\r\ntotal=%d\r\n' % (url, size)), text)
            with open(os.path.join(disk, 'fill.bin.zebpart'), 'rb') as f:
                part = f.read()
            for line in text.split('\r\n'):
                if line.startswith('seg='):
                    start, _, pos = (int(x) for x in line[4:].split(','))
                    self.assertTrue(part[start:pos] == content.piece(9, start, pos), line)

    def test_partial_file_is_flushed_before_each_state_save(self):
        # Renames frozen as at exit: the last save, which records every
        # byte, must be flushed like the others.
        folder = self.folder()
        log = os.path.join(folder, 'trace')
        url = '%s/file/flushed.bin?size=%d&rate=1000000&token=flush%d' % (self.base, 12 * MiB, os.getpid())
        with ww.World() as w:
            subprocess.run(['strace', '-f', '-y', '-o', log, '-e', 'trace=fsync,fdatasync,rename,renameat,renameat2',
                            'wine', DRIVER, url, ww.to_windows(folder), '--connections', '2', '--frozen'],
                           env=w.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=180, check=True)
        with open(log) as f:
            lines = f.read().splitlines()
        part = os.path.join(folder, 'flushed.bin.zebpart')
        saves = [i for i, l in enumerate(lines) if 'rename' in l and 'flushed.bin.zebstate.tmp"' in l]
        self.assertGreaterEqual(len(saves), 2, 'expected several state saves')
        previous = -1
        for i in saves:
            flushed = any(('fsync(' in l or 'fdatasync(' in l) and part + '>' in l for l in lines[previous + 1:i])
            self.assertTrue(flushed, 'a state save without a flush of the partial file before it')
            previous = i
        self.assertEqual(recorded(os.path.join(folder, 'flushed.bin.zebstate'))[0], 12 * MiB)


if __name__ == '__main__':
    unittest.main()
