"""The caption follows the theme: a logging stand-in for dwmapi.dll in a
world of its own records what the program asks of the window manager."""
import os
import subprocess
import time
import unittest

import wineworld as ww

STAND_IN = os.path.join(ww.BUILD, 'tests', 'dwmapi.dll')
SHELL_TESTS = os.path.join(ww.BUILD, 'tests', 'shell_tests.exe')


class TitleBar(unittest.TestCase):
    def setUp(self):
        self.w = ww.World()
        self.addCleanup(self.w.close)
        system32 = os.path.join(self.w.drive_c, 'windows', 'system32', 'dwmapi.dll')
        # The prefix is a tree of hard links: replace the file, never write through it.
        if os.path.lexists(system32):
            os.remove(system32)
        with open(STAND_IN, 'rb') as src, open(system32, 'wb') as dst:
            dst.write(src.read())
        self.log = os.path.join(self.w.drive_c, 'dwm.log')
        self.env = {'WINEDLLOVERRIDES': 'mscoree,mshtml=;dwmapi=n', 'TW_DWM_LOG': 'C:\\dwm.log'}

    def calls(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding='utf-8') as f:
            return [line.split() for line in f.read().splitlines()]

    def switch_theme_twice(self, **extra):
        exe = self.w.install(SHELL_TESTS)
        result = self.w.run([exe, '--gtest_filter=Shell.ThemeSwitchTwice*'], timeout=120, env={**self.env, **extra})
        self.assertEqual(result.returncode, 0, result.stdout.decode(errors='replace')[-2000:])

    def test_each_switch_asks_for_the_new_caption(self):
        self.switch_theme_twice()
        self.assertEqual([c[1:] for c in self.calls()], [['20', '0'], ['20', '1']])

    def test_a_refused_attribute_20_is_asked_again_as_19(self):
        self.switch_theme_twice(TW_DWM_FAIL20='1')
        self.assertEqual([c[1:] for c in self.calls()], [['20', '0'], ['19', '0'], ['20', '1'], ['19', '1']])

    def test_the_main_window_is_dark_from_its_creation(self):
        exe = self.w.install(ww.EXE)
        self.w.ensure_server()
        gui = subprocess.Popen(['wine', exe], env={**self.w.env, **self.env}, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            deadline = time.time() + 30
            while time.time() < deadline and self.w.probe('haswindow') != 'yes':
                time.sleep(0.2)
            self.assertIn(['TidewellPE.Main', '20', '1'], self.calls())
            self.w.probe('close')
            self.assertEqual(gui.wait(timeout=30), 0)
        finally:
            if gui.poll() is None:
                gui.kill()


if __name__ == '__main__':
    unittest.main()
