"""tw_driver.exe from Python: one download job in the build's shared
prefix, its progress lines read as records."""
import os
import re
import subprocess
import time

import wineworld as ww

EXE = os.path.join(ww.BUILD, 'tests', 'tw_driver.exe')
LINE = re.compile(r'(progress|end) job=\d+ retries=\d+ state=(\d) done=(-?\d+) total=(-?\d+) fixed=(\d) speed=(\d+) '
                  r'name=(.*?) error=(.*)$')


def parse(line):
    m = LINE.match(line)
    return m and {'kind': m.group(1), 'state': int(m.group(2)), 'done': int(m.group(3)), 'total': int(m.group(4)),
                  'fixed': m.group(5) == '1', 'speed': int(m.group(6)), 'name': m.group(7), 'error': m.group(8)}


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
    """First bytes of the ranges asked for after the run-th probe (1-based) in a server log."""
    starts, phase = set(), 0
    for r in log:
        rng = r['headers'].get('Range', '')
        if rng == 'bytes=0-0':
            phase += 1
        elif phase == run and rng.startswith('bytes='):
            starts.add(int(rng[6:].split('-')[0]))
    return starts
