"""A computer room on one machine, for bench/labcache.py and bench/labproxy.py.

A machine of the room is a copy of tidewell.exe in a folder of its own: the
program keeps its settings beside itself, so each copy reads its own
settings.cfg (a proxy, a lab cache) and keeps its own list. All copies run
in the build's Wine prefix, each `--get` into a target folder of its own.
The origin is the project's test server (tests/server/httpserver.py) in
this process: its log counts the body bytes it sent under a link's token."""
import os
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, 'tests'))
sys.path.insert(0, os.path.join(ROOT, 'tests', 'server'))
import content  # noqa: E402
import httpserver  # noqa: E402

BUILD = os.environ.get('TW_BUILD', os.path.join(ROOT, 'build'))
WINE_RUN = os.path.join(BUILD, 'wine-run')
PROGRAM = os.path.join(BUILD, 'tidewell.exe')
MiB = 1 << 20
RUN_TIMEOUT = 900


def to_windows(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


class Origin:
    """The test server on a free loopback port; links to its generated files, and the bytes sent."""

    def __init__(self):
        self.server = httpserver.start()
        self.port = self.server.server_address[1]
        self.base = 'http://127.0.0.1:%d' % self.port

    def link(self, name, size, seed, token, validators='etag', rate=0, base=None, uplink=0):
        """`rate` caps each connection, `uplink` all of the token's together (bytes/s; 0: none)."""
        query = 'size=%d&seed=%d&token=%s' % (size, seed, token)
        if validators != 'none':
            query += '&validators=' + validators
        if rate:
            query += '&rate=%d' % rate
        if uplink:
            query += '&uplink=%d' % uplink
        return '%s/file/%s?%s' % (base or self.base, name, query)

    @staticmethod
    def sent(token):
        """Body bytes sent under `token` (requests still running included)."""
        with httpserver._lock:
            return sum(r.get('sent', 0) for r in httpserver._logs.get(token, []))

    @staticmethod
    def requests(token):
        with httpserver._lock:
            return len(httpserver._logs.get(token, []))

    def close(self):
        self.server.shutdown()
        self.server.server_close()


class Machine:
    """A program of its own (its data folder) and a target folder of its own under `folder`."""

    def __init__(self, folder, settings=''):
        self.home = os.path.join(folder, 'program')
        self.to = os.path.join(folder, 'files')
        os.makedirs(self.home)
        os.makedirs(self.to)
        shutil.copy(PROGRAM, self.home)
        with open(os.path.join(self.home, 'settings.cfg'), 'w', newline='') as f:
            f.write(('Language=en\n' + settings).replace('\n', '\r\n'))

    def command(self, link, *options):
        return [WINE_RUN, os.path.join(self.home, 'tidewell.exe'), '--get', '--to', to_windows(self.to)] + \
            list(options) + [link]


class Result:
    def __init__(self, code, seconds, text):
        self.code, self.seconds, self.text = code, seconds, text

    def last_line(self):
        lines = self.text.strip().splitlines()
        return lines[-1] if lines else '(no output)'


def start(cmd):
    return subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)


def finish(proc, began):
    try:
        out, _ = proc.communicate(timeout=RUN_TIMEOUT)
    except subprocess.TimeoutExpired:
        proc.kill()
        out, _ = proc.communicate()
    return Result(proc.returncode, time.monotonic() - began, out.decode('utf-8', 'replace'))


def run_together(commands):
    """Starts every command at once; the Results, each timed from its own start to its exit."""
    started = [(start(cmd), time.monotonic()) for cmd in commands]
    return [finish(proc, began) for proc, began in started]


def run_in_turn(commands):
    results = []
    for cmd in commands:
        began = time.monotonic()
        results.append(finish(start(cmd), began))
    return results


def whole(machine, name, seed, size):
    """True when the machine's target folder holds exactly this file, byte for byte."""
    path = os.path.join(machine.to, name)
    return os.path.isfile(path) and os.path.getsize(path) == size and content.file_holds(path, seed, size)


def spread(seconds):
    """min / median / max."""
    return '%.1f / %.1f / %.1f s' % (min(seconds), statistics.median(seconds), max(seconds))
