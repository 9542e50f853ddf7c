"""The shipped executable: a 64-bit GUI program importing only system DLLs
and nothing Windows PE may lack, with its icon, manifest and version. (That
it starts without dwmapi.dll, the GUI start tests show: their world has none.)"""
import struct
import unittest

import pefile_lite
import wineworld as ww

SYSTEM_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'winhttp.dll', 'advapi32.dll', 'shell32.dll', 'ole32.dll',
               'comctl32.dll', 'msvcrt.dll', 'ntdll.dll', 'shlwapi.dll', 'uxtheme.dll', 'imm32.dll', 'version.dll',
               'crypt32.dll', 'bcrypt.dll'}
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


class Executable(unittest.TestCase):
    def test_a_64_bit_gui_program_importing_only_what_windows_pe_has(self):
        pe = pefile_lite.PE(ww.EXE)
        self.assertEqual((pe.machine, pe.magic, pe.subsystem), (0x8664, 0x20B, 2))  # x64, PE32+, Windows GUI
        imports = pe.imports()
        self.assertTrue(imports)
        self.assertLessEqual(set(imports), SYSTEM_DLLS)  # no runtime DLL beside it, no dwmapi.dll
        self.assertFalse([f for funcs in imports.values() for f in funcs if f == 'GetDpiForWindow'])

    def test_icon_manifest_and_version(self):
        res = pefile_lite.PE(ww.EXE).resources()
        group = res[(RT_GROUP_ICON, 101)]
        _, kind, count = struct.unpack_from('<HHH', group, 0)
        sizes = set()
        for i in range(count):
            w, _, _, _, _, bits, size, icon_id = struct.unpack_from('<BBBBHHIH', group, 6 + 14 * i)
            sizes.add(w or 256)
            self.assertEqual((bits, len(res[(RT_ICON, icon_id)])), (32, size))
        self.assertEqual(kind, 1)
        self.assertLessEqual({16, 32, 48, 256}, sizes)
        manifest = res[(RT_MANIFEST, 1)].decode('utf-8')
        self.assertIn('PerMonitorV2', manifest)
        self.assertRegex(manifest, r'name="Microsoft\.Windows\.Common-Controls"\s+version="6\.0\.0\.0"')
        self.assertIn('{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}', manifest)  # Windows 10 and 11
        blob = res[(RT_VERSION, 1)]
        ms, ls = struct.unpack_from('<II', blob, blob.index(struct.pack('<I', 0xFEEF04BD)) + 8)
        self.assertEqual((ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF), (1, 0, 0, 0))
        text = blob.decode('utf-16-le', errors='replace')
        self.assertRegex(text, 'ProductName\0+Tidewell PE\0')
        self.assertRegex(text, 'ProductVersion\0+1\\.0\\.0\\.0\0')


if __name__ == '__main__':
    unittest.main()
