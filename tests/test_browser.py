"""The whole road from a real browser to a file on disk: Chromium and Firefox
with the companion extension, the real host executable under Wine (started
by the browser through a host manifest), the GUI it starts, and the loopback
server. The browser is driven by tests/browser/drive.mjs; everything judged
here is what the server saw, the files on disk, the list file and the
browser's own download records."""
import json
import os
import secrets
import shlex
import shutil
import subprocess
import sys
import unittest
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), 'server'))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), 'browser'))
import content  # noqa: E402
import httpserver  # noqa: E402
import wineworld as ww  # noqa: E402
from road import Driver  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.abspath(os.path.join(HERE, '..'))
HOST_NAME = 'pe.tidewell.host'
CHROMIUM_ID = 'iehkfcihndppaianhlblmkajlafjmohp'
FIREFOX_ID = 'companion@tidewell-pe.invalid'


def wait_for(predicate, timeout=60):
    return ww.wait_for(predicate, timeout)


class BrowserRoad(httpserver.ServerTestCase):
    """The cases, run by one subclass per browser."""
    BROWSER = None

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # The extension as it ships, packed by its own script.
        cls.packed = ww.scratch_dir('extension-')
        subprocess.run([os.path.join(SOURCE, 'tools', 'pack-extension.sh'), cls.packed], check=True,
                       stdout=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.packed, True)
        super().tearDownClass()

    def setUp(self):
        self.scratch = ww.scratch_dir('browser-')
        self.addCleanup(shutil.rmtree, self.scratch, True)
        self.home = self.dir('home')
        self.profile = self.dir('profile')
        self.browser_downloads = self.dir('downloads')
        self.uid = secrets.token_hex(4)

    def dir(self, name):
        path = os.path.join(self.scratch, name)
        os.makedirs(path)
        return path

    # -- the world the host runs in ---------------------------------------------
    def make_world(self):
        self.w = ww.World()
        self.addCleanup(self.w.close)
        self.app_dir = self.w.install_program()
        self.gui_downloads = self.w.user_downloads
        self.w.ensure_server()

    def register_host(self):
        """The host manifest where this browser looks on Linux, naming a
        wrapper that runs the real executable in the world."""
        wrapper = os.path.join(self.scratch, 'tidewell-host.sh')
        env = ''.join('export %s=%s\n' % (k, shlex.quote(self.w.env[k]))
                      for k in ('WINEPREFIX', 'WINEDEBUG', 'WINEDLLOVERRIDES', 'DISPLAY') if k in self.w.env)
        with open(wrapper, 'w') as f:
            f.write('#!/bin/sh\n%sexec wine "C:\\\\Tidewell\\\\tidewell.exe" "$@"\n' % env)
        os.chmod(wrapper, 0o755)
        manifest = {'name': HOST_NAME, 'description': 'Tidewell PE', 'path': wrapper, 'type': 'stdio'}
        if self.BROWSER == 'chromium':
            manifest['allowed_origins'] = ['chrome-extension://%s/' % CHROMIUM_ID]
            folder = os.path.join(self.profile, 'NativeMessagingHosts')
        else:
            manifest['allowed_extensions'] = [FIREFOX_ID]
            folder = os.path.join(self.home, '.mozilla', 'native-messaging-hosts')
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, HOST_NAME + '.json'), 'w') as f:
            json.dump(manifest, f)

    def gui_running(self):
        return self.w.probe('haswindow') == 'yes'

    def close_gui(self):
        self.assertEqual(self.w.probe('close'), 'posted')
        self.assertTrue(wait_for(lambda: not self.gui_running(), 30), 'the GUI did not close')
        with open(os.path.join(self.app_dir, 'downloads.lst'), 'rb') as f:
            return f.read().decode()

    # -- the browser --------------------------------------------------------------
    def launch(self):
        self.b = Driver(os.path.join(self.scratch, 'driver.log'))
        self.addCleanup(self.b.close)
        if self.BROWSER == 'chromium':
            extension = os.path.join(self.packed, 'chromium')
        else:
            extension = os.path.join(self.packed, 'tidewell-pe-firefox.xpi')
        started = self.b('launch', browser=self.BROWSER, extension=extension, profile=self.profile, home=self.home,
                         downloads=self.browser_downloads, display=self.display())
        return started['userAgent']

    @staticmethod
    def display():
        if os.environ.get('DISPLAY'):
            return os.environ['DISPLAY']
        with open(os.path.join(ww.BUILD, 'xvfb', 'display')) as f:
            return f.read().strip()

    def page(self, links, cookie=None):
        query = [('token', 'page' + self.uid)]
        if cookie:
            query.append(('cookie', cookie))
        query += [('a', link) for link in links]
        url = '%s/page?%s' % (self.base, urllib.parse.urlencode(query))
        self.b('open', url=url)
        return url

    def file_link(self, name, size, seed, **extra):
        query = [('size', size), ('seed', seed), ('token', name + self.uid)] + list(extra.items())
        return '%s/file/%s?%s' % (self.base, name, urllib.parse.urlencode(query))

    def requests(self, name):
        return [r for r in httpserver._logs.get(name + self.uid, []) if r['path'].startswith('/file/')]

    def page_user_agent(self):
        return httpserver._logs['page' + self.uid][0]['headers']['User-Agent']

    def downloads_of(self, name):
        return [d for d in self.b('downloads') if urllib.parse.urlsplit(d.get('url', '')).path == '/file/' + name]

    # -- the cases ----------------------------------------------------------------
    def test_links_and_browser_downloads_reach_the_program(self):
        self.make_world()
        self.register_host()
        self.launch()
        self.assertFalse(self.gui_running())
        # The connection check answers for the program without starting it.
        self.assertEqual(self.b('ping'), {'ok': True, 'version': '1.0.0', 'edition': 'pe'})
        self.assertFalse(self.gui_running())

        # One link that needs the page's cookie; the host starts the GUI for it.
        cookie = 'tw_sid=%s' % self.uid
        single = self.file_link('single.bin', 300000, 21, need_cookie=cookie)
        page = self.page([single], cookie=cookie)
        # No link text in the click data, as Chromium gives it: the title is
        # read from the page's anchor.
        reply = self.b('menu', url=page, info={'menuItemId': 'tw-link', 'linkUrl': single, 'pageUrl': page})
        self.assertEqual(reply, {'ok': True, 'version': '1.0.0', 'edition': 'pe'})
        self.assertEqual(self.b('lastMessage')['items'][0]['title'], 'link 0')
        self.assertTrue(wait_for(lambda: content.file_holds(os.path.join(self.gui_downloads, 'single.bin'), 21, 300000)),
                        'single.bin not downloaded')
        self.assertTrue(self.gui_running())
        seen = self.requests('single.bin')
        self.assertTrue(seen)
        for r in seen:
            self.assertIn(cookie, [p.strip() for p in r['headers'].get('Cookie', '').split(';')], r)
            self.assertEqual(r['headers'].get('Referer'), page, r)
            self.assertEqual(r['headers'].get('User-Agent'), self.page_user_agent(), r)

        # All links of a page: duplicates once, the mail link left out, page order.
        names = ['all1.bin', 'all2.bin', 'all3.bin']
        links = [self.file_link(n, 100000 + i, 30 + i) for i, n in enumerate(names)]
        relative = links[1][len(self.base):]
        page2 = self.page([links[0], relative, links[0] + '#again', 'mailto:someone@example.invalid',
                           links[2], links[1]])
        reply = self.b('menu', url=page2, info={'menuItemId': 'tw-all', 'pageUrl': page2})
        self.assertTrue(reply.get('ok'), reply)
        self.assertEqual([i['url'] for i in self.b('lastMessage')['items']], links)
        for i, n in enumerate(names):
            self.assertTrue(wait_for(lambda: content.file_holds(os.path.join(self.gui_downloads, n), 30 + i, 100000 + i)),
                            n + ' not downloaded')

        # A download the browser starts is taken over. The server paces it so
        # that the browser could not finish it before the extension steps in.
        taken = self.file_link('taken.bin', 400000, 41, rate=100000, cd='attachment; filename="taken.bin"')
        page3 = self.page([taken])
        self.b('click', url=page3, selector='#l0')
        self.assertTrue(wait_for(lambda: content.file_holds(os.path.join(self.gui_downloads, 'taken.bin'), 41, 400000)),
                        'taken.bin not downloaded by the program')
        message = self.b('lastMessage')
        self.assertEqual([(i['url'], i['fileName'], i['referrer']) for i in message['items']],
                         [(taken, 'taken.bin', page3)])
        for d in self.downloads_of('taken.bin'):
            self.assertEqual(d['state'], 'interrupted', d)  # cancelled, if not erased
        self.assertNotIn('taken.bin', os.listdir(self.browser_downloads))
        ranged = [r for r in self.requests('taken.bin') if 'Range' in r['headers']]
        self.assertTrue(ranged)
        for r in ranged:
            self.assertEqual(r['headers'].get('Referer'), page3, r)

        text = self.close_gui()
        urls = [line[4:] for line in text.split('\r\n') if line.startswith('url=')]
        self.assertEqual(urls, [single] + links + [taken])
        self.assertEqual(text.count('state=completed'), 5, text)
        # The browser still has no copy of its own.
        self.assertNotIn('taken.bin', os.listdir(self.browser_downloads))

    def test_without_the_host_the_browser_keeps_its_download(self):
        self.launch()
        checked = self.b('ping')
        self.assertFalse(checked['ok'])
        self.assertIn('could not be reached', checked['error'])
        kept = self.file_link('kept.bin', 300000, 51, rate=100000, cd='attachment; filename="kept.bin"')
        page = self.page([kept])
        self.b('click', url=page, selector='#l0')
        done = lambda: any(d['state'] == 'complete' for d in self.downloads_of('kept.bin'))  # noqa: E731
        self.assertTrue(wait_for(done), self.b('downloads'))
        self.assertTrue(content.file_holds(os.path.join(self.browser_downloads, 'kept.bin'), 51, 300000))
        # The first request was the browser's own, stopped for the hand-over;
        # the file came with the one it was given back.
        self.assertGreaterEqual(len(self.requests('kept.bin')), 2)
        notices = [n['message'] for n in self.b('notices')]
        self.assertTrue([m for m in notices if 'The browser downloads this file itself' in m and
                         'could not be reached' in m], notices)

        # A site on the exclusion list is never taken over: one request,
        # the browser's own, and nothing to say about it.
        self.b('setOptions', options={'takeOver': True, 'excluded': [urllib.parse.urlsplit(self.base).hostname]})
        self.b('clearNotices')
        own = self.file_link('own.bin', 200000, 52, cd='attachment; filename="own.bin"')
        page = self.page([own])
        self.b('click', url=page, selector='#l0')
        self.assertTrue(wait_for(lambda: any(d['state'] == 'complete' for d in self.downloads_of('own.bin'))))
        self.assertTrue(content.file_holds(os.path.join(self.browser_downloads, 'own.bin'), 52, 200000))
        self.assertEqual(len(self.requests('own.bin')), 1)
        self.assertEqual(self.b('notices'), [])


class ChromiumRoad(BrowserRoad, unittest.TestCase):
    BROWSER = 'chromium'


class FirefoxRoad(BrowserRoad, unittest.TestCase):
    BROWSER = 'firefox'


if __name__ == '__main__':
    unittest.main()
