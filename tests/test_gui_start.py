"""The real program started with links, in a Wine world of its own: the
links are downloaded into the default folder, a second start hands its
links over, and closing saves the list (asking first while a download runs)."""
import os
import subprocess
import sys
import time
import unittest
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), 'server'))
import content  # noqa: E402
import httpserver  # noqa: E402
import wineworld as ww  # noqa: E402


wait_for = ww.wait_for


class GuiStart(httpserver.ServerTestCase, unittest.TestCase):
    def setUp(self):
        self.w = ww.World()
        self.addCleanup(self.w.close)
        self.app_dir = self.w.install_program()
        self.downloads = self.w.user_downloads

    def start(self, *links):
        return subprocess.Popen(['wine', 'C:\\Tidewell\\tidewell.exe'] + list(links), env=self.w.env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def list_file(self):
        path = os.path.join(self.app_dir, 'downloads.lst')
        if not os.path.exists(path):
            return ''
        with open(path, 'rb') as f:
            return f.read().decode()

    def gui(self, *links):
        self.w.ensure_server()  # the world's server and services up first
        proc = self.start(*links)
        self.assertTrue(wait_for(lambda: self.w.probe('haswindow') == 'yes'), 'no main window')
        return proc

    def test_links_download_and_closing_saves_them_completed(self):
        self.w.ensure_server()  # the world's server and services up first
        a = '%s/file/first.bin?size=300000&seed=3' % self.base
        b = '%s/file/second.bin?size=200000&seed=4' % self.base
        gui = self.start(a, b)
        self.assertTrue(wait_for(lambda: os.path.exists(os.path.join(self.downloads, 'second.bin')) and
                                 os.path.exists(os.path.join(self.downloads, 'first.bin'))), 'no downloads')
        time.sleep(1)  # a tick to notice both
        self.assertEqual(self.w.probe('close'), 'posted')
        self.assertEqual(gui.wait(timeout=30), 0)
        text = self.list_file()
        self.assertEqual(text.count('state=completed'), 2, text)
        # The start registered the browser host beside the executable.
        self.assertTrue(os.path.exists(os.path.join(self.app_dir, 'native-host', 'chromium.json')))
        self.assertTrue(os.path.exists(os.path.join(self.app_dir, 'native-host', 'firefox.json')))
        with open(os.path.join(self.downloads, 'first.bin'), 'rb') as f:
            self.assertTrue(f.read() == content.piece(3, 0, 300000))

    def test_second_start_hands_its_links_over_and_exits(self):
        gui = self.gui()
        link = '%s/file/handed.bin?size=1000&seed=5' % self.base
        t0 = time.time()
        second = self.start(link)
        self.assertEqual(second.wait(timeout=30), 0)
        self.assertLess(time.time() - t0, 10)
        self.assertTrue(wait_for(lambda: os.path.exists(os.path.join(self.downloads, 'handed.bin'))))
        time.sleep(1)
        self.w.probe('close')
        self.assertEqual(gui.wait(timeout=30), 0)
        self.assertIn('handed.bin', self.list_file())

    def test_second_start_before_the_first_has_its_window_still_delivers(self):
        # Whichever wins the mutex, the other waits for its window and hands over.
        self.w.ensure_server()
        first = self.start()
        link = '%s/file/early.bin?size=1000&seed=6' % self.base
        second = self.start(link)
        self.assertTrue(wait_for(lambda: os.path.exists(os.path.join(self.downloads, 'early.bin'))), 'link lost')
        ended = [p for p in (first, second) if p.poll() is not None]
        self.assertEqual(len(ended), 1)
        self.assertEqual(ended[0].returncode, 0)
        time.sleep(1)
        self.w.probe('close')
        for p in (first, second):
            self.assertEqual(p.wait(timeout=30), 0)
        self.assertIn('early.bin', self.list_file())

    def test_second_start_without_links_only_brings_the_window_forward(self):
        gui = self.gui()
        again = self.start()
        self.assertEqual(again.wait(timeout=30), 0)
        self.assertEqual(self.w.probe('haswindow'), 'yes')
        self.w.probe('close')
        self.assertEqual(gui.wait(timeout=30), 0)
        self.assertEqual(self.list_file(), 'ZEBLIST 1\r\n')

    def test_closing_while_downloading_asks_then_saves_it_paused(self):
        self.w.ensure_server()
        link = '%s/file/slow.bin?size=20000000&rate=300000' % self.base
        gui = self.start(link)
        # Past preparation (the name is in the saved list), so the exit's
        # record does not depend on how fast the machine is.
        self.assertTrue(wait_for(lambda: 'file=slow.bin' in self.list_file()))
        self.w.probe('close')
        self.assertTrue(wait_for(lambda: self.w.probe('answer', '0') == 'posted', 15))  # "Exit"
        self.assertEqual(gui.wait(timeout=30), 0)
        text = self.list_file()
        self.assertIn('state=paused', text)
        self.assertIn('fixed=1', text)
        self.assertTrue(os.path.exists(os.path.join(self.downloads, 'slow.bin.zebpart')))


    def test_hand_over_shapes_from_a_sender(self):
        gui = self.gui()
        base = self.base
        answers = {m: self.w.probe('copydata', m, base).split() for m in
                   ('foreign', 'null', 'zero', 'one', 'odd', 'nonul', 'embedded', 'cr', 'many')}
        self.assertEqual(answers['foreign'][0], '0')
        for mode in ('null', 'zero', 'one', 'odd', 'nonul', 'embedded', 'cr', 'many'):
            self.assertEqual(answers[mode][0], '1', mode)
        self.assertLess(int(answers['many'][1]), 10000)  # answered before the links were added
        # The batch is saved once, when the last of its links is in.
        self.assertTrue(wait_for(lambda: self.list_file().count('/file/m') == 3000, 60))
        self.w.probe('close')
        self.assertTrue(wait_for(lambda: self.w.probe('answer', '0') == 'posted', 30))
        self.assertEqual(gui.wait(timeout=60), 0)
        text = self.list_file()
        self.assertIn('/file/before.bin', text)
        self.assertNotIn('/file/after.bin', text)  # the text ends at the first NUL
        self.assertNotIn('foreign.bin', text)
        self.assertEqual(text.count('/file/m'), 3000)

    def test_a_hundred_thousand_links_through_the_host_are_all_listed(self):
        gui = self.gui()
        links = ['%s/file/big%d?hold=1&token=big%d' % (self.base, i, os.getpid()) for i in range(100000)]
        self.addCleanup(urllib.request.urlopen, '%s/_release?token=big%d' % (self.base, os.getpid()))
        body = ('{"type":"download","items":[%s]}' % ','.join('{"url":"%s"}' % l for l in links)).encode()
        self.assertEqual(self.host_message(body), (0, b'{"ok":true,"version":"1.0.0","edition":"pe"}'))
        self.assertTrue(wait_for(lambda: self.list_file().count('\r\nurl=') == 100000, 60), 'not every link listed')
        listed = [l[4:] for l in self.list_file().split('\r\n') if l.startswith('url=')]
        self.assertEqual(listed, links)
        # An old sender's hand-over of megabytes in one message fails inside
        # Wine; the window must live on and close as usual.
        self.w.probe('copydata', 'huge', self.base)
        self.assertEqual(self.w.probe('haswindow'), 'yes')
        gui.kill()
        gui.wait()

    def host_message(self, body):
        host = subprocess.Popen(['wine', 'C:\\Tidewell\\tidewell.exe', 'chrome-extension://abc/'], env=self.w.env,
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        host.stdin.write(len(body).to_bytes(4, 'little') + body)
        host.stdin.close()
        length = int.from_bytes(host.stdout.read(4), 'little')
        reply = host.stdout.read(length)
        code = host.wait(timeout=60)
        host.stdout.close()
        return code, reply

    def test_media_only_message_is_handed_over_and_refused(self):
        gui = self.gui()
        body = ('{"type":"download","items":[{"url":"%s/file/v.mp4?size=10","media":true}]}' % self.base).encode()
        self.assertEqual(self.host_message(body),
                         (0, b'{"ok":false,"version":"1.0.0","edition":"pe","error":"the PE edition downloads http(s) '
                             b'files only (no streaming video / torrent)"}'))
        self.w.probe('close')
        self.assertEqual(gui.wait(timeout=30), 0)
        self.assertEqual(self.list_file(), 'ZEBLIST 1\r\n')

    def test_browser_message_starts_the_gui_and_its_links_arrive(self):
        self.w.ensure_server()
        link = '%s/file/frombrowser.bin?size=5000&seed=8' % self.base
        body = ('{"type":"download","userAgent":"UA","items":[{"url":"%s"}]}' % link).encode()
        # The reply is read by its length, as a browser does: the GUI the
        # host started may hold the pipe open under Wine.
        code, reply = self.host_message(body)
        self.assertEqual(code, 0)
        self.assertEqual(reply, b'{"ok":true,"version":"1.0.0","edition":"pe"}')
        self.assertTrue(wait_for(lambda: os.path.exists(os.path.join(self.downloads, 'frombrowser.bin'))))
        time.sleep(1)
        self.w.probe('close')
        self.assertTrue(wait_for(lambda: self.w.probe('haswindow') == 'no'))
        self.assertIn('frombrowser.bin', self.list_file())


    def test_restart_shows_the_row_paused_and_resumes_from_its_state(self):
        size = 8000000
        link = '%s/file/resumed.bin?size=%d&seed=11&rate=100000&token=resume%d' % (self.base, size, os.getpid())
        gui = self.gui(link)
        state = os.path.join(self.downloads, 'resumed.bin.zebstate')
        self.assertTrue(wait_for(lambda: os.path.exists(state)), 'no state saved')
        self.w.probe('close')
        self.assertTrue(wait_for(lambda: self.w.probe('answer', '0') == 'posted', 15))
        self.assertEqual(gui.wait(timeout=30), 0)
        self.assertIn('state=paused', self.list_file())
        with open(state, 'rb') as f:
            saved = f.read().decode()
        again = self.gui()
        time.sleep(2)
        self.assertFalse(os.path.exists(os.path.join(self.downloads, 'resumed.bin')))  # nothing starts by itself
        probes_before = sum(1 for r in httpserver._logs.get('resume%d' % os.getpid(), [])
                            if r['headers'].get('Range') == 'bytes=0-0')
        self.assertEqual(self.w.probe('command', '104'), 'posted')  # Resume All
        self.assertTrue(wait_for(lambda: os.path.exists(os.path.join(self.downloads, 'resumed.bin')), 60))
        with open(os.path.join(self.downloads, 'resumed.bin'), 'rb') as f:
            self.assertTrue(f.read() == content.piece(11, 0, size))
        # The resumed run asked for the unfinished ranges where the state said.
        starts = set()
        phase = 0
        for r in httpserver._logs.get('resume%d' % os.getpid(), []):
            rng = r['headers'].get('Range', '')
            if rng == 'bytes=0-0':
                phase += 1
            elif phase > probes_before and rng:
                starts.add(int(rng[6:].split('-')[0]))
        for line in saved.split('\r\n'):
            if line.startswith('seg='):
                a, b, p = (int(x) for x in line[4:].split(','))
                if p < b:
                    self.assertIn(p, starts, line)
        self.w.probe('close')
        self.assertEqual(again.wait(timeout=30), 0)


    def state_after(self, seconds):
        time.sleep(seconds)
        path = os.path.join(self.downloads, 'keys.bin.zebstate')
        with open(path, 'rb') as f:
            return f.read()

    def test_digit_shortcut_acts_from_the_list_but_types_into_the_link_box(self):
        # Running downloads rewrite their state every 2 s; a paused one does not.
        link = '%s/file/keys.bin?size=30000000&rate=100000' % self.base
        gui = self.gui(link)
        self.assertTrue(wait_for(lambda: os.path.exists(os.path.join(self.downloads, 'keys.bin.zebstate'))))
        self.assertEqual(self.w.probe('key', 'edit', str(ord('3'))), 'posted')  # typed into the link box
        self.assertNotEqual(self.state_after(0.1), self.state_after(2.5), 'stopped by a key typed into the box')
        self.assertEqual(self.w.probe('key', 'list', str(0x63)), 'posted')  # keypad 3: Pause All
        first = self.state_after(3)
        self.assertEqual(first, self.state_after(3), 'still downloading after Pause All')
        self.w.probe('close')
        self.assertEqual(gui.wait(timeout=30), 0)

    def test_open_folder_without_a_shell_creates_the_folder_and_copies_its_path(self):
        # As in Windows PE without a shell: no explorer.exe anywhere.
        for where in ('windows', os.path.join('windows', 'system32')):
            path = os.path.join(self.w.drive_c, where, 'explorer.exe')
            if os.path.lexists(path):
                os.remove(path)  # unlinks the copy's hard link only
        with open(os.path.join(self.app_dir, 'settings.cfg'), 'w', newline='') as f:
            f.write('Language=en\r\nFolder=C:\\Rescue\\Saved\r\nClipboard=1\r\n')
        gui = self.gui()
        self.w.probe('command', '107')
        self.assertTrue(wait_for(lambda: self.w.probe('clipboard') == 'C:\\Rescue\\Saved', 15))
        self.assertTrue(os.path.isdir(os.path.join(self.w.drive_c, 'Rescue', 'Saved')))  # created first
        self.w.probe('close')
        self.assertEqual(gui.wait(timeout=30), 0)


if __name__ == '__main__':
    unittest.main()
