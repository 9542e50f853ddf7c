"""Mirrors at once: `tidewell.exe --get` of one file (256 MiB) from ONE
server whose uplink is capped (20 MB/s for all its connections together:
the test server's `uplink=` under one token), beside the same file from
FOUR such mirrors (four tokens, four uplinks) named by a Metalink file with
the file's size and SHA-256 (`--metalink FILE`), 8 connections each time.
Times run from the command to the exit (Wine's start included; the time of
`--get --help` is printed as that start's measure).
Beside them, in the same run, a plain client (curl, one process per
connection, each asking one eighth of the file as a range) against one
uplink and against the four: the second is what this Python server can
push on this machine, so a shortfall of the program's four-mirror figure
below it is the program's, and a shortfall of it below 4 x the cap is the
server's. Each --get file must end OK with the right SHA-256; what each
mirror sent is printed (the engine's spread over them).

    python3 bench/mirrors.py [--size-mib 256] [--cap 20000000] [--connections 8] [--rounds 1]
"""
import argparse
import hashlib
import html
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lab  # noqa: E402  (first: it finds the test modules)
import content  # noqa: E402

SEED = 64
MIRRORS = 4


def sha256_of(size):
    digest = hashlib.sha256()
    for at in range(0, size, 1 << 24):
        digest.update(content.piece(SEED, at, min(size, at + (1 << 24))))
    return digest.hexdigest()


def curl_ranges(links, size, connections):
    """Seconds for `connections` curl processes started at once, range k from links[k % len(links)]."""
    cuts = [size * k // connections for k in range(connections + 1)]
    began = time.monotonic()
    procs = [subprocess.Popen(['curl', '-s', '-f', '-o', os.devnull, '-r', '%d-%d' % (cuts[k], cuts[k + 1] - 1),
                               links[k % len(links)]], stdin=subprocess.DEVNULL) for k in range(connections)]
    codes = [p.wait() for p in procs]
    seconds = time.monotonic() - began
    return seconds, ('' if not any(codes) else 'curl exit codes %s' % codes)


def metalink(path, links, size, sha):
    urls = ''.join('<url priority="%d">%s</url>' % (k, html.escape(u)) for k, u in enumerate(links, 1))
    with open(path, 'w') as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<metalink xmlns="urn:ietf:params:xml:ns:metalink">'
                '<file name="mirrored.bin"><size>%d</size><hash type="sha-256">%s</hash>%s</file></metalink>\n' %
                (size, sha, urls))


def get(machine, size, sha, *args):
    """Seconds from the command to the exit, and a fault ('' when the file ended OK with the right digest)."""
    for name in os.listdir(machine.to):
        os.remove(os.path.join(machine.to, name))
    os.sync()  # the last run's writes are not left for this one to wait behind
    cmd = [lab.WINE_RUN, os.path.join(machine.home, 'tidewell.exe'), '--get', '--to', lab.to_windows(machine.to)]
    r = lab.run_in_turn([cmd + list(args)])[0]
    ok = r.code == 0 and r.last_line().startswith('OK %d sha256=%s ' % (size, sha))
    return r.seconds, ('' if ok else 'exit %s: %s' % (r.code, r.last_line()))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--size-mib', type=int, default=256)
    parser.add_argument('--cap', type=int, default=20000000, help="each server's uplink, bytes/s for all its connections")
    parser.add_argument('--connections', type=int, default=8)
    parser.add_argument('--rounds', type=int, default=1, help='each figure is the best of this many')
    args = parser.parse_args()
    size, conns = args.size_mib * lab.MiB, str(args.connections)
    work = tempfile.mkdtemp(prefix='tw-mirrors-', dir=lab.BUILD)
    origin = lab.Origin()
    faults = []
    try:
        sha = sha256_of(size)
        machine = lab.Machine(os.path.join(work, 'm'))
        exe, meta = os.path.join(machine.home, 'tidewell.exe'), os.path.join(work, 'mirrored.meta4')
        runs = (  # label, servers, each one's cap, client
            ('curl x%s, 1 server, no cap' % conns, 1, 0, 'curl'),
            ('curl x%s, 1 capped server' % conns, 1, args.cap, 'curl'),
            ('curl x%s, %d capped mirrors' % (conns, MIRRORS), MIRRORS, args.cap, 'curl'),
            ('--get x%s, 1 capped server' % conns, 1, args.cap, 'get'),
            ('--get x%s, %d capped mirrors' % (conns, MIRRORS), MIRRORS, args.cap, 'get'),
        )
        print('== %d MiB; each server capped at %.1f MB/s for all its connections; %d connections; best of %d; '
              '--get timed from the command to its exit' % (args.size_mib, args.cap / 1e6, args.connections, args.rounds))
        start = min(lab.run_in_turn([[lab.WINE_RUN, exe, '--get', '--help']])[0].seconds for _ in range(2))
        print('%-32s %7.2f s   (Wine starting the program)' % ('--get --help', start), flush=True)
        best = {}
        for rnd in range(args.rounds):
            for index, (label, n, cap, client) in enumerate(runs):
                tokens = ['mirrors-%d-%d-%d-%d' % (os.getpid(), rnd, index, k) for k in range(n)]  # one uplink each
                links = [origin.link('mirrored.bin', size, SEED, t, 'etag', 0, None, cap) for t in tokens]
                if client == 'curl':
                    seconds, fault = curl_ranges(links, size, args.connections)
                elif n == 1:
                    seconds, fault = get(machine, size, sha, '--connections', conns, '--limit', '0', links[0])
                else:
                    metalink(meta, links, size, sha)
                    seconds, fault = get(machine, size, sha, '--connections', conns, '--limit', '0',
                                         '--metalink', lab.to_windows(meta))
                if fault:
                    faults.append('%s: %s' % (label, fault))
                if label not in best or seconds < best[label][0]:
                    best[label] = (seconds, [origin.sent(t) for t in tokens])
        for label, (seconds, sent) in best.items():
            print('%-32s %7.2f s %7.1f MB/s   MiB sent by each server: %s' % (
                label, seconds, size / seconds / 1e6, ' / '.join('%.1f' % (b / lab.MiB) for b in sent)))
        ratio = [best[runs[k][0]][0] / best[runs[k + 1][0]][0] for k in (1, 3)]
        print('%d mirrors beside 1 server: --get %.2fx as fast, curl %.2fx (the caps allow %dx)' % (
            MIRRORS, ratio[1], ratio[0], MIRRORS))
        for f in faults:
            print('NOT OK: ' + f)
    finally:
        origin.close()
        shutil.rmtree(work, ignore_errors=True)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
