"""Real peers from Debian for the network tests and the proxy bench: squid as
a password-protected proxy, nginx as a web server with ranges, Basic
passwords and HTTPS, and openssl-made certificates for TLS servers. Each
runs on free loopback ports out of a temporary folder of its own, is ended
by its process id and leaves nothing behind.

    with Squid({'ann': 'secret'}) as proxy, Nginx(files={'a.bin': (3, 1 << 20)}) as web:
        url = web.url('a.bin')                # http://127.0.0.1:PORT/a.bin
        proxy.address('ann', 'secret')        # ann:secret@127.0.0.2:PORT
        proxy.access_log()                    # the lines of its access log
"""
import contextlib
import hashlib
import os
import pwd
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), 'server'))
import content  # noqa: E402
import wineworld  # noqa: E402

SQUID_AUTH = '/usr/lib/squid/basic_ncsa_auth'


def free_port(host='127.0.0.1'):
    with socket.socket() as s:
        s.bind((host, 0))
        return s.getsockname()[1]


wait_until = wineworld.wait_for


class PortTaken(RuntimeError):
    """A peer could not bind a port free_port() had found: another process took it in between."""


def _answers(port, request, expect, server, host='127.0.0.1'):
    """True when the server on `port` answers `request` with a status line starting `expect` and
    names itself `server` (another process that took the port answers too)."""
    try:
        with socket.create_connection((host, port), timeout=2) as s:
            s.sendall(request)
            head = b''
            while b'\r\n\r\n' not in head and len(head) < 8192:
                piece = s.recv(4096)
                if not piece:
                    break
                head += piece
            return head.startswith(expect) and b'\r\nServer: ' + server in head
    except OSError:
        return False


def _openssl(*args, cwd=None):
    subprocess.run(['openssl'] + list(args), check=True, cwd=cwd, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def password_file(path, users):
    """An htpasswd-style file ("user:$apr1$...") that squid's basic_ncsa_auth and nginx both read."""
    lines = []
    for user, password in users.items():
        hashed = subprocess.run(['openssl', 'passwd', '-apr1', '-stdin'], input=password.encode(),
                                capture_output=True, check=True).stdout.decode().strip()
        lines.append('%s:%s\n' % (user, hashed))
    with open(path, 'w') as f:
        f.writelines(lines)
    os.chmod(path, 0o644)


def write_file(path, seed, size):
    """A file of `size` bytes of content.piece(seed, ...), written a stretch at a time."""
    step = 8 << 20
    with open(path, 'wb') as f:
        for start in range(0, size, step):
            f.write(content.piece(seed, start, min(size, start + step)))


class _Process:
    """A server process of ours in a temporary folder, ended by its PID."""

    # free_port() lets its port go before the peer binds it, so another
    # process may take it in between: the peer then starts again on others.
    ATTEMPTS = 5

    def __init__(self, prefix, *args, **kwargs):
        for attempt in range(self.ATTEMPTS):
            self.dir = tempfile.mkdtemp(prefix=prefix)
            # Servers that drop privileges must be able to reach their folder.
            os.chmod(self.dir, 0o755)
            self.proc = None
            try:
                self._start(*args, **kwargs)
                return
            except PortTaken:
                self.close()
                if attempt + 1 == self.ATTEMPTS:
                    raise
            except BaseException:
                self.close()
                raise

    def _spawn(self, args, log_name):
        log = open(os.path.join(self.dir, log_name), 'wb')
        try:
            self.proc = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        finally:
            log.close()

    def _started(self, ready, what):
        up = []

        def settled():
            if ready():
                up.append(True)
            return bool(up) or self.proc.poll() is not None or self._port_taken()
        wait_until(settled, 60)
        if not up and self._port_taken():
            raise PortTaken('%s: a port was taken:\n%s' % (what, self.log_text()))
        if not up or self.proc.poll() is not None:
            raise RuntimeError('%s did not start:\n%s' % (what, self.log_text()))

    def _port_taken(self):
        return 'Address already in use' in self.log_text()

    def log_text(self):
        texts = []
        for name in sorted(os.listdir(self.dir)):
            if name.endswith('.log') or name.endswith('.out'):
                with open(os.path.join(self.dir, name), 'rb') as f:
                    texts.append('--- %s\n%s' % (name, f.read().decode('utf-8', 'replace')[-4000:]))
        return '\n'.join(texts)

    def close(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        shutil.rmtree(self.dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _read_log(self, name):
        try:
            with open(os.path.join(self.dir, name), 'rb') as f:
                return f.read().decode('utf-8', 'replace').splitlines()
        except FileNotFoundError:
            return []


class Squid(_Process):
    """squid on a free loopback port that asks every client for a password
    (Basic, checked by basic_ncsa_auth against an apr1 file; without users an
    open proxy), caches nothing,
    reaches only loopback targets, tunnels CONNECT to any of their ports and
    writes an access log the test reads.

    It listens on 127.0.0.2, not beside the servers on 127.0.0.1: Wine's
    WinHTTP writes the request line in the form for a proxy only when the
    proxy's host name differs from the server's, ports aside."""

    HOST = '127.0.0.2'

    def __init__(self, users):
        super().__init__('tw-squid-', users)

    def _start(self, users):
        self.port = free_port(self.HOST)
        self.users = dict(users)
        password_file(os.path.join(self.dir, 'passwd'), self.users)
        # squid drops to the user proxy before it opens its logs.
        proxy = pwd.getpwnam('proxy')
        if os.geteuid() == 0:
            os.chown(self.dir, proxy.pw_uid, proxy.pw_gid)
        conf = os.path.join(self.dir, 'squid.conf')
        with open(conf, 'w') as f:
            f.write('''http_port %(host)s:%(port)d
visible_hostname tidewell-test-proxy
pid_filename %(dir)s/squid.pid
cache_effective_user proxy
cache_log %(dir)s/cache.log
access_log stdio:%(dir)s/access.log squid
logfile_rotate 0
strip_query_terms off
coredump_dir %(dir)s
netdb_filename none
cache deny all
cache_mem 8 MB
shutdown_lifetime 0 seconds
acl loopback dst 127.0.0.0/8
http_access deny !loopback
''' % {'host': self.HOST, 'port': self.port, 'dir': self.dir})
            if self.users:
                f.write('auth_param basic program %s %s/passwd\n' % (SQUID_AUTH, self.dir) +
                        'auth_param basic children 2\nauth_param basic realm tidewell-test\n'
                        'auth_param basic credentialsttl 1 minute\nacl authed proxy_auth REQUIRED\n'
                        'http_access allow authed\nhttp_access deny all\n')
            else:
                f.write('http_access allow all\n')
        # -N: no daemon and no worker kids, so the PID we hold is squid itself.
        self._spawn(['squid', '-N', '-f', conf], 'squid.out')
        self._started(lambda: _answers(self.port, b'GET http://127.0.0.1:9/ HTTP/1.0\r\n\r\n',
                                       b'HTTP/1.1 407' if self.users else b'HTTP/1.1 ', b'squid', self.HOST), 'squid')

    def address(self, user=None, password=None):
        """The proxy as the program's setting writes it: [user:password@]127.0.0.2:PORT."""
        host = '%s:%d' % (self.HOST, self.port)
        return '%s:%s@%s' % (user, password, host) if user is not None else host

    def url(self, user=None, password=None):
        """The proxy as curl takes it."""
        return 'http://' + self.address(user, password)

    def access_log(self):
        """Lines of the access log: "time elapsed client code/status bytes method URL user hierarchy type"."""
        return self._read_log('access.log')


class Nginx(_Process):
    """nginx on free loopback ports serving generated files from a temporary
    root: plain HTTP on `port`, HTTPS on `tls_port` (a self-signed
    certificate for 127.0.0.1 made at start), `/auth/` behind Basic passwords
    when `users` are given. Ranges are on (nginx's default). The access log
    holds "user status method uri range" per request.

    files: {relative path: (seed, size)}"""

    def __init__(self, files, users=None, tls=True, rate=None, log=True):
        super().__init__('tw-nginx-', files, users, tls, rate, log)

    def _start(self, files, users, tls, rate, log):
        self.root = os.path.join(self.dir, 'www')
        os.makedirs(os.path.join(self.root, 'auth'))
        for rel, (seed, size) in files.items():
            path = os.path.join(self.root, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            write_file(path, seed, size)
        self.port = free_port()
        self.tls_port = free_port() if tls else None
        tls_server = ''
        if tls:
            cert, key = Certificates(self.dir).self_signed('nginx', ['127.0.0.1', 'localhost'])
            tls_server = '''server { listen 127.0.0.1:%d ssl; ssl_certificate %s; ssl_certificate_key %s; include %s/site.conf; }''' % (
                self.tls_port, cert, key, self.dir)
        auth = ''
        if users:
            password_file(os.path.join(self.dir, 'passwd'), users)
            auth = 'location /auth/ { auth_basic "tidewell-test"; auth_basic_user_file %s/passwd; }' % self.dir
        with open(os.path.join(self.dir, 'site.conf'), 'w') as f:
            f.write('root %s; %s %s\n' % (self.root, 'limit_rate %d;' % rate if rate else '', auth))
        conf = os.path.join(self.dir, 'nginx.conf')
        user = 'user root;' if os.geteuid() == 0 else ''
        access = ('log_format tw \'$remote_user $status $request_method $uri "$http_range"\'; '
                  'access_log %s/access.log tw;' % self.dir) if log else 'access_log off;'
        with open(conf, 'w') as f:
            f.write('''daemon off; worker_processes 2; %(user)s pid %(dir)s/nginx.pid;
error_log %(dir)s/error.log;
events { worker_connections 1024; }
http { %(access)s sendfile on; tcp_nopush on; keepalive_requests 100000; default_type application/octet-stream;
  client_body_temp_path %(dir)s/tmp; proxy_temp_path %(dir)s/tmp; fastcgi_temp_path %(dir)s/tmp;
  uwsgi_temp_path %(dir)s/tmp; scgi_temp_path %(dir)s/tmp;
  server { listen 127.0.0.1:%(port)d; include %(dir)s/site.conf; }
  %(tls)s }
''' % {'user': user, 'dir': self.dir, 'access': access, 'port': self.port, 'tls': tls_server})
        # -e: the start-up errors go to our folder too, not to /var/log.
        self._spawn(['nginx', '-c', conf, '-p', self.dir, '-e', os.path.join(self.dir, 'error.log')], 'nginx.out')
        self._started(lambda: _answers(self.port, b'HEAD / HTTP/1.0\r\n\r\n', b'HTTP/1.1', b'nginx'), 'nginx')

    def url(self, rel, credentials='', tls=False):
        """http(s)://[credentials@]127.0.0.1:PORT/rel"""
        port = self.tls_port if tls else self.port
        return '%s://%s127.0.0.1:%d/%s' % ('https' if tls else 'http', credentials + '@' if credentials else '',
                                           port, rel)

    def access_log(self):
        """Requests as (user or '-', status, method, uri, range or '')."""
        out = []
        for line in self._read_log('access.log'):
            user, status, method, uri, rng = line.split(' ', 4)
            rng = rng.strip('"')
            out.append((user, int(status), method, uri, '' if rng == '-' else rng))
        return out


class Certificates:
    """openssl-made certificates in `folder`: a test authority and server
    certificates it signs or that sign themselves, with chosen names and
    validity dates (openssl ca takes any start and end date)."""

    def __init__(self, folder):
        self.dir = os.path.join(folder, 'certs')
        os.makedirs(self.dir, exist_ok=True)
        self._conf = os.path.join(self.dir, 'ca.conf')
        open(os.path.join(self.dir, 'index.txt'), 'w').close()
        with open(os.path.join(self.dir, 'serial'), 'w') as f:
            f.write('1000\n')
        with open(self._conf, 'w') as f:
            f.write('''[ca]
default_ca = tw
[tw]
dir = %(d)s
database = %(d)s/index.txt
serial = %(d)s/serial
new_certs_dir = %(d)s
default_md = sha256
policy = anything
unique_subject = no
email_in_dn = no
[anything]
commonName = supplied
[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = $ENV::TW_SAN
[authority]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
''' % {'d': self.dir})
        self.ca_cert = self.ca_key = None

    def _sign(self, name, hosts, start, end, issuer, extensions):
        key = os.path.join(self.dir, name + '.key')
        csr = os.path.join(self.dir, name + '.csr')
        cert = os.path.join(self.dir, name + '.pem')
        _openssl('req', '-new', '-newkey', 'rsa:2048', '-nodes', '-keyout', key, '-out', csr, '-subj', '/CN=' + hosts[0])
        # An address goes in twice: as an address, and as a name for Wine,
        # whose name check reads only the DNS names of a certificate.
        san = ','.join(('IP:%s,DNS:%s' % (h, h)) if h.replace('.', '').isdigit() else 'DNS:' + h for h in hosts)
        args = ['ca', '-batch', '-notext', '-config', self._conf, '-extensions', extensions,
                '-in', csr, '-out', cert, '-startdate', start, '-enddate', end]
        if issuer is None:
            args += ['-selfsign', '-keyfile', key]
        else:
            args += ['-cert', issuer[0], '-keyfile', issuer[1]]
        env = {**os.environ, 'TW_SAN': san}
        result = subprocess.run(['openssl'] + args, env=env, stdin=subprocess.DEVNULL, capture_output=True)
        if result.returncode != 0:
            raise RuntimeError('openssl ca: ' + result.stderr.decode(errors='replace'))
        return cert, key

    @staticmethod
    def date(year, month=1, day=1):
        """openssl ca's date form."""
        return '%04d%02d%02d000000Z' % (year, month, day)

    def _around_now(self):
        year = time.gmtime().tm_year
        return self.date(year - 1), self.date(year + 2)

    def authority(self):
        """(cert, key) of the test authority, made on first use."""
        if not self.ca_cert:
            start, end = self._around_now()
            self.ca_cert, self.ca_key = self._sign('authority', ['Tidewell Test Authority'], start, end, None,
                                                   'authority')
        return self.ca_cert, self.ca_key

    def self_signed(self, name, hosts, start=None, end=None):
        """A server certificate that signs itself: no computer trusts its authority."""
        now = self._around_now()
        return self._sign(name, hosts, start or now[0], end or now[1], None, 'server')

    def signed(self, name, hosts, start=None, end=None):
        """A server certificate from the test authority."""
        now = self._around_now()
        return self._sign(name, hosts, start or now[0], end or now[1], self.authority(), 'server')


def der(cert_path):
    with open(cert_path) as f:
        return ssl.PEM_cert_to_DER_cert(f.read())


def windows_root_entry(cert_path):
    """(registry key, value name, hex data) that puts a certificate among a
    Wine prefix's trusted root authorities: a serialized store element (a
    property of id 32, the encoded certificate) under its SHA-1 thumbprint."""
    data = der(cert_path)
    blob = (32).to_bytes(4, 'little') + (1).to_bytes(4, 'little') + len(data).to_bytes(4, 'little') + data
    thumb = hashlib.sha1(data).hexdigest().upper()
    return r'HKLM\Software\Microsoft\SystemCertificates\Root\Certificates' + '\\' + thumb, 'Blob', blob.hex()


def tls_context(cert, key, tls13_only=False):
    """A server context for tests/server/httpserver.start."""
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert, key)
    if tls13_only:
        ctx.minimum_version = ssl.TLSVersion.TLSv1_3
    return ctx


@contextlib.contextmanager
def https_server(cert, key, tls13_only=False):
    """The loopback test server over TLS with this certificate; yields it (its origin in `origin`)."""
    import httpserver
    server = httpserver.start(tls_context(cert, key, tls13_only))
    server.origin = 'https://127.0.0.1:%d' % server.server_address[1]
    try:
        yield server
    finally:
        if server.hold:
            server.hold.set()
        server.shutdown()
        server.server_close()
