"""The shipped executable: 64-bit GUI program, only system DLLs imported,
no import Windows PE may lack, its icon, manifest and version, and that it
starts where dwmapi.dll is absent."""
import os
import re
import struct
import unittest

import pefile_lite
import wineworld as ww

SYSTEM_DLLS = {
    'kernel32.dll', 'user32.dll', 'gdi32.dll', 'winhttp.dll', 'advapi32.dll', 'shell32.dll', 'ole32.dll',
    'comctl32.dll', 'msvcrt.dll', 'ntdll.dll', 'shlwapi.dll', 'uxtheme.dll', 'imm32.dll', 'version.dll',
    'crypt32.dll',
}
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


class Executable(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile_lite.PE(ww.EXE)

    def test_is_a_64_bit_gui_program(self):
        self.assertEqual(self.pe.machine, 0x8664)
        self.assertEqual(self.pe.magic, 0x20B)
        self.assertEqual(self.pe.subsystem, 2)  # IMAGE_SUBSYSTEM_WINDOWS_GUI

    def test_imports_only_system_dlls(self):
        imports = self.pe.imports()
        self.assertTrue(imports)
        for dll in imports:
            self.assertIn(dll, SYSTEM_DLLS)
            self.assertNotRegex(dll, r'libstdc|libgcc|winpthread|api-ms-win-crt')

    def test_nothing_windows_pe_lacks_is_imported(self):
        imports = self.pe.imports()
        self.assertNotIn('dwmapi.dll', imports)
        for funcs in imports.values():
            self.assertNotIn('GetDpiForWindow', funcs)

    def test_icon_101_has_several_sizes(self):
        res = self.pe.resources()
        group = res[(RT_GROUP_ICON, 101)]
        _, kind, count = struct.unpack_from('<HHH', group, 0)
        self.assertEqual(kind, 1)
        sizes = set()
        for i in range(count):
            w, h, _, _, planes, bits, size, icon_id = struct.unpack_from('<BBBBHHIH', group, 6 + 14 * i)
            sizes.add(w or 256)
            self.assertEqual(bits, 32)
            self.assertEqual(len(res[(RT_ICON, icon_id)]), size)
        self.assertTrue({16, 32, 48, 256} <= sizes, sizes)

    def test_manifest(self):
        text = self.pe.resources()[(RT_MANIFEST, 1)].decode('utf-8')
        self.assertIn('PerMonitorV2', text)
        self.assertRegex(text, r'name="Microsoft\.Windows\.Common-Controls"\s+version="6\.0\.0\.0"')
        ids = set(re.findall(r'supportedOS Id="\{([0-9a-f-]+)\}"', text))
        self.assertIn('8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a', ids)  # Windows 10 and 11
        self.assertGreaterEqual(len(ids), 3)

    def test_version_resource(self):
        blob = self.pe.resources()[(RT_VERSION, 1)]
        fixed = blob.index(struct.pack('<I', 0xFEEF04BD))
        ms, ls = struct.unpack_from('<II', blob, fixed + 8)
        self.assertEqual((ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF), (1, 0, 0, 0))
        text = blob.decode('utf-16-le', errors='replace')
        self.assertRegex(text, 'ProductName\0+Tidewell PE\0')
        self.assertRegex(text, 'ProductVersion\0+1\\.0\\.0\\.0\0')

    def test_starts_and_exits_cleanly_without_dwmapi(self):
        # Windows PE has no dwmapi.dll: the program must start without it.
        import subprocess
        import time
        with ww.World() as w:
            w.install(ww.PROBE)
            w.ensure_server()
            gui = subprocess.Popen(['wine', w.install(ww.EXE)], env={**w.env, 'WINEDLLOVERRIDES': 'mscoree,mshtml=;dwmapi=d'},
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.time() + 60
            while w.probe('haswindow') != 'yes' and time.time() < deadline:
                time.sleep(0.3)
            self.assertEqual(w.probe('close'), 'posted')
            self.assertEqual(gui.wait(timeout=60), 0)


if __name__ == '__main__':
    unittest.main()
