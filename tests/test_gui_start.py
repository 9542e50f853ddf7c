"""The real program started with links, in a Wine world like Windows PE (no
explorer.exe, no dwmapi.dll): the links are downloaded into the default
folder, a second start hands its links over, a browser's message starts it,
and closing saves the list (asking first while a download runs)."""
import os
import pathlib
import shutil
import subprocess
import unittest
import urllib.request

import wineworld as ww  # first: it finds the modules below
import content
import httpserver
from driver import range_starts, segments

wait_for = ww.wait_for


class GuiStart(httpserver.ServerTestCase, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.display = ww.Display()
        cls.w = ww.World(cls.display.name)
        for where in ('windows', os.path.join('windows', 'system32')):
            pathlib.Path(cls.w.drive_c, where, 'explorer.exe').unlink(missing_ok=True)  # the copy's hard link only
        cls.w.env['WINEDLLOVERRIDES'] += ';dwmapi=d'
        cls.app_dir = cls.w.install_program()
        cls.downloads = cls.w.user_downloads
        cls.w.ensure_server()

    @classmethod
    def tearDownClass(cls):
        cls.w.close()
        cls.display.close()
        super().tearDownClass()

    def setUp(self):
        # A case that failed with its window open takes no other case down with it.
        if not wait_for(lambda: self.w.probe('haswindow') == 'no', 10):
            self.w.end_programs()
        for name in ('downloads.lst', 'settings.cfg'):
            pathlib.Path(self.app_dir, name).unlink(missing_ok=True)
        for name in os.listdir(self.downloads):
            os.remove(os.path.join(self.downloads, name))

    def start(self, *args, pipe=False, world=None):
        return subprocess.Popen(['wine', 'C:\\Tidewell\\tidewell.exe'] + list(args), env=(world or self.w).env,
                                stdin=subprocess.PIPE if pipe else subprocess.DEVNULL,
                                stdout=subprocess.PIPE if pipe else subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def list_file(self):
        path = pathlib.Path(self.app_dir, 'downloads.lst')
        return path.read_bytes().decode() if path.exists() else ''

    def close(self, gui=None, answer=False):
        """Closes the main window (answering the exit question's first button); the list file then."""
        self.assertEqual(self.w.probe('close'), 'posted')
        if answer:
            self.assertTrue(wait_for(lambda: self.w.probe('answer', '0') == 'posted', 30))
        if gui:
            self.assertEqual(gui.wait(timeout=60), 0)
        self.assertTrue(wait_for(lambda: self.w.probe('haswindow') == 'no'))
        return self.list_file()

    def has(self, name, seed, size):
        return content.file_holds(os.path.join(self.downloads, name), seed, size)

    def test_a_browser_message_starts_the_gui_with_a_hundred_thousand_links_and_hand_overs_of_every_shape(self):
        links = ['%s/file/big%d?hold=1&token=big%d' % (self.base, i, os.getpid()) for i in range(100000)]
        self.addCleanup(urllib.request.urlopen, '%s/_release?token=big%d' % (self.base, os.getpid()))
        body = ('{"type":"download","items":[%s]}' % ','.join('{"url":"%s"}' % l for l in links)).encode()
        # Framed as a browser sends it to the program started as its host.
        host = self.start('chrome-extension://abc/', pipe=True)
        host.stdin.write(len(body).to_bytes(4, 'little') + body)
        host.stdin.close()
        # Read by its length, as a browser does: a GUI the host started may hold the pipe open under Wine.
        reply = host.stdout.read(int.from_bytes(host.stdout.read(4), 'little'))
        self.assertEqual((host.wait(timeout=60), reply), (0, b'{"ok":true,"version":"1.0.0","edition":"pe"}'))
        host.stdout.close()
        self.assertTrue(wait_for(lambda: self.list_file().count('\r\nurl=') == 100000, 60), 'not every link listed')
        self.assertEqual([l[4:] for l in self.list_file().split('\r\n') if l.startswith('url=')], links)
        # An old sender's hand-over of megabytes in one message fails inside
        # Wine; the window must live on (to be closed below) like after every other shape.
        answers = {m: self.w.probe('copydata', m, self.base).split() for m in
                   ('foreign', 'null', 'zero', 'one', 'odd', 'nonul', 'embedded', 'cr', 'many', 'huge')}
        self.assertEqual({m: a[0] for m, a in answers.items() if a[0] != '1' and m != 'huge'}, {'foreign': '0'})
        self.assertLess(int(answers['many'][1]), 10000)  # answered before the links were added
        # The batch is saved once, when the last of its links is in.
        self.assertTrue(wait_for(lambda: self.list_file().count('/file/m') == 3000, 60))
        text = self.close(answer=True)  # held downloads run: the exit asks
        self.assertIn('/file/before.bin', text)
        self.assertNotIn('/file/after.bin', text)  # the text ends at the first NUL
        self.assertNotIn('foreign.bin', text)

    def test_links_are_downloaded_a_second_start_hands_over_and_closing_saves_them(self):
        gui = self.start(self.link('first.bin', 300000, 3), self.link('second.bin', 200000, 4))
        self.assertTrue(wait_for(lambda: self.has('first.bin', 3, 300000) and self.has('second.bin', 4, 200000)))
        # A second start hands its link over and ends; one without links only brings the window forward.
        self.assertEqual(self.start(self.link('handed.bin', 1000, 5)).wait(timeout=10), 0)
        self.assertTrue(wait_for(lambda: self.has('handed.bin', 5, 1000)))
        self.assertEqual(self.start().wait(timeout=30), 0)  # (the window it leaves is closed below)
        self.assertTrue(wait_for(lambda: self.list_file().count('state=completed') == 3))
        self.assertEqual(self.close(gui).count('state=completed'), 3)
        # The start registered the browser host beside the executable.
        self.assertEqual(sorted(os.listdir(os.path.join(self.app_dir, 'native-host'))), ['chromium.json', 'firefox.json'])

    def test_second_start_before_the_first_has_its_window_still_delivers(self):
        # Whichever wins the instance check, the other waits for its window and hands over
        # and ends (a second window would outlive the close below).
        first, second = self.start(), self.start(self.link('early.bin', 1000, 6))
        self.assertTrue(wait_for(lambda: self.has('early.bin', 6, 1000)), 'link lost')
        self.assertTrue(wait_for(lambda: 'state=completed' in self.list_file()))
        text = self.close()
        self.assertEqual((text.count('[item]'), text.count('file=early.bin')), (1, 1))
        for p in (first, second):
            self.assertEqual(p.wait(timeout=30), 0)

    def test_closing_while_downloading_asks_saves_it_paused_and_a_restart_resumes_from_its_state(self):
        size, token = 8000000, 'resume%d' % os.getpid()
        gui = self.start(self.link('resumed.bin', size, 11, '&rate=100000&token=' + token))
        state = os.path.join(self.downloads, 'resumed.bin.zebstate')
        self.assertTrue(wait_for(lambda: os.path.exists(state)), 'no state saved')
        text = self.close(gui, answer=True)  # "Exit" in the question
        self.assertTrue('state=paused' in text and 'fixed=1' in text, text)
        unfinished = {pos for _, end, pos in segments(state) if pos < end}
        again = self.start()
        self.assertTrue(wait_for(lambda: self.w.probe('haswindow') == 'yes'), 'no main window')
        probes = sum(1 for r in httpserver._logs[token] if r['headers'].get('Range') == 'bytes=0-0')
        self.assertEqual(self.w.probe('command', '104'), 'posted')  # Resume All
        self.assertTrue(wait_for(lambda: self.has('resumed.bin', 11, size), 60))
        # The resumed run asked for the unfinished ranges where the state said.
        self.assertLessEqual(unfinished, range_starts(httpserver._logs[token], probes + 1))
        self.close(again)

    def test_when_done_inside_windows_pe_runs_wpeutil_and_shows_its_failure(self):
        with ww.World(self.display.name) as w:
            w.reg_add(r'HKLM\System\CurrentControlSet\Control\MiniNT')
            app = w.install_program()
            shutil.copy(os.path.join(ww.BUILD, 'tests', 'wpeutil.exe'), os.path.join(w.drive_c, 'windows', 'system32'))
            pathlib.Path(app, 'settings.cfg').write_text('Folder=C:\\dl\r\nClipboard=0\r\n', newline='')
            w.ensure_server()
            gui = self.start(world=w)
            self.assertTrue(wait_for(lambda: w.probe('haswindow') == 'yes'))
            log = pathlib.Path(w.drive_c, 'wpeutil.log')
            lines = lambda: log.read_text().split() if log.exists() else []  # noqa: E731
            for presses, code, expected in ((2, 0, ['shutdown']), (3, 5, ['shutdown', 'reboot'])):
                pathlib.Path(w.drive_c, 'wpeutil.code').write_text(str(code))
                for _ in range(presses):
                    self.assertEqual(w.probe('command', '114'), 'posted')
                self.assertEqual(w.run(['C:\\Tidewell\\tidewell.exe', self.link('pe%d.bin' % presses, 1000, 1)]).returncode, 0)
                self.assertTrue(wait_for(lambda: w.probe('answer', '0') == 'posted'), 'no question')  # Now
                self.assertTrue(wait_for(lambda: lines() == expected), lines())
            # wpeutil's failure is shown, and the program stays.
            self.assertTrue(wait_for(lambda: w.probe('answer', '0') == 'posted'), 'no error shown')
            self.assertEqual(w.probe('close'), 'posted')
            self.assertEqual(gui.wait(timeout=60), 0)


if __name__ == '__main__':
    unittest.main()
