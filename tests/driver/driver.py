"""tw_driver.exe from Python: one download job in the build's shared
prefix (or a world), its progress lines read as records; and the checks
of a job's end that the world tests share."""
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), 'server'))
import content  # noqa: E402
import wineworld as ww  # noqa: E402

EXE = os.path.join(ww.BUILD, 'tests', 'tw_driver.exe')
LINE = re.compile(r'(progress|end) job=\d+ retries=\d+ state=(\d) done=(-?\d+) total=(-?\d+) fixed=(\d) speed=(\d+) '
                  r'clock=(\d+) name=(.*?) error=(.*)$')


def parse(line):
    m = LINE.match(line)
    return m and {'kind': m.group(1), 'state': int(m.group(2)), 'done': int(m.group(3)), 'total': int(m.group(4)),
                  'fixed': m.group(5) == '1', 'speed': int(m.group(6)), 'clock': int(m.group(7)), 'name': m.group(8),
                  'error': m.group(9)}


COMPLETED, FAILED = 4, 5


def run(args, world=None, timeout=240):
    """One run to its end: (the last "end" record, the whole output, the program's sentences by key)."""
    result = (world.run if world else ww.run_shared)([EXE] + args, timeout=timeout)
    out = result.stdout.decode('utf-8', 'replace')
    ends = [info for info in map(parse, out.splitlines()) if info and info['kind'] == 'end']
    texts = dict(line[5:].partition('=')[::2] for line in out.splitlines() if line.startswith('text '))
    return (ends[-1] if ends else None), out, texts


class EndChecks:
    """For unittest cases: scratch folders removed after the test, and what a job's end record must say."""

    def folder(self):
        path = ww.scratch_dir('dl-')
        self.addCleanup(shutil.rmtree, path, True)
        return path

    def assertByteExact(self, end, folder, seed, size):
        self.assertIsNotNone(end, 'the driver printed no end line')
        self.assertEqual(end['state'], COMPLETED, end)
        with open(os.path.join(folder, end['name']), 'rb') as f:
            self.assertTrue(f.read() == content.piece(seed, 0, size), 'bytes differ')

    def assertFailedWith(self, end, sentence):
        self.assertIsNotNone(end, 'the driver printed no end line')
        self.assertEqual(end['state'], FAILED, end)
        self.assertEqual(end['error'], sentence)


class Driver:
    def __init__(self, args):
        self.proc = subprocess.Popen([os.path.join(ww.BUILD, 'wine-run'), EXE] + args, stdout=subprocess.PIPE,
                                     stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.texts = {}  # the engine's own wording, by name

    def lines(self):
        for raw in self.proc.stdout:
            line = raw.decode('utf-8', 'replace').rstrip('\r\n')
            if line.startswith('text '):
                key, _, value = line[5:].partition('=')
                self.texts[key] = value
            elif parse(line):
                yield parse(line)

    def kill(self):
        self.proc.kill()  # not a pause: the process just ends
        self.proc.wait(timeout=30)
        self.proc.stdout.close()

    def finish(self, timeout=120):
        """The last record, once the job has ended."""
        last = None
        deadline = time.time() + timeout
        for last in self.lines():
            if time.time() > deadline:
                self.proc.kill()
                break
        self.proc.wait(timeout=30)
        self.proc.stdout.close()
        return last


def segments(state_path):
    """The (start, end, pos) ranges a state file records; none without the file."""
    if not os.path.exists(state_path):
        return []
    with open(state_path, 'rb') as f:
        return [tuple(int(x) for x in line[4:].split(',')) for line in f.read().decode().split('\r\n')
                if line.startswith('seg=')]


def range_starts(log, run):
    """First bytes of the ranges asked for after the run-th probe (1-based) in a server log,
    but for the byte samples (64 KiB at most) a resume compares with the disk."""
    starts, phase = set(), 0
    for r in log:
        rng = r['headers'].get('Range', '')
        if rng == 'bytes=0-0':
            phase += 1
        elif phase == run and rng.startswith('bytes='):
            first, _, last = rng[6:].partition('-')
            if not last or int(last) - int(first) >= 65536:
                starts.add(int(first))
    return starts
