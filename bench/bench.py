"""Throughput, per-connection caps, the speed limit and memory of the
engine under Wine, each beside a reference from the same run."""
import contextlib
import os
import re
import resource
import shutil
import socket
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, 'build')
WINE_RUN = os.path.join(BUILD, 'wine-run')
DRIVER = os.path.join(BUILD, 'tests', 'tw_driver.exe')
LOOP = os.path.join(BUILD, 'bench', 'winhttp_loop.exe')
GiB = 1 << 30
CAP = 4 * 1024 * 1024  # nginx limit_rate per connection, bytes/s


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def to_windows(path):
    return 'Z:' + path.replace('/', '\\')


def timed(cmd):
    """(wall seconds, CPU seconds of the child, stdout)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.monotonic()
    out = subprocess.run(cmd, capture_output=True, stdin=subprocess.DEVNULL).stdout.decode('utf-8', 'replace')
    wall = time.monotonic() - t0
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime), out


def driver_window(url, folder, args, warmup, window):
    """Bytes per second over `window` seconds after `warmup`, and the last lines."""
    proc = subprocess.Popen([WINE_RUN, DRIVER, url, to_windows(folder)] + args, stdout=subprocess.PIPE,
                            stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    start = time.monotonic()
    first = last = None
    lines = {}
    for raw in proc.stdout:
        line = raw.decode('utf-8', 'replace').strip()
        m = re.match(r'progress job=(\d+) retries=(\d+) state=(\d) done=(-?\d+)', line)
        if not m:
            continue
        lines[m.group(1)] = line
        now = time.monotonic() - start
        if len(lines) and now >= warmup and first is None:
            first = (now, sum(int(re.search(r'done=(-?\d+)', l).group(1)) for l in lines.values()))
        if first and now >= warmup + window:
            last = (now, sum(int(re.search(r'done=(-?\d+)', l).group(1)) for l in lines.values()))
            break
    proc.kill()
    proc.wait()
    proc.stdout.close()
    return (last[1] - first[1]) / (last[0] - first[0]), list(lines.values())


def random_file(path, size):
    """`size` random bytes (a multiple of 16 MiB): the hash and the disk see a real file."""
    with open(path, 'wb') as f:
        for _ in range(size >> 24):
            f.write(os.urandom(1 << 24))


@contextlib.contextmanager
def nginx_serving(work, www, locations=''):
    """nginx serving `www` on a free loopback port (its files in `work`) for the block; yields the port."""
    port = free_port()
    conf = os.path.join(work, 'nginx.conf')
    with open(conf, 'w') as f:
        f.write('''daemon off; worker_processes 2; pid %(w)s/nginx.pid; error_log %(w)s/error.log;
events { worker_connections 1024; }
http { access_log off; sendfile on; tcp_nopush on; keepalive_requests 100000;
  client_body_temp_path %(w)s; proxy_temp_path %(w)s; fastcgi_temp_path %(w)s; uwsgi_temp_path %(w)s; scgi_temp_path %(w)s;
  server { listen 127.0.0.1:%(p)d; root %(www)s; %(loc)s } }
''' % {'w': work, 'p': port, 'www': www, 'loc': locations})
    nginx = subprocess.Popen(['nginx', '-c', conf, '-p', work], stderr=subprocess.DEVNULL)
    time.sleep(0.5)
    try:
        yield port
    finally:
        nginx.terminate()
        nginx.wait()


def main():
    work = tempfile.mkdtemp(prefix='tw-bench-', dir=BUILD)
    try:
        www = os.path.join(work, 'www')
        os.makedirs(os.path.join(www, 'capped'))
        big = os.path.join(www, 'big.bin')
        with open(big, 'wb') as f:
            f.truncate(GiB)
        os.link(big, os.path.join(www, 'capped', 'big.bin'))
        with nginx_serving(work, www, 'location /capped/ { limit_rate %d; }' % CAP) as port:
            url = 'http://127.0.0.1:%d/big.bin' % port
            out = os.path.join(work, 'out')
            os.makedirs(out)
            print('== 1. unlimited, 1 GiB from nginx on loopback')
            wall, cpu, _ = timed(['curl', '-s', '-o', os.path.join(out, 'curl.bin'), url])
            print('curl -o            : %7.1f MB/s  %6.2f CPU s/GiB' % (GiB / wall / 1e6, cpu))
            os.remove(os.path.join(out, 'curl.bin'))
            for n in (1, 8):
                _, cpu, text = timed([WINE_RUN, LOOP, url, str(GiB), str(n), to_windows(os.path.join(out, 'loop.bin'))])
                loop_wall = float(re.search(r'seconds=([\d.]+)', text).group(1))
                os.remove(os.path.join(out, 'loop.bin'))
                loop_rate, loop_cpu = GiB / loop_wall / 1e6, cpu
                wall, cpu, text = timed([WINE_RUN, DRIVER, url, to_windows(out), '--connections', str(n)])
                ok = 'state=4' in text
                shutil.rmtree(out)
                os.makedirs(out)
                rate = GiB / wall / 1e6
                print('bare WinHTTP x%-2d   : %7.1f MB/s  %6.2f CPU s/GiB' % (n, loop_rate, loop_cpu))
                print('engine x%-2d         : %7.1f MB/s  %6.2f CPU s/GiB  (%.2f x loop speed, %.2f x loop CPU)%s' %
                      (n, rate, cpu, rate / loop_rate, cpu / loop_cpu, '' if ok else '  NOT COMPLETED'))

            print('== 2. nginx limit_rate %d MB/s per connection' % (CAP // 1048576))
            curl_url = 'http://127.0.0.1:%d/capped/big.bin' % port
            for n in (1, 4, 8, 16):
                rate, _ = driver_window(curl_url, out, ['--connections', str(n)], 3, 10)
                shutil.rmtree(out)
                os.makedirs(out)
                print('engine x%-2d         : %7.2f MB/s  = %.3f x N x cap' % (n, rate / 1e6, rate / (n * CAP)))

            print('== 3. speed limit, 3 jobs x 8 connections, 20 s')
            for kb in (1, 5, 50, 500, 5000):
                rate, lines = driver_window(url, out, ['--jobs', '3', '--connections', '8', '--limit', str(kb)], 4, 20)
                shutil.rmtree(out)
                os.makedirs(out)
                retries = sum(int(re.search(r'retries=(\d+)', l).group(1)) for l in lines)
                errors = [l for l in lines if not l.endswith('error=')]
                print('limit %5d KB/s   : %9.1f KB/s = %.3f x setting, retries %d, errors %d' %
                      (kb, rate / 1024, rate / (kb * 1024), retries, len(errors)))

            print('== 4. peak memory')
            _, _, text = timed([WINE_RUN, DRIVER, 'ftp://127.0.0.1/none', to_windows(out)])
            idle = int(re.search(r'memory peak=(\d+)', text).group(1))
            proc_out = subprocess.run([WINE_RUN, DRIVER, url, to_windows(out), '--jobs', '3', '--connections', '16',
                                       '--seconds', '15'], capture_output=True, timeout=600).stdout.decode()
            peak = int(re.search(r'memory peak=(\d+)', proc_out).group(1))
            threads = subprocess.run([WINE_RUN, os.path.join(BUILD, 'bench', 'idle_threads.exe'), '48'],
                                     capture_output=True).stdout.decode()
            print('idle driver        : %6.1f MiB' % (idle / 1048576))
            print('48 idle threads    : %s (what Wine itself costs per thread)' % threads.strip())
            print('3 x 16 connections : %6.1f MiB (Wine\'s own share included)' % (peak / 1048576))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
