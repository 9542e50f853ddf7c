"""Loopback HTTP/HTTPS server for the engine's tests. Standard library only.

Files are generated (content.py). Behaviour is chosen per request by the
query string, so tests need no set-up calls:

  /text/<name>?body=B&type=T      a small file with that body (and Content-Type)
  /file/<name>?size=N&seed=S     a file with exact Range/Content-Range answers
    ranges=0                     ignore Range: always 200 with the whole body
    body=nolength|chunked        no Content-Length (close-delimited) / chunked; no ranges
    cd=<value>                   Content-Disposition header
    cl=<text>                    Content-Length header text as given (no ranges)
    crange=<text>                the probe's Content-Range header text as given
    rate=<bytes/s>               per-connection rate cap
    sndbuf=<bytes>               the socket's send buffer (no autotuning): what was sent is
                                 then close to what the client has read
    uplink=<bytes/s>             a cap on all requests of the token together (a host's uplink
                                 shared by every client), served in turn a small piece at a time
    probe_status=<code>          answer the probe (Range: bytes=0-0) with this status
    hold=1                       hold the headers until /_release?token= (or hold_ms)
    fault=<kind>&times=K         for the first K worker requests (not the probe; with
                                 fault_phase=P, the first K of phase P):
      drop&after=N               send N body bytes, then close the connection
      status&code=C              answer with status C
      range200                   answer a ranged request with 200 and the whole file
      badstart                   another range one byte off, its bytes as Content-Range says
      short&missing=N            promise the range, send N bytes less, close
      total&total2=N             report another total (the file was replaced)
      stall&ms=M                 wait M ms before the headers
      silent&after=N&ms=M        (body=nolength) send N bytes, then nothing for M ms
    later_size=N                 worker requests after the faulty ones get N bytes
    need_cookie=<name>=<value>   403 unless the request carries that cookie
    need_auth=<user>:<password>  401 (Basic) unless the request carries them
    date=<HTTP date>             the Date header (a server whose clock is elsewhere)
    age=<seconds>                an Age header (the answer came from a cache)
    digest=repr|old|wrong        the file's SHA-256 as Repr-Digest, as Digest, or a wrong one
    links=<url>|<url>            Link: <url>; rel=duplicate headers (mirrors of the file)
    corrupt=<offset>:<length>    those bytes of every answer (from its first) sent inverted: a
                                 mirror with a damaged copy, whichever range it is asked
    validators=etag|weak|date|both  send a strong ETag, a weak one, a Last-Modified only, or
                                 both, and answer a Range whose If-Range names another version
                                 with 200 (its ETag, else its date)
    ifrange=ignore               serve the range whatever If-Range says (as some caches do)
    validators206=none|etag|date the 206 answers carry no validator, or only this kind
    etag_nodes=N                 the same bytes tagged by N nodes in turn (a farm): the ETag
                                 of the k-th request ends in "-n<k mod N>"; with node_by=phase,
                                 of every request of phase P "-n<P mod N>"
    replace_from=K               from phase K on the file is another version of the same size;
                                 with after_probe=1 phase K's probe still sees the old one (the
                                 file was replaced right after it)
    same_head=N                  later versions keep the first N bytes of the first
    replace_after=N              the same after the N-th request of the token
    versions_every=N             a new version every N requests (a file that keeps changing)
    gone_from=K                  from phase K on: 403 (the link expired)
    limit=N&refuse=C             serve at most N requests of the token at once; answer the
                                 others with status C (a host that allows N connections)
    free_probe=1                 (with limit=) probes are neither counted nor refused
    refuse_ms=M                  (with limit=) each refusal comes M ms late (a distant host)
    busy=N&busy_code=C           answer the first N requests of the token (the probe too)
                                 with status C (503 when not given); busy_after=K: the N after
                                 the first K
    retry_after=V                a Retry-After header with those refusals or busy answers
    token=T                      count and log requests under T
    Phases: each probe of a token starts a phase (1, 2, ...) that the
    requests after it belong to:
    plain_phases=2,3             ranges are ignored in these phases
    size2=N&size2_from=K         from phase K on the file has N bytes (it was replaced)
  /page?cookie=<name>=<value>&a=<href>&a=<href>...
                                 an HTML page of anchors (ids l0, l1, ...) in the
                                 order given; sets the cookie when asked to
  /redirect?hop=N&to=<url>&code=C&form=abs|path|query|rel|scheme
  /sign/<name>?valid_ms=N&...     a signing front: 302 to /file/<name>?...&expires=<now + N ms>,
                                 which answers 403 from then on (a signed address that expired);
                                 with uses=U each address it signs serves U requests, then
                                 answers expired_status (403)
  /_log?token=T                  the logged requests as JSON (path, headers, body bytes sent)
  /_release?token=T              releases requests held with hold=1
  /_sha256?size=N&seed=S         the SHA-256 of that file, in hex
  /text/<name>?body=B            a file holding B
  HEAD <any>                     404 without a body
Server-wide (attributes of the server object): `seen`, every request as
(method, path, headers); `date`, the Date header of every answer; `hold`, an
event every request waits for (40 s at most) before its answer.
"""
import base64
import hashlib
import html
import http.server
import json
import select
import socket
import socketserver
import ssl
import threading
import time
import urllib.parse
import urllib.request

import content

_lock = threading.Lock()
_counts = {}      # token -> worker requests seen
_logs = {}        # token -> [request records]
_uses = {}        # signature -> requests its address served
_releases = {}    # token -> threading.Event
_phases = {}      # token -> probes seen
_requests = {}    # token -> file requests seen
_serving = {}     # token -> requests being answered now (limit=)
_uplinks = {}     # token -> when its uplink is free again (uplink=)


def _event(token):
    with _lock:
        return _releases.setdefault(token, threading.Event())


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def log_message(self, *args):
        pass

    def date_time_string(self, timestamp=None):
        return (getattr(self, 'date_override', None) or getattr(self.server, 'date', None) or
                super().date_time_string(timestamp))

    def _arrived(self):
        self.server.seen.append((self.command, self.path, dict(self.headers.items())))
        if self.server.hold:
            self.server.hold.wait(40)

    def do_HEAD(self):
        self._arrived()
        self._head(404, [('Content-Length', '0')])

    # -- helpers ---------------------------------------------------------------
    def _origin(self):
        scheme = 'https' if isinstance(self.connection, ssl.SSLSocket) else 'http'
        return '%s://%s' % (scheme, self.headers.get('Host'))

    def _head(self, status, headers):
        if getattr(self, 'log_record', None) is not None:
            self.log_record.update(status=status, at=time.monotonic())
        self.send_response(status)
        for k, v in headers:
            self.send_header(k, v)
        self.end_headers()

    def _plain(self, status, body=b'', headers=()):
        self._head(status, list(headers) + [('Content-Length', str(len(body)))])
        self.wfile.write(body)

    def _piece(self, seed, start, end):
        head = getattr(self, 'head', None)
        if not head or start >= head[1]:
            data = content.piece(seed, start, end)
        else:
            cut = min(end, head[1])
            data = content.piece(head[0], start, cut) + content.piece(seed, cut, end)
        bad = getattr(self, 'bad', None)
        if bad and start < bad[1] and bad[0] < end:  # a mirror whose copy is damaged there
            lo, hi = max(start, bad[0]) - start, min(end, bad[1]) - start
            data = data[:lo] + bytes(b ^ 0xFF for b in data[lo:hi]) + data[hi:]
        return data

    def _peer_left(self, seconds):
        """Waits up to `seconds`; True as soon as the client closed its end (noticed at once, as
        an event-driven server would, so a host's limit frees its place without delay)."""
        readable, _, _ = select.select([self.connection], [], [], seconds)
        if not readable:
            return False
        try:
            if self.connection.recv(1, socket.MSG_PEEK) == b'':
                return True
        except (BlockingIOError, ssl.SSLError, ValueError):
            pass
        except OSError:
            return True
        time.sleep(seconds)  # bytes of a next request, or a TLS socket: wait as before
        return False

    def _uplink_turn(self, n):
        """Waits until the token's shared uplink has carried the pieces queued before these `n`
        bytes; False when the peer left meanwhile."""
        token, uplink = self.uplink
        with _lock:
            free = max(time.monotonic(), _uplinks.get(token, 0.0))
            _uplinks[token] = free + n / uplink
        delay = free - time.monotonic()
        return delay <= 0 or not self._peer_left(delay)

    def _send_body(self, seed, start, end, rate, limit=None):
        """Sends bytes start..end-1 (or only `limit` of them); False when the peer left."""
        pos = start
        stop = end if limit is None else min(end, start + limit)
        c = getattr(self, 'corrupt', None)
        self.bad = (start + c[0], start + c[0] + c[1]) if c else None
        began = time.monotonic()
        uplink = getattr(self, 'uplink', None)
        try:
            while pos < stop:
                n = min(65536, stop - pos)
                if rate:
                    n = min(n, max(1, rate // 20))
                if uplink:
                    n = min(n, max(1, uplink[1] // 50))
                    if not self._uplink_turn(n):
                        return False
                self.wfile.write(self._piece(seed, pos, pos + n))
                pos += n
                self.log_record['sent'] = self.log_record.get('sent', 0) + n  # body bytes, for the logs
                if rate:
                    due = began + (pos - start) / rate
                    delay = due - time.monotonic()
                    if delay > 0 and self._peer_left(delay):
                        return False
            self.wfile.flush()
            return True
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError, OSError):
            return False

    # -- routes ----------------------------------------------------------------
    def do_GET(self):
        self._arrived()
        url = urllib.parse.urlsplit(self.path)
        q = {k: v[-1] for k, v in urllib.parse.parse_qs(url.query, keep_blank_values=True).items()}
        token = q.get('token', '')
        self.log_record = {}
        if token and not url.path.startswith('/_'):
            self.log_record = {'path': self.path, 'headers': dict(self.headers.items()), 'sent': 0}
            with _lock:
                _logs.setdefault(token, []).append(self.log_record)
        if url.path == '/_log':
            with _lock:
                # Copies: a request still being answered adds to its record meanwhile.
                body = json.dumps({'requests': [dict(r) for r in _logs.get(token, [])]}).encode()
            return self._plain(200, body, [('Content-Type', 'application/json')])
        if url.path == '/_release':
            _event(token).set()
            return self._plain(200, b'released')
        if url.path.startswith('/text/'):  # a small file with the body given (a list, a Metalink)
            return self._plain(200, q.get('body', '').encode(), [('Content-Type', q['type'])] if 'type' in q else [])
        if url.path == '/_sha256':  # the reference digest of a generated file, from hashlib
            data = content.piece(int(q.get('seed', '1')), 0, int(q.get('size', '0')))
            return self._plain(200, hashlib.sha256(data).hexdigest().encode())
        if url.path == '/redirect':
            return self._redirect(q)
        if url.path.startswith('/sign/'):
            signed = dict(q, expires=str(int(time.time() * 1000) + int(q.pop('valid_ms', '5000'))))
            signed.pop('valid_ms', None)
            if 'uses' in q:
                with _lock:
                    signed['sig'] = str(len(_uses))
                    _uses[signed['sig']] = 0
            location = '/file/%s?%s' % (url.path[len('/sign/'):], urllib.parse.urlencode(signed))
            return self._plain(302, b'', [('Location', location)])
        if url.path == '/page':
            return self._page(url.query)
        if url.path.startswith('/file/'):
            if 'need_cookie' in q and q['need_cookie'] not in self._cookies():
                return self._plain(403, b'no cookie')
            if 'need_auth' in q and self.headers.get('Authorization') != 'Basic ' + base64.b64encode(q['need_auth'].encode()).decode():
                return self._plain(401, b'who', [('WWW-Authenticate', 'Basic realm="t"')])
            return self._file(q, token)
        return self._plain(404, b'no such route')

    def _cookies(self):
        pairs = set()
        for header in self.headers.get_all('Cookie') or []:
            pairs.update(p.strip() for p in header.split(';'))
        return pairs

    def _page(self, query):
        pairs = urllib.parse.parse_qsl(query, keep_blank_values=True)
        anchors = ''.join('<p><a id="l%d" href="%s">link %d</a></p>\n' % (i, html.escape(href), i)
                          for i, href in enumerate(v for k, v in pairs if k == 'a'))
        body = ('<!doctype html><html><head><meta charset="utf-8"><title>links</title></head>'
                '<body>\n%s</body></html>\n' % anchors).encode()
        headers = [('Content-Type', 'text/html; charset=utf-8')]
        cookie = dict(pairs).get('cookie')
        if cookie:
            headers.append(('Set-Cookie', cookie + '; Path=/'))
        self._plain(200, body, headers)

    def _redirect(self, q):
        hop = int(q.get('hop', '0'))
        code = int(q.get('code', '302'))
        if hop <= 0:
            location = q['to']
        else:
            rest = dict(q, hop=str(hop - 1))
            query = urllib.parse.urlencode(rest)
            form = q.get('form', 'abs')
            host = self.headers.get('Host')
            location = {
                'abs': '%s/redirect?%s' % (self._origin(), query),
                'path': '/redirect?' + query,
                'query': '?' + query,
                'rel': 'redirect?' + query,
                'scheme': '//%s/redirect?%s' % (host, query),
            }[form]
        self._plain(code, b'', [('Location', location)])

    def _file(self, q, token):
        self.date_override = q.get('date')
        self.uplink = (token, int(q['uplink'])) if int(q.get('uplink', '0')) > 0 else None
        if 'sndbuf' in q:
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, int(q['sndbuf']))
        seed = int(q.get('seed', '1'))
        rate = int(q.get('rate', '0'))
        rng = self.headers.get('Range')
        probe = rng == 'bytes=0-0'
        with _lock:
            if probe:
                _phases[token] = _phases.get(token, 0) + 1
            phase = _phases.get(token, 1)
        size = int(q.get('size', '0'))
        if 'size2' in q and phase >= int(q.get('size2_from', '2')):
            size, seed = int(q['size2']), seed + 1
        if str(phase) in q.get('plain_phases', '').split(','):
            q['ranges'] = '0'
        if 'expires' in q and time.time() * 1000 > int(q['expires']):
            return self._plain(403, b'expired')
        if 'sig' in q:
            with _lock:
                _uses[q['sig']] += 1
                if _uses[q['sig']] > int(q['uses']):
                    return self._plain(int(q.get('expired_status', '403')), b'expired')
        if 'gone_from' in q and phase >= int(q['gone_from']):
            return self._plain(403, b'expired')
        with _lock:
            k = _requests[token] = _requests.get(token, 0) + 1
        refusal = [('Retry-After', q['retry_after'])] if 'retry_after' in q else []
        if 0 < k - int(q.get('busy_after', '0')) <= int(q.get('busy', '0')):
            return self._plain(int(q.get('busy_code', '503')), b'busy', refusal)
        if 'limit' in q and not (probe and 'free_probe' in q):
            with _lock:
                if _serving.get(token, 0) >= int(q['limit']):
                    refused = True
                else:
                    refused = False
                    _serving[token] = _serving.get(token, 0) + 1
                    self.log_record['together'] = _serving[token]  # answered at once with this one
            if refused:
                time.sleep(int(q.get('refuse_ms', '0')) / 1000)
                return self._plain(int(q.get('refuse', '429')), b'too many', refusal)
            try:
                return self._served(q, token, seed, size, rate, rng, probe, phase, k)
            finally:
                with _lock:
                    _serving[token] -= 1
        return self._served(q, token, seed, size, rate, rng, probe, phase, k)

    def _served(self, q, token, seed, size, rate, rng, probe, phase, k):
        version = 1
        if 'replace_from' in q and phase >= int(q['replace_from']) and not (probe and 'after_probe' in q and phase == int(q['replace_from'])):
            version = 2
        if 'replace_after' in q and k > int(q['replace_after']):
            version = 2
        if 'versions_every' in q:
            version = 1 + (k - 1) // int(q['versions_every'])
        self.head = (seed, int(q.get('same_head', '0'))) if version > 1 else None
        seed += version - 1
        extra = []
        current = None
        kind = q.get('validators')
        if kind in ('etag', 'weak', 'both'):
            node = '-n%d' % ((phase if q.get('node_by') == 'phase' else k) % int(q['etag_nodes'])) if 'etag_nodes' in q else ''
            current = '"v%d-%d%s"' % (seed, size, node)
            extra.append(('ETag', ('W/' if kind == 'weak' else '') + current))
        if kind in ('date', 'both'):
            date = 'Mon, %02d Jan 2024 00:00:00 GMT' % (seed % 28 + 1)
            current = current or date
            extra.append(('Last-Modified', date))
        if 'cd' in q:
            extra.append(('Content-Disposition', q['cd']))
        if 'digest' in q:  # the publisher's digest of the file: repr, old (RFC 3230) or wrong
            raw = hashlib.sha256(content.piece(seed, 0, size)).digest()
            raw = raw[::-1] if q['digest'] == 'wrong' else raw
            b64 = base64.b64encode(raw).decode()
            extra.append(('Digest', 'SHA-256=' + b64) if q['digest'] == 'old' else ('Repr-Digest', 'sha-256=:%s:' % b64))
        if 'age' in q:
            extra.append(('Age', q['age']))
        for k, link in enumerate(filter(None, q.get('links', '').split('|')), 1):  # mirrors (RFC 6249)
            extra.append(('Link', '<%s>; rel=duplicate; pri=%d' % (link, k)))
        at, _, n = q.get('corrupt', '').partition(':')
        self.corrupt = (int(at), int(n)) if n else None

        if q.get('hold') == '1':
            _event(token).wait(timeout=int(q.get('hold_ms', '20000')) / 1000)
        if probe and 'probe_status' in q:
            code = int(q['probe_status'])
            asks = {401: [('WWW-Authenticate', 'Basic realm="t"')], 407: [('Proxy-Authenticate', 'Basic realm="t"')]}
            return self._plain(code, b'x', asks.get(code, []))

        fault = None
        if not probe and 'fault' in q and str(phase) == q.get('fault_phase', str(phase)):
            with _lock:
                n = _counts[token] = _counts.get(token, 0) + 1
            if n <= int(q.get('times', '1000000')):
                fault = q['fault']
        if not probe and fault is None and 'later_size' in q:
            size = int(q['later_size'])
        if fault == 'stall':
            time.sleep(int(q.get('ms', '300')) / 1000)
        if fault == 'status':
            return self._plain(int(q.get('code', '503')), b'fault')

        body_kind = q.get('body', '')
        ranged = rng is not None and q.get('ranges', '1') != '0' and not body_kind and 'cl' not in q
        if fault == 'range200':
            ranged = False
        if ranged and self.headers.get('If-Range') not in (None, current) and q.get('ifrange') != 'ignore':
            ranged = False  # another version: the whole of the one there is now
        if body_kind == 'nolength':
            self._head(200, extra + [('Connection', 'close')])
            self.close_connection = True
            limit = int(q['after']) if fault in ('drop', 'silent') else None
            self._send_body(seed, 0, size, rate, limit)
            if fault == 'silent':
                time.sleep(int(q.get('ms', '3000')) / 1000)
            return
        if body_kind == 'chunked':
            self._head(200, extra + [('Transfer-Encoding', 'chunked')])
            pos = 0
            while pos < size:
                n = min(30000, size - pos)
                self.wfile.write(b'%x\r\n' % n + content.piece(seed, pos, pos + n) + b'\r\n')
                pos += n
            self.wfile.write(b'0\r\n\r\n')
            return

        if ranged:
            m = rng.replace('bytes=', '').split('-')
            start = int(m[0])
            end = min(int(m[1]) + 1 if m[1] else size, size)
            if start >= size:
                return self._plain(416, b'', [('Content-Range', 'bytes */%d' % size)])
            total = int(q['total2']) if fault == 'total' else size
            if fault == 'badstart':  # as many bytes, one byte off
                shift = 1 if end < size else -1
                start, end = start + shift, end + shift
            crange = q['crange'] if probe and 'crange' in q else 'bytes %d-%d/%d' % (start, end - 1, total)
            kept = {'none': (), 'etag': ('ETag',), 'date': ('Last-Modified',)}.get(q.get('validators206'))
            if kept is not None:
                extra = [h for h in extra if h[0] not in ('ETag', 'Last-Modified') or h[0] in kept]
            self._head(206, extra + [('Content-Range', crange), ('Content-Length', str(end - start))])
        else:
            start, end = 0, size
            # A length header that may lie ('cl'): the end of the body is the close.
            self._head(200, extra + [('Content-Length', q.get('cl', str(size)))] +
                       ([('Connection', 'close')] if 'cl' in q else []))
            if 'cl' in q:
                self.close_connection = True
        # A drop or short fault lets only this many body bytes through.
        limit = {'drop': int(q.get('after', '0')), 'short': max(0, end - start - int(q.get('missing', '1')))}.get(fault)
        if not self._send_body(seed, start, end, rate, limit) or limit is not None:
            self.close_connection = True


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 128
    date = None
    hold = None

    def __init__(self, *args):
        super().__init__(*args)
        self.seen = []

    def handle_error(self, request, client_address):
        # Clients that vanish (a killed or paused download) are expected.
        pass


def start(tls_context=None):
    """Starts a server on a free loopback port in a thread; returns it."""
    server = Server(('127.0.0.1', 0), Handler)
    if tls_context:
        server.socket = tls_context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


class ServerTestCase:
    """Mixin for unittest classes: one HTTP server for the class, its origin in `base`."""

    @classmethod
    def setUpClass(cls):
        cls.server = start()
        cls.base = 'http://127.0.0.1:%d' % cls.server.server_address[1]

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        cls.server.server_close()

    def link(self, name, size, seed, extra=''):
        """The link of a file of this server; `extra` goes on its query ("&token=..." and the like)."""
        return '%s/file/%s?size=%d&seed=%d%s' % (self.base, name, size, seed, extra)

    def sha(self, size, seed):
        return urllib.request.urlopen('%s/_sha256?size=%d&seed=%d' % (self.base, size, seed)).read().decode()

    def sent(self, token):
        """The body bytes this server sent under `token`."""
        return sum(r['sent'] for r in _logs.get(token, []))
