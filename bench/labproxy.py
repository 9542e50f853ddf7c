"""A lab's caching proxy in front of the origin, as the README's "Labs" section sets
it up: nginx with the slice module (a mirror address the links name, and the
same cache as a forward proxy in the Settings' Proxy field) and squid keeping
whole files (a forward proxy). Three machines (bench/lab.py) fetch one file
through it, one after another and then all at once; each file must be byte-
exact, and the figure is what the origin sent as a multiple of the file.
Run once per kind of origin: a strong ETag, a Last-Modified date only, and
neither.

    python3 bench/labproxy.py [--validators etag,date,none] [--fronts mirror,forward,squid,squid-plain]
"""
import argparse
import os
import pwd
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lab  # noqa: E402  (first: it finds the test modules)
import peers  # noqa: E402

SIZE = 24 * lab.MiB
RATE = 4000000  # bytes/s per origin connection: the origin is the slow side, as a lab's uplink is
CONNECTIONS = 4
MACHINES = 3

# The lab's configurations, as the README's "Labs" section gives them; only the
# addresses and folders differ here.
NGINX_CACHE = 'proxy_cache_path %(dir)s/cache keys_zone=lab:10m max_size=20g inactive=30d;'
NGINX_LOCATION = '''
    slice 1m;
    proxy_cache lab;
    proxy_cache_key $scheme$proxy_host$request_uri$slice_range;
    proxy_set_header Range $slice_range;
    proxy_cache_valid 200 206 30d;
    proxy_cache_lock on; proxy_cache_lock_timeout 10m; proxy_cache_lock_age 10m;
'''
SQUID_CACHE = '''
maximum_object_size 64 GB
cache_dir ufs %(dir)s/cache 20000 16 256
range_offset_limit -1
collapsed_forwarding on
quick_abort_min -1 KB
refresh_pattern . 1440 20%% 10080
'''
REFRESH = 'refresh_pattern . 1440 20%% 10080\n'  # without it squid's own: files with no date go stale at once


class SliceCache(peers._Process):
    """nginx with a slice cache: a mirror of the origin on 127.0.0.1:`port`, and a forward proxy on
    127.0.0.2:`proxy_port` (Wine's WinHTTP talks to a proxy as one only when its host differs from
    the server's)."""

    def __init__(self, origin_port):
        super().__init__('tw-lab-nginx-', origin_port)

    def _start(self, origin_port):
        self.port, self.proxy_port = peers.free_port(), peers.free_port('127.0.0.2')
        os.makedirs(os.path.join(self.dir, 'tmp'))
        conf = os.path.join(self.dir, 'nginx.conf')
        with open(conf, 'w') as f:
            f.write('''daemon off; worker_processes 2; %(user)s pid %(dir)s/nginx.pid;
error_log %(dir)s/error.log;
events { worker_connections 1024; }
http {
  access_log %(dir)s/access.log;
  client_body_temp_path %(dir)s/tmp; proxy_temp_path %(dir)s/tmp; fastcgi_temp_path %(dir)s/tmp;
  uwsgi_temp_path %(dir)s/tmp; scgi_temp_path %(dir)s/tmp;
  %(cache)s
  server { listen 127.0.0.1:%(port)d; location / { proxy_pass http://127.0.0.1:%(origin)d; %(location)s } }
  server { listen 127.0.0.2:%(proxy)d; location / { proxy_pass http://$http_host; %(location)s } }
}
''' % {'user': 'user root;' if os.geteuid() == 0 else '', 'dir': self.dir, 'port': self.port,
                'proxy': self.proxy_port, 'origin': origin_port, 'location': NGINX_LOCATION,
                'cache': NGINX_CACHE % {'dir': self.dir}})
        self._spawn(['nginx', '-c', conf, '-p', self.dir, '-e', os.path.join(self.dir, 'error.log')], 'nginx.out')
        self._started(lambda: peers._answers(self.port, b'HEAD / HTTP/1.0\r\n\r\n', b'HTTP/1.1', b'nginx'),
                      'nginx')


class WholeFileSquid(peers._Process):
    """squid as a forward proxy on 127.0.0.2 that keeps whole files on disk."""

    def __init__(self, refresh=True):
        super().__init__('tw-lab-squid-', refresh)

    def _start(self, refresh):
        self.port = peers.free_port('127.0.0.2')
        if os.geteuid() == 0:  # squid drops to the user proxy before it opens its logs and its cache
            proxy = pwd.getpwnam('proxy')
            os.chown(self.dir, proxy.pw_uid, proxy.pw_gid)
        conf = os.path.join(self.dir, 'squid.conf')
        with open(conf, 'w') as f:
            f.write('''http_port 127.0.0.2:%(port)d
visible_hostname lab-cache
pid_filename %(dir)s/squid.pid
cache_effective_user proxy
cache_log %(dir)s/cache.log
access_log stdio:%(dir)s/access.log squid
logfile_rotate 0
strip_query_terms off
coredump_dir %(dir)s
netdb_filename none
shutdown_lifetime 0 seconds
acl loopback dst 127.0.0.0/8
http_access deny !loopback
http_access allow all
%(cache)s''' % {'port': self.port, 'dir': self.dir, 'cache': (SQUID_CACHE if refresh else SQUID_CACHE.replace(
                REFRESH, '')) % {'dir': self.dir}})
        # -z makes the cache's folders and ends; -N: no daemon, so the PID we hold is squid itself.
        subprocess.run(['squid', '-N', '-z', '-f', conf], stdin=subprocess.DEVNULL, capture_output=True,
                       timeout=120, check=True)
        self._spawn(['squid', '-N', '-f', conf], 'squid.out')
        self._started(lambda: peers._answers(self.port, b'GET http://127.0.0.1:9/ HTTP/1.0\r\n\r\n',
                                             b'HTTP/1.1 ', b'squid', '127.0.0.2'), 'squid')


def room(work, name, settings):
    folder = os.path.join(work, name)
    return [lab.Machine(os.path.join(folder, 'm%d' % i), settings) for i in range(MACHINES)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--validators', default='etag,date,none')
    parser.add_argument('--fronts', default='mirror,forward,squid,squid-plain')
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix='tw-labproxy-', dir=lab.BUILD)
    origin = lab.Origin()
    failed = 0
    try:
        with SliceCache(origin.port) as nginx, WholeFileSquid() as squid, WholeFileSquid(False) as plain:
            fronts = {
                'mirror': ('nginx slice, mirror address', '', 'http://127.0.0.1:%d' % nginx.port),
                'forward': ('nginx slice, as the proxy', 'Proxy=127.0.0.2:%d\n' % nginx.proxy_port, None),
                'squid': ('squid whole files, the proxy', 'Proxy=127.0.0.2:%d\n' % squid.port, None),
                'squid-plain': ('squid, no refresh_pattern', 'Proxy=127.0.0.2:%d\n' % plain.port, None),
            }
            print('== %d machines, %d MiB, %d connections each, origin %.1f MB/s per connection: '
                  'origin bytes / file size' % (MACHINES, SIZE >> 20, CONNECTIONS, RATE / 1e6))
            for key in args.fronts.split(','):
                label, settings, base = fronts[key]
                for validators in args.validators.split(','):
                    row = []
                    for how, run in (('one after another', lab.run_in_turn), ('at once', lab.run_together)):
                        token = 'lab-%s-%s-%s-%d' % (key, validators, how[:2], os.getpid())
                        seed = 40 + len(row)
                        link = origin.link('lab.bin', SIZE, seed, token, validators, RATE, base)
                        machines = room(work, token, settings)
                        results = run([m.command(link, '--connections', str(CONNECTIONS)) for m in machines])
                        exact = [r.code == 0 and lab.whole(m, 'lab.bin', seed, SIZE) for m, r in zip(machines, results)]
                        for r, ok in zip(results, exact):
                            if not ok:
                                failed += 1
                                print('  NOT EXACT (exit %s): %s' % (r.code, r.last_line()))
                        row.append('%s %.2fx (%s, %s)' % (how, origin.sent(token) / SIZE,
                                                          lab.spread([r.seconds for r in results]),
                                                          'byte-exact' if all(exact) else 'NOT EXACT'))
                        shutil.rmtree(os.path.join(work, token), ignore_errors=True)
                    print('%-30s validators=%-4s  %s' % (label, validators, ';  '.join(row)), flush=True)
    finally:
        origin.close()
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
