"""The whole road from a real browser to a file on disk: Chromium and Firefox
with the companion extension, the real host executable under Wine (started
by the browser through a host manifest), the GUI it starts, and the loopback
server. The browser is driven by tests/browser/drive.mjs; everything judged
here is what the server saw, the files on disk, the list file and the
browser's own download records."""
import os
import unittest

import wineworld  # noqa: F401  (first: it finds the modules below)
import content
from road import Road, wait_for


class BrowserRoad(Road):
    """The cases, run by one subclass per browser."""

    # -- the cases ----------------------------------------------------------------
    def test_links_and_browser_downloads_reach_the_program(self):
        self.make_world()
        self.register_host()
        self.launch()
        # The connection check answers for the program without starting it (nor did the browser's start).
        self.assertEqual(self.b('ping'), {'ok': True, 'version': '1.0.0', 'edition': 'pe'})
        self.assertFalse(self.gui_running())

        # One link that needs the page's cookie; the host starts the GUI for it.
        cookie = 'tw_sid=%s' % self.uid
        single = self.file_link('single.bin', 300000, 21, need_cookie=cookie)
        page = self.page([single], cookie=cookie)
        # No link text in the click data, as Chromium gives it: the title is
        # read from the page's anchor.
        self.assertEqual(self.b('menu', url=page, info={'menuItemId': 'tw-link', 'linkUrl': single, 'pageUrl': page}),
                         {'ok': True, 'version': '1.0.0', 'edition': 'pe'})
        self.assertEqual(self.b('lastMessage')['items'][0]['title'], 'link 0')
        self.assertTrue(wait_for(lambda: content.file_holds(os.path.join(self.gui_downloads, 'single.bin'), 21, 300000)),
                        'single.bin not downloaded')
        seen = self.requests('single.bin')
        self.assertTrue(seen)
        for r in seen:
            self.assertIn(cookie, [p.strip() for p in r['headers'].get('Cookie', '').split(';')], r)
            self.assertEqual(r['headers'].get('Referer'), page, r)
            self.assertEqual(r['headers'].get('User-Agent'), self.page_user_agent(), r)

        # All links of a page: duplicates once, the mail link left out, page order.
        names = ['all1.bin', 'all2.bin', 'all3.bin']
        links = [self.file_link(n, 100000 + i, 30 + i) for i, n in enumerate(names)]
        page2 = self.page([links[0], links[1][len(self.base):], links[0] + '#again', 'mailto:someone@example.invalid',
                           links[2], links[1]])  # the second also relative
        self.assertTrue(self.b('menu', url=page2, info={'menuItemId': 'tw-all', 'pageUrl': page2}).get('ok'))
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
        self.assertEqual([(i['url'], i['fileName'], i['referrer']) for i in self.b('lastMessage')['items']],
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

    def test_without_the_host_the_browser_keeps_its_download(self):
        self.launch()
        self.assertFalse(self.b('ping')['ok'])  # (why: in the notice below)
        kept = self.file_link('kept.bin', 300000, 51, rate=100000, cd='attachment; filename="kept.bin"')
        page = self.page([kept])
        self.b('click', url=page, selector='#l0')
        self.assertTrue(wait_for(lambda: any(d['state'] == 'complete' for d in self.downloads_of('kept.bin'))), self.b('downloads'))
        self.assertTrue(content.file_holds(os.path.join(self.browser_downloads, 'kept.bin'), 51, 300000))
        # The first request was the browser's own, stopped for the hand-over;
        # the file came with the one it was given back.
        self.assertGreaterEqual(len(self.requests('kept.bin')), 2)
        notices = [n['message'] for n in self.b('notices')]
        self.assertTrue([m for m in notices if 'The browser downloads this file itself' in m and
                         'could not be reached' in m], notices)


class ChromiumRoad(BrowserRoad, unittest.TestCase):
    BROWSER = 'chromium'


class FirefoxRoad(BrowserRoad, unittest.TestCase):
    BROWSER = 'firefox'


if __name__ == '__main__':
    unittest.main()
