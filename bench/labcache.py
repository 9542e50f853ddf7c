"""The lab cache: N machines (bench/lab.py: a program and a target folder
each) start `tidewell.exe --get` of one 48 MiB file at once from a slow
origin (the test server: 4 MB/s per connection and 16 MB/s in all, an
uplink the room shares), all with `--cache` naming one shared folder (a
fresh one for each N), for N = 1, 4 and 8; beside them, in the same run, 1
and 8 machines without the cache and 8 through an nginx slice cache in front
of the origin (the README's "Labs" section).
Prints each machine's time from its command to its exit (min / median /
max) and the origin's bytes as a multiple of the file; every file must be
byte-exact. A build whose `--get` refuses `--cache` (the usage exit, 1)
skips the cache rows and says so.

    python3 bench/labcache.py [--machines 1,4,8] [--without 1,8] [--size-mib 48]
                              [--rate 4000000] [--uplink 16000000] [--connections 4]
"""
import argparse
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lab  # noqa: E402  (first: it finds the test modules)
import labproxy  # noqa: E402

USAGE_EXIT = 1  # app/GetTexts.h: kGetUsage, an unknown option among them
SEED = 48


def cache_refused(work):
    """None when this build's `--get` takes `--cache FOLDER`, else what it said."""
    folder = os.path.join(work, 'probe')
    machine, cache = lab.Machine(folder), os.path.join(folder, 'cache')
    os.makedirs(cache)
    r = lab.run_in_turn([[lab.WINE_RUN, os.path.join(machine.home, 'tidewell.exe'), '--get', '--lang', 'en',
                          '--cache', lab.to_windows(cache), '--help']])[0]
    shutil.rmtree(folder, ignore_errors=True)
    return 'exit %d: %s' % (r.code, r.last_line()) if r.code == USAGE_EXIT else None


def fetch(work, origin, label, n, args, size, options=(), settings='', base=None):
    """N machines at once; prints one row; returns the number of files that are not byte-exact."""
    token = 'labcache-%s-%d-%d' % (''.join(c for c in label if c.isalnum())[:12], n, os.getpid())
    link = origin.link('lab.bin', size, SEED, token, 'etag', args.rate, base, args.uplink)
    folder = os.path.join(work, token)
    machines = [lab.Machine(os.path.join(folder, 'm%d' % i), settings) for i in range(n)]
    results = lab.run_together([m.command(link, '--connections', str(args.connections), *options) for m in machines])
    exact = [r.code == 0 and lab.whole(m, 'lab.bin', SEED, size) for m, r in zip(machines, results)]
    print('%-28s %2d   %-24s %6.2fx   %d/%d byte-exact' % (
        label, n, lab.spread([r.seconds for r in results]), origin.sent(token) / size, sum(exact), n), flush=True)
    for r, ok in zip(results, exact):
        if not ok:
            print('    exit %s: %s' % (r.code, r.last_line()))
    shutil.rmtree(folder, ignore_errors=True)
    return exact.count(False)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--machines', default='1,4,8', help='the room sizes with the cache')
    parser.add_argument('--size-mib', type=int, default=48)
    parser.add_argument('--rate', type=int, default=4000000, help="the origin's bytes/s per connection")
    parser.add_argument('--uplink', type=int, default=16000000, help="the origin's bytes/s in all (0: no cap)")
    parser.add_argument('--connections', type=int, default=4, help='per machine')
    parser.add_argument('--without', default='1,8',
                        help='room sizes without the cache (the last one through nginx too)')
    args = parser.parse_args()
    size = args.size_mib * lab.MiB
    work = tempfile.mkdtemp(prefix='tw-labcache-', dir=lab.BUILD)
    origin = lab.Origin()
    bad = 0
    try:
        print('== lab cache: %d MiB; origin %.1f MB/s per connection, %.1f MB/s in all; %d connections per '
              'machine; all at once' % (args.size_mib, args.rate / 1e6, args.uplink / 1e6, args.connections))
        print('%-28s %2s   %-24s %7s' % ('', 'N', 'per machine min/med/max', 'origin'))
        refused = cache_refused(work)
        for n in [int(x) for x in args.machines.split(',')]:
            if refused:
                print("%-28s %2d   skipped: this build's --get refuses --cache (%s)" %
                      ('--cache, shared folder', n, refused))
                continue
            cache = os.path.join(work, 'cache-%d' % n)  # a fresh cache for each room
            os.makedirs(cache)
            bad += fetch(work, origin, '--cache, shared folder', n, args, size, ('--cache', lab.to_windows(cache)))
            shutil.rmtree(cache, ignore_errors=True)
        without = [int(x) for x in args.without.split(',')]
        for n in without:
            bad += fetch(work, origin, 'no cache', n, args, size)
        with labproxy.SliceCache(origin.port) as nginx:
            bad += fetch(work, origin, 'nginx slice cache (mirror)', without[-1], args, size,
                         base='http://127.0.0.1:%d' % nginx.port)
    finally:
        origin.close()
        shutil.rmtree(work, ignore_errors=True)
    return 1 if bad else 0


if __name__ == '__main__':
    sys.exit(main())
