"""Throughput of one large download through squid with a password, beside
the same download straight from nginx, in one run; curl through the same
proxy shows what squid itself can carry here."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, 'tests'))
import peers  # noqa: E402

BUILD = os.path.join(ROOT, 'build')
WINE_RUN = os.path.join(BUILD, 'wine-run')
DRIVER = os.path.join(BUILD, 'tests', 'tw_driver.exe')
SIZE = 512 << 20
CONNECTIONS = 8
USER, PASSWORD = 'bench', 'bench-pass'


def to_windows(path):
    return 'Z:' + path.replace('/', '\\')


def driver_rate(url, out, extra):
    """MB/s of the whole driver run (Wine's start included, as in bench.py), or None if it did not finish."""
    t0 = time.monotonic()
    text = subprocess.run([WINE_RUN, DRIVER, url, to_windows(out), '--connections', str(CONNECTIONS)] + extra,
                          capture_output=True, stdin=subprocess.DEVNULL, timeout=900).stdout.decode('utf-8', 'replace')
    wall = time.monotonic() - t0
    done = 'state=4' in text and os.path.getsize(os.path.join(out, 'big.bin')) == SIZE
    shutil.rmtree(out)
    os.makedirs(out)
    if not done:
        print('  (driver: %s)' % (text.strip().splitlines() or ['no output'])[-1], file=sys.stderr)
    return SIZE / wall / 1e6 if done else None


def curl_rate(url, out, extra):
    t0 = time.monotonic()
    ok = subprocess.run(['curl', '-sf', '-o', os.path.join(out, 'curl.bin')] + extra + [url],
                        stdin=subprocess.DEVNULL).returncode == 0
    wall = time.monotonic() - t0
    os.remove(os.path.join(out, 'curl.bin'))
    return SIZE / wall / 1e6 if ok else None


def main():
    out = tempfile.mkdtemp(prefix='tw-bench-proxy-', dir=BUILD)
    try:
        with peers.Nginx({}, tls=False, log=False) as web, peers.Squid({USER: PASSWORD}) as proxy:
            # Zeros in a sparse file: the figure is about moving bytes, not making them.
            with open(os.path.join(web.root, 'big.bin'), 'wb') as f:
                f.truncate(SIZE)
            url = web.url('big.bin')
            print('== proxy: %d MiB from nginx on loopback, %d connections, squid with a password' %
                  (SIZE >> 20, CONNECTIONS))
            rows = [('engine direct', driver_rate(url, out, [])),
                    ('engine via squid', driver_rate(url, out, ['--proxy', proxy.address(USER, PASSWORD)])),
                    ('curl direct', curl_rate(url, out, [])),
                    ('curl via squid', curl_rate(url, out, ['-x', proxy.url(USER, PASSWORD)]))]
            for label, rate in rows:
                print('%-18s : %s' % (label, '%7.1f MB/s' % rate if rate else 'NOT COMPLETED'))
            if rows[0][1] and rows[1][1]:
                print('through the proxy  : %.2f x direct' % (rows[1][1] / rows[0][1]))
    finally:
        shutil.rmtree(out, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
