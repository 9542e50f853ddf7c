"""A download's own speed limit, measured at the server: one job limited to
100 KiB/s beside an unlimited one, both running at once in one driver
against the loopback test server, with 1, 4 and 16 connections each. The
server's count of body bytes sent per job is sampled every 50 ms; the
limited job's rate over 30 s is printed with its error against the limit,
the unlimited job's rate beside it (the reference of the same run: the
server's uplink for that file, 4 MB/s), and the limited job's rate as the
job itself counted it. Then, in a run of its own, its limit is raised to
200 KiB/s while it runs: the new rate, and how long after the command the
server's curve turned (where the line of the old rate meets the line of the
new one), and when the driver applied it."""
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import BUILD, DRIVER, WINE_RUN, to_windows  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), 'tests', 'server'))
import httpserver  # noqa: E402

KiB, MiB = 1024, 1048576
LIMIT, RAISED = 100, 200  # KiB/s
UPLINK = 4000000  # bytes/s the server gives the unlimited job
WARMUP, WINDOW, AFTER = 3.0, 30.0, 8.0  # seconds


def sent(token):
    with httpserver._lock:
        return sum(r.get('sent', 0) for r in httpserver._logs.get(token, []))


def at(samples, t, k):
    """Column k of the sample nearest to time t."""
    return min(samples, key=lambda s: abs(s[0] - t))[k]


def slope(samples, t0, t1, k):
    return (at(samples, t1, k) - at(samples, t0, k)) / (at(samples, t1, 0) - at(samples, t0, 0))


def run(origin, work, connections, seconds, command_at=None):
    """One driver with both jobs for `seconds` after the limited job's first byte; with `command_at`
    (seconds after that byte) its limit is raised then. (samples, its own count, that first byte's
    time, the command's time, when the driver applied it)."""
    tag = 'n%d_%d_%d' % (connections, os.getpid(), time.monotonic_ns())
    # A small send buffer: the server's count then follows what the job has read, not what the
    # kernel's buffers took in at once.
    limited = '%s/file/lim.bin?size=%d&seed=1&sndbuf=16384&token=lim%s' % (origin, 64 * MiB, tag)
    free = '%s/file/free.bin?size=%d&seed=2&uplink=%d&token=free%s' % (origin, 512 * MiB, UPLINK, tag)
    out = os.path.join(work, tag)
    os.makedirs(out)
    proc = subprocess.Popen([WINE_RUN, DRIVER, limited, to_windows(out), '--and', free, '--connections', str(connections),
                             '--row-limit', str(LIMIT), '--commands'], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    counted, acked = [], []  # (time, the limited job's own done bytes); when its new limit was applied

    def drain():
        for raw in proc.stdout:
            line = raw.decode('utf-8', 'replace')
            m = re.match(r'progress job=0 .*? done=(-?\d+)', line)
            if m:
                counted.append((time.monotonic(), int(m.group(1))))
            elif line.startswith('limit '):
                acked.append(time.monotonic())
    reader = threading.Thread(target=drain, daemon=True)
    reader.start()
    samples, command = [], None  # (time, bytes sent of the limited job, of the unlimited one)
    try:
        while sent('lim' + tag) == 0 and proc.poll() is None:
            time.sleep(0.05)
        first = time.monotonic()
        while time.monotonic() < first + seconds and proc.poll() is None:
            now = time.monotonic()
            samples.append((now, sent('lim' + tag), sent('free' + tag)))
            if command_at is not None and command is None and now >= first + command_at:
                proc.stdin.write(b'limit %d\n' % RAISED)
                proc.stdin.flush()
                command = now
            time.sleep(0.05)
    finally:
        proc.kill()
        proc.wait()
        reader.join(5)
        shutil.rmtree(out, ignore_errors=True)
    return samples, counted, first, command, acked[0] if acked else float('nan')


def one(origin, work, connections):
    samples, counted, first, _, _ = run(origin, work, connections, WARMUP + WINDOW)
    t0, t1 = first + WARMUP, first + WARMUP + WINDOW
    rate, beside = slope(samples, t0, t1, 1), slope(samples, t0, t1, 2)
    own = slope(counted, t0, t1, 1) if counted else float('nan')
    samples, counted, first, command, acked = run(origin, work, connections, WARMUP + AFTER, WARMUP)
    raised, turn = turned(samples, first, command)
    raised_own, turn_own = turned(counted, first, command) if counted else (float('nan'),) * 2
    return rate, own, beside, raised, turn, raised_own, turn_own, acked - command


def turned(samples, first, command):
    """The rate after the command, and when the line of the old rate met the line of the new one."""
    before, raised = slope(samples, first + 1, command, 1), slope(samples, command + 2, command + AFTER, 1)
    s1, s2 = at(samples, command, 1), at(samples, command + AFTER, 1)
    return raised, (s2 - s1 - raised * AFTER) / (before - raised)


def main():
    server = httpserver.start()
    # Ethernet-sized segments: on loopback's 64 KiB ones a slow reader's window opens only in 64 KiB
    # steps, and the server's count of a job read at 6 KiB/s a connection jumps every ten seconds.
    server.socket.setsockopt(socket.IPPROTO_TCP, socket.TCP_MAXSEG, 1448)
    origin = 'http://127.0.0.1:%d' % server.server_address[1]
    work = tempfile.mkdtemp(prefix='tw-rowlimit-', dir=BUILD)
    try:
        print('== one job limited to %d KiB/s (%d B/s) beside an unlimited one, at the server over %.0f s' %
              (LIMIT, LIMIT * KiB, WINDOW))
        print('conns  limited B/s   error   (its own count)  unlimited B/s | raised to %d KiB/s: B/s   error  turned after'
              '  (its own count: B/s  turned after; the driver applied it after)' % RAISED)
        for n in [int(a) for a in sys.argv[1:]] or (1, 4, 16):
            got = one(origin, work, n)
            rate, own, beside, raised, turn, raised_own, turn_own, ack = got
            print('%5d  %11.0f  %+6.2f %%  (%8.0f)  %14.0f | %22.0f  %+6.2f %%  %8.3f s  (%6.0f  %+6.2f %%  %6.3f s; %.3f s)' % (
                n, rate, 100 * (rate / (LIMIT * KiB) - 1), own, beside, raised, 100 * (raised / (RAISED * KiB) - 1),
                turn, raised_own, 100 * (raised_own / (RAISED * KiB) - 1), turn_own, ack))
    finally:
        server.shutdown()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
