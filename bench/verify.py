"""The verify pass over a 1 GiB file beside sha256sum over the same file,
both from the page cache (one warm-up read first)."""
import os
import subprocess
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, 'build')
GiB = 1 << 30


def main():
    fd, path = tempfile.mkstemp(prefix='tw-verify-', dir=BUILD)
    try:
        with os.fdopen(fd, 'wb') as f:
            for _ in range(GiB >> 24):
                f.write(os.urandom(1 << 24))
        subprocess.run(['cat', path], stdout=subprocess.DEVNULL, check=True)
        t0 = time.monotonic()
        ref = subprocess.run(['sha256sum', path], capture_output=True, check=True).stdout.split()[0].decode()
        ref_s = time.monotonic() - t0
        out = subprocess.run([os.path.join(BUILD, 'wine-run'), os.path.join(BUILD, 'bench', 'verify_speed.exe'),
                              'Z:' + path.replace('/', '\\')], capture_output=True, timeout=600).stdout.decode()
        print('== verify pass, 1 GiB from the page cache')
        print('sha256sum %.2f s %.0f MB/s' % (ref_s, GiB / ref_s / 1e6))
        for line in out.strip().splitlines():
            fields = line.split()
            same = 'same digest' if fields[-1] == ref else 'DIGEST DIFFERS'
            print('%s  (%.2f of sha256sum; %s)' % (' '.join(fields[:-1]), ref_s / float(fields[1]), same))
    finally:
        os.remove(path)


if __name__ == '__main__':
    main()
