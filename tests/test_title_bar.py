"""The caption follows the theme: a logging stand-in for dwmapi.dll in a
world of its own records what the main window asks of the window manager,
from its creation through two theme switches."""
import os
import unittest

import wineworld as ww

STAND_IN = os.path.join(ww.BUILD, 'tests', 'dwmapi.dll')
SHELL_TESTS = os.path.join(ww.BUILD, 'tests', 'shell_tests.exe')


class TitleBar(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.display = ww.Display()
        cls.w = ww.World(cls.display.name)
        system32 = os.path.join(cls.w.drive_c, 'windows', 'system32', 'dwmapi.dll')
        # The prefix is a tree of hard links: replace the file, never write through it.
        if os.path.lexists(system32):
            os.remove(system32)
        with open(STAND_IN, 'rb') as src, open(system32, 'wb') as dst:
            dst.write(src.read())
        cls.exe = cls.w.install(SHELL_TESTS)

    @classmethod
    def tearDownClass(cls):
        cls.w.close()
        cls.display.close()

    def calls_of_two_switches(self, **extra):
        """Runs the shell tests' theme switch (a main window opened dark,
        switched to light and back); returns the calls the stand-in logged."""
        log = os.path.join(self.w.drive_c, 'dwm.log')
        if os.path.exists(log):
            os.remove(log)
        env = {'WINEDLLOVERRIDES': 'mscoree,mshtml=;dwmapi=n', 'TW_DWM_LOG': 'C:\\dwm.log', **extra}
        result = self.w.run([self.exe, '--gtest_filter=Switches.ThemeSwitchTwice*'], timeout=120, env=env)
        self.assertEqual(result.returncode, 0, result.stdout.decode(errors='replace')[-2000:])
        with open(log, encoding='utf-8') as f:
            return [line.split() for line in f.read().splitlines()]

    def test_dark_from_creation_and_each_switch_asks_for_the_new_caption(self):
        self.assertEqual(self.calls_of_two_switches(),
                         [['TidewellPE.Main', '20', '1'], ['TidewellPE.Main', '20', '0'], ['TidewellPE.Main', '20', '1']])

    def test_a_refused_attribute_20_is_asked_again_as_19(self):
        self.assertEqual([c[1:] for c in self.calls_of_two_switches(TW_DWM_FAIL20='1')],
                         [['20', '1'], ['19', '1'], ['20', '0'], ['19', '0'], ['20', '1'], ['19', '1']])


if __name__ == '__main__':
    unittest.main()
