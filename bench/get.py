"""The unattended mode from a script's point of view: `tidewell.exe --get`
of 512 MiB from nginx on loopback with 8 connections, from the command to
its exit (the checksum pass and the final name included), beside the bare
WinHTTP loop at 8 connections and curl, each started the same way in one
run. Wall times include Wine starting each program; the machine is shared,
so each program's best of two rounds is shown."""
import os
import re
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import BUILD, LOOP, WINE_RUN, nginx_serving, served_file, timed, to_windows  # noqa: E402

SIZE = 512 * 1048576
ROUNDS = 2
PROGRAM = os.path.join(BUILD, 'tidewell.exe')


def main():
    work = tempfile.mkdtemp(prefix='tw-get-', dir=BUILD)
    try:
        www, out = served_file(work, 'big.bin', SIZE), os.path.join(work, 'out')
        with nginx_serving(work, www) as port:
            url = 'http://127.0.0.1:%d/big.bin' % port
            runs = (
                ('curl (1 connection)', ['curl', '-s', '-o', os.path.join(out, 'curl.bin'), url], None),
                ('bare WinHTTP loop x8', [WINE_RUN, LOOP, url, str(SIZE), '8', to_windows(os.path.join(out, 'loop.bin'))], None),
                ('tidewell --get x8', [WINE_RUN, PROGRAM, '--get', '--to', to_windows(out), '--connections', '8',
                                       '--limit', '0', url], r'^OK %d ' % SIZE),
            )
            print('== 512 MiB from nginx on loopback, from the command to its exit (best of %d rounds)' % ROUNDS)
            best = {}
            for _ in range(ROUNDS):  # alternating, so that no program always runs after the same one
                for label, cmd, done in runs:
                    os.makedirs(out)
                    os.sync()  # the last run's writes are not left for this one to wait behind
                    wall, cpu, text = timed(cmd)
                    if done and not re.search(done, text, re.M):
                        print('%s: NOT COMPLETED: %s' % (label, text[-300:]))
                    shutil.rmtree(out)
                    if label not in best or wall < best[label][0]:
                        best[label] = (wall, cpu)
            for label, (wall, cpu) in best.items():
                print('%-22s %6.2f s  %7.1f MB/s  %6.2f CPU s' % (label, wall, SIZE / wall / 1e6, cpu))
            loop, get = best['bare WinHTTP loop x8'][0], best['tidewell --get x8'][0]
            print('tidewell --get: %.2f x the loop\'s speed, %.2f x curl\'s' % (loop / get, best['curl (1 connection)'][0] / get))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
