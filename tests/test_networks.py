"""Downloads through real peers from Debian: squid asking for a proxy
password, nginx asking for a server password over eight connections, and
TLS servers whose certificates are wrong in one way each. The job driver
runs under Wine; what is checked is what a user would see: the bytes on
disk, the job's state and text, and what the peers logged."""
import calendar
import os
import threading
import time
import unittest

import wineworld as ww  # first: it finds the modules below
import httpserver
import peers
from driver import COMPLETED, FAILED, EndChecks, run as run_driver

MiB = 1048576
# Passwords no other text of the program could contain by chance.
USER, PASSWORD, WRONG = 'ann', 'Tide-s3cret-7781', 'Wrong-pass-5512'


class ProxyTests(EndChecks, unittest.TestCase):
    """squid with a password in front of the loopback test server (HTTP, and
    HTTPS with a self-signed certificate the driver is told to accept)."""

    @classmethod
    def setUpClass(cls):
        cls.squid = peers.Squid({USER: PASSWORD})
        # Wine never hands the program a proxy's 407 to CONNECT (it goes on
        # into the TLS handshake and fails with 12157); Windows does, and the
        # program answers it as it answers a 407 to a plain request. Under
        # Wine the tunnel itself is tested through a proxy without a password.
        cls.open_squid = peers.Squid({})
        cls.plain = httpserver.start()
        certs = peers.Certificates(cls.squid.dir)
        cls.tls = httpserver.start(peers.tls_context(*certs.self_signed('origin', ['127.0.0.1'])))

    @classmethod
    def tearDownClass(cls):
        for server in (cls.plain, cls.tls):
            server.shutdown()
            server.server_close()
        cls.squid.close()
        cls.open_squid.close()

    def origin(self, scheme):
        return '%s://127.0.0.1:%d' % (scheme, (self.tls if scheme == 'https' else self.plain).server_address[1])

    def proxy_for(self, scheme):
        return self.squid if scheme == 'http' else self.open_squid

    def crossed_proxy(self, scheme, url, since):
        """Bytes squid carried for this download, by its access log after line `since`: the
        requests for the URL with our user, or the tunnels to the HTTPS origin."""
        target = url if scheme == 'http' else self.origin('https')[len('https://'):]
        user = USER if scheme == 'http' else '-'
        rows = [line.split() for line in self.proxy_for(scheme).access_log()[since:]]
        return sum(int(f[4]) for f in rows if len(f) >= 8 and f[6] == target and f[7] == user and f[3].split('/')[-1] in ('200', '206'))

    def test_downloads_through_the_proxy_are_byte_exact_and_every_byte_crosses_it(self):
        # Catches: the proxy setting ignored, the challenge not answered, segments
        # that go around the proxy, an HTTPS download not tunnelled.
        size = 6 * MiB
        for seed, scheme in enumerate(('http', 'https'), 40):
            with self.subTest(scheme=scheme):
                token = 'proxy-%s-%d' % (scheme, os.getpid())
                url = '%s/file/through-%s.bin?size=%d&seed=%d&token=%s' % (self.origin(scheme), scheme, size, seed, token)
                squid = self.proxy_for(scheme)
                since = len(squid.access_log())
                folder = self.folder()
                proxy = squid.address(USER, PASSWORD) if scheme == 'http' else squid.address()
                end, out, _ = run_driver([url, ww.to_windows(folder), '--connections', '4', '--proxy', proxy])
                self.assertByteExact(end, folder, seed, size)
                self.assertNotIn(PASSWORD, out, 'a password is shown')
                # squid logs a tunnel when it closes: wait for all of them. (Over HTTPS
                # only tunnels to the origin count, so a plain request through it would not.)
                self.assertTrue(peers.wait_until(lambda: self.crossed_proxy(scheme, url, since) >= size, 30),
                                'not every byte came through the proxy')

    def test_wrong_or_missing_proxy_password_fails_with_the_proxy_password_text(self):
        # Catches: a 407 taken for a server error or retried for ever, and a password echoed.
        # (HTTPS: see setUpClass.)
        for label, proxy in (('wrong password', self.squid.address(USER, WRONG)), ('no credentials', self.squid.address())):
            with self.subTest(case=label):
                url = '%s/file/refused.bin?size=%d' % (self.origin('http'), MiB)
                end, out, texts = run_driver([url, ww.to_windows(self.folder()), '--fast', '--proxy', proxy])
                self.assertFailedWith(end, texts['proxy-auth'])
                self.assertNotIn(WRONG, out, 'a password is shown')

    def test_hosts_on_the_bypass_list_are_reached_directly(self):
        # Catches: a bypass list that is not handed to WinHTTP, or loses "<local>".
        # The proxy's password is wrong, so only a direct download can finish.
        port = self.plain.server_address[1]
        for bypass, host in (('127.0.0.1', '127.0.0.1'), ('<local>', 'localhost')):
            with self.subTest(bypass=bypass):
                token = 'bypass-%s-%d' % (host, os.getpid())
                url = 'http://%s:%d/file/direct.bin?size=%d&seed=7&token=%s' % (host, port, MiB, token)
                folder = self.folder()
                end, _, _ = run_driver([url, ww.to_windows(folder), '--fast', '--proxy', self.squid.address(USER, WRONG),
                                     '--bypass', bypass])
                self.assertByteExact(end, folder, 7, MiB)
                self.assertFalse([l for l in self.squid.access_log() if token in l])
        # Catches the proxy's password sent to a bypassed host that asks for one with a 407
        # (WinHTTP sends what it is handed, on a direct request too).
        url = 'http://127.0.0.1:%d/file/asks.bin?size=100&probe_status=407' % port
        since = len(self.plain.seen)
        end, _, texts = run_driver([url, ww.to_windows(self.folder()), '--fast', '--proxy', self.squid.address(USER, PASSWORD),
                                    '--bypass', '127.0.0.1'])
        self.assertFailedWith(end, texts['proxy-auth'])
        self.assertEqual([h for _, _, h in self.plain.seen[since:] if 'Proxy-Authorization' in h], [])


class ServerPasswordTests(EndChecks, unittest.TestCase):
    """nginx with auth_basic: a link carrying user and password is downloaded
    over eight ranged connections; without them, or with a wrong password,
    the job fails with the program's server-password sentence."""

    SIZE, SEED = 24 * MiB, 61
    # A user and a password with the characters a link must percent-encode.
    ODD_USER, ODD_PASSWORD = 'c@t', 'p@ss:w%rd/?'

    @classmethod
    def setUpClass(cls):
        cls.nginx = peers.Nginx({'auth/locked.bin': (cls.SEED, cls.SIZE)},
                                users={USER: PASSWORD, cls.ODD_USER: cls.ODD_PASSWORD})

    @classmethod
    def tearDownClass(cls):
        cls.nginx.close()

    def test_link_with_credentials_downloads_byte_exact_over_eight_connections(self):
        # Catches: credentials sent on the probe only (segments would get 401),
        # percent-encoding not undone, and HTTPS links losing their credentials.
        for label, user, credentials, tls in (
                ('plain', USER, '%s:%s' % (USER, PASSWORD), False),
                ('percent-encoded', self.ODD_USER, 'c%40t:p%40ss%3Aw%25rd%2F%3F', False),
                ('https', USER, '%s:%s' % (USER, PASSWORD), True)):
            with self.subTest(case=label):
                since = len(self.nginx.access_log())
                folder = self.folder()
                end, out, _ = run_driver([self.nginx.url('auth/locked.bin', credentials, tls), ww.to_windows(folder),
                                       '--connections', '8'])
                self.assertByteExact(end, folder, self.SEED, self.SIZE)
                self.assertEqual([p for p in (PASSWORD, self.ODD_PASSWORD, credentials.split(':', 1)[1]) if p in out], [],
                                 'a password is shown')
                ranged = [r for r in self.nginx.access_log()[since:] if r[1] == 206 and r[0] == user and r[4]]
                self.assertGreaterEqual(len(ranged), 8, 'expected a ranged request per connection')

    def test_missing_or_wrong_password_fails_with_the_server_password_text(self):
        # Catches: a 401 retried as a passing fault, taken for a missing file, or
        # the wrong password repeated in the error.
        for label, credentials in (('no credentials', ''), ('wrong password', '%s:%s' % (USER, WRONG))):
            with self.subTest(case=label):
                end, out, texts = run_driver([self.nginx.url('auth/locked.bin', credentials), ww.to_windows(self.folder()),
                                       '--fast'])
                self.assertFailedWith(end, texts['server-auth'])
                self.assertNotIn(WRONG, out, 'a password is shown')


class CertificateTests(EndChecks, unittest.TestCase):
    """TLS servers whose certificates have exactly one fault each, reached
    with certificate errors not ignored, in a copied prefix that trusts the
    test authority (under Wine every such failure is one code, 12157, so the
    program has to find the fault itself)."""

    @classmethod
    def setUpClass(cls):
        cls.world = ww.World()
        cls.certs = peers.Certificates(cls.world.root)
        key, name, data = peers.windows_root_entry(cls.certs.authority()[0])
        cls.world.ensure_server()
        cls.world.reg_add(key, name, data, 'REG_BINARY')

    @classmethod
    def tearDownClass(cls):
        cls.world.close()

    def download(self, cert, key, tls13_only=False, size=MiB, seed=3, date=None, options=('--fast',), hold=False):
        """(the end record, the folder, the program's sentences, the requests the server saw, seconds taken)."""
        folder = self.folder()
        with peers.https_server(cert, key, tls13_only) as server:
            server.date = date
            server.hold = threading.Event() if hold else None
            began = time.monotonic()
            end, _, texts = run_driver(['%s/file/secure.bin?size=%d&seed=%d&token=Tok-77%%2Fsigned' % (server.origin, size, seed),
                                        ww.to_windows(folder), '--strict'] + list(options), world=self.world)
            return end, folder, texts, server.seen, time.monotonic() - began

    def test_trusted_certificate_for_this_host_downloads(self):
        # Catches a world in which nothing could succeed: the failures below
        # would then prove nothing about their one fault.
        end, folder, _, _, _ = self.download(*self.certs.signed('good', ['127.0.0.1']))
        self.assertByteExact(end, folder, 3, MiB)

    def test_each_certificate_fault_has_its_own_sentence(self):
        # Catches: every secure failure given one sentence, and a fault told as another.
        # Diagnosed: the diagnosis gets through the handshake it opens without checks (not
        # with a protocol the client lacks) and asks once.
        for label, make, tls13_only, key, diagnosed in (
                ('untrusted authority', lambda: self.certs.self_signed('self', ['127.0.0.1']), False,
                 'cert-untrusted', True),
                ('another name', lambda: self.certs.signed('other', ['other.invalid']), False, 'cert-name', True),
                ('TLS 1.3 only', lambda: self.certs.signed('tls13', ['127.0.0.1']), True, 'cert-protocol', False)):
            with self.subTest(case=label):
                end, _, texts, seen, _ = self.download(*make(), tls13_only=tls13_only)
                self.assertFailedWith(end, texts[key])
                # Catches the link's path and query (a signed link's token) sent over the
                # connection whose certificate failed: the diagnosis asks for "/" alone.
                self.assertEqual([(method, path) for method, path, _ in seen], [('HEAD', '/')] if diagnosed else [])
                self.assertEqual([h for _, _, h in seen if {'Authorization', 'Cookie', 'Referer', 'User-Agent'} & set(h)], [])

    def test_a_pause_ends_the_diagnosis_within_its_short_timeouts(self):
        # Catches a diagnosis that runs on the engine's long timeouts after a pause
        # (under Wine a pause cannot wake a blocked call). The server holds its
        # answer; the driver pauses the job while the diagnosis waits for it.
        end, _, _, seen, seconds = self.download(*self.certs.self_signed('held', ['127.0.0.1']), options=('--seconds', '2'),
                                                 hold=True)
        self.assertTrue(seen, 'the diagnosis never reached the server')
        self.assertNotEqual(end['state'], COMPLETED)
        self.assertLess(seconds, 20)  # the engine's own receive timeout alone is 30 s

    def test_certificate_outside_its_dates_names_them_and_blames_the_clock_only_when_it_is_off(self):
        # Catches: a date fault told without the dates or as an untrusted
        # certificate, a clock blamed while it agrees with the server's, and
        # a clock offered to be set other than forward to a server's time
        # inside the certificate's dates (an expired certificate must never
        # turn it back).
        this_year = str(time.localtime().tm_year)
        inside = 'Tue, 15 Jul %d 12:00:00 GMT'
        for label, start, until in (('not yet valid', 2031, 2032), ('expired', 2019, 2020)):
            # Mid-year, so no time zone moves a date into the year beside it.
            cert = self.certs.signed(label.replace(' ', '-'), ['127.0.0.1'], self.certs.date(start, 7),
                                     self.certs.date(until, 7))
            offer = (calendar.timegm((start, 7, 15, 12, 0, 0)) + 11644473600) * 10**7 if start > int(this_year) else 0
            for server_date, clock_blamed, clock_offer in ((None, False, 0), ('Mon, 01 Jan 1990 00:00:00 GMT', True, 0),
                                                           (inside % start, True, offer)):
                with self.subTest(case=label, server_date=server_date):
                    end = self.download(*cert, date=server_date)[0]
                    self.assertEqual((end['state'], str(start) in end['error'], str(until) in end['error'], this_year in end['error'],
                                      end['clock']), (FAILED, True, True, clock_blamed, clock_offer), end)

    def test_a_clock_behind_is_offered_to_be_set_through_the_list(self):
        # The list's own case for the question (its clock replaced, so the
        # machine's never moves), run here because only this world trusts a
        # certificate whose dates lie ahead of this computer's clock.
        cert = self.certs.signed('behind', ['127.0.0.1'], self.certs.date(2031, 7), self.certs.date(2032, 7))
        plain = httpserver.start()
        self.addCleanup(plain.server_close)
        self.addCleanup(plain.shutdown)
        with peers.https_server(*cert) as server:
            server.date = 'Tue, 15 Jul 2031 12:00:00 GMT'
            env = {'TW_HTTP': 'http://127.0.0.1:%d' % plain.server_address[1],
                   'TW_HTTPS_BEHIND': '%s/file/behind.bin?size=1000' % server.origin,
                   'TW_HTTPS_BEHIND_DATE': str(calendar.timegm((2031, 7, 15, 12, 0, 0)))}
            result = self.world.run([os.path.join(ww.BUILD, 'tests', 'list_queue_tests.exe'), '--gtest_color=no',
                                     '--gtest_filter=ListQueue.AClockBehind*'], timeout=120, env=env)
        out = result.stdout.decode('utf-8', 'replace')
        self.assertEqual((result.returncode, '[  PASSED  ] 1 test.' in out), (0, True), out)


if __name__ == '__main__':
    unittest.main()
