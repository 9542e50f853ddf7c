"""From the start to the finished file, 1 GiB from nginx on loopback: the
engine beside the bare WinHTTP loop (the platform's ceiling under Wine), at
1 and 8 connections, in one run; with the engine's time from the last byte
to the file under its final name (the flush and the checksum pass).

Each connection count is measured ROUNDS times (argument, default 3), the
loop just before the engine each time, and then summed up as lowest–highest:
the loop's own spread is as wide as the gap being measured, so one round
says little. A machine shared with a build moves every figure: each round
says whether a compiler ran during it."""
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import BUILD, DRIVER, GiB, LOOP, WINE_RUN, nginx_serving, served_file, to_windows  # noqa: E402


def spread(values, form):
    return ('%s-%s' % (form % min(values), form % max(values))).ljust(11)


def compiler_running():
    """A build beside the bench (the machine is shared) takes the cores it measures."""
    return subprocess.run(['pgrep', '-f', 'cc1plus|mingw32-ld'], capture_output=True).stdout.strip() != b''


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    work = tempfile.mkdtemp(prefix='tw-ceiling-', dir=BUILD)
    try:
        www = served_file(work, 'big.bin', GiB)
        with nginx_serving(work, www) as port:
            url = 'http://127.0.0.1:%d/big.bin' % port
            out = os.path.join(work, 'out')
            print('== start to finished file, 1 GiB from nginx on loopback (the loop: the platform\'s ceiling)')
            print('connections   loop s   engine s   ratio   start to last byte s   last byte to final name s')
            rows = {1: [], 8: []}
            for _ in range(rounds):
                for n in (1, 8):
                    busy = compiler_running()
                    os.makedirs(out)
                    text = subprocess.run([WINE_RUN, LOOP, url, str(GiB), str(n), to_windows(os.path.join(out, 'loop.bin'))],
                                          capture_output=True, stdin=subprocess.DEVNULL).stdout.decode()
                    loop = float(re.search(r'seconds=([\d.]+)', text).group(1))
                    shutil.rmtree(out)
                    os.makedirs(out)
                    text = subprocess.run([WINE_RUN, DRIVER, url, to_windows(out), '--connections', str(n)],
                                          capture_output=True, stdin=subprocess.DEVNULL).stdout.decode('utf-8', 'replace')
                    m = re.search(r'timing last_byte_ms=(\d+) final_ms=(\d+)', text)
                    last, final = int(m.group(1)) / 1000, int(m.group(2)) / 1000
                    ok = re.search(r'end job=0 \S+ state=4', text)
                    shutil.rmtree(out)
                    busy = busy or compiler_running()
                    rows[n].append((loop, final, loop / final, last, final - last))
                    print('%11d   %6.2f   %8.2f   %4.2fx   %20.2f   %25.2f%s%s' %
                          (n, loop, final, loop / final, last, final - last, '' if ok else '  NOT COMPLETED',
                           '  (a build ran beside it)' if busy else ''))
            print('lowest-highest of %d rounds; the middle ratio is the middle loop over the middle engine' % rounds)
            print('connections   loop s        engine s      ratio         middle ratio   last byte to final name s')
            for n in (1, 8):
                cols = list(zip(*rows[n]))
                print('%11d   %s   %s   %s   %11.2fx   %s' %
                      (n, spread(cols[0], '%.2f'), spread(cols[1], '%.2f'), spread(cols[2], '%.2fx'),
                       statistics.median(cols[0]) / statistics.median(cols[1]), spread(cols[4], '%.2f')))
            # A resume first sums the half already on disk, beside the transfer.
            print('== resumed at about half, 8 connections: the rest\'s rate beside a fresh start\'s')
            os.makedirs(out)
            fresh = run_driver(url, out, [])
            shutil.rmtree(out)
            os.makedirs(out)
            paused = run_driver(url, out, ['--seconds', '%.2f' % (fresh['last'] / 2)])
            resumed = run_driver(url, out, ['--fixed', '--name', 'big.bin'])
            shutil.rmtree(out)
            rest = GiB - paused['done']
            print('fresh MB/s   resumed MB/s   ratio   resumed from MiB')
            print('%10.0f   %12.0f   %4.2fx   %16d%s' %
                  (GiB / fresh['last'] / 1e6, rest / resumed['last'] / 1e6, (rest / resumed['last']) / (GiB / fresh['last']),
                   paused['done'] >> 20, '' if resumed['ok'] else '  NOT COMPLETED'))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run_driver(url, out, args):
    text = subprocess.run([WINE_RUN, DRIVER, url, to_windows(out), '--connections', '8'] + args,
                          capture_output=True, stdin=subprocess.DEVNULL).stdout.decode('utf-8', 'replace')
    m = re.search(r'timing last_byte_ms=(\d+) final_ms=(\d+)', text)
    end = re.search(r'end job=0 .*?state=(\d) done=(\d+)', text)
    return {'last': int(m.group(1)) / 1000, 'final': int(m.group(2)) / 1000,
            'ok': end.group(1) == '4', 'done': int(end.group(2))}


if __name__ == '__main__':
    sys.exit(main())
