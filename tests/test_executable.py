"""The shipped executable: a 64-bit GUI program importing only system DLLs
and nothing Windows PE may lack, with its icon, manifest and version. (That
it starts without dwmapi.dll, the GUI start tests show: their world has none.)
The headers and import tables are read by the cross toolchain's objdump."""
import re
import subprocess
import unittest

import wineworld as ww

SYSTEM_DLLS = {'kernel32.dll', 'user32.dll', 'gdi32.dll', 'winhttp.dll', 'advapi32.dll', 'shell32.dll', 'ole32.dll',
               'comctl32.dll', 'msvcrt.dll', 'ntdll.dll', 'shlwapi.dll', 'uxtheme.dll', 'imm32.dll', 'version.dll',
               'crypt32.dll', 'bcrypt.dll'}


class Executable(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.headers = subprocess.run(['x86_64-w64-mingw32-objdump', '-p', ww.EXE], capture_output=True, text=True,
                                     check=True).stdout
        with open(ww.EXE, 'rb') as f:
            cls.data = f.read()

    def test_a_64_bit_gui_program_importing_only_what_windows_pe_has(self):
        self.assertRegex(self.headers, r'Magic\s+020b\s+\(PE32\+\)')
        self.assertRegex(self.headers, r'Subsystem\s+00000002\s+\(Windows GUI\)')
        imports = {dll.lower() for dll in re.findall(r'DLL Name: (\S+)', self.headers)}
        self.assertTrue(imports)
        self.assertLessEqual(imports, SYSTEM_DLLS)  # no runtime DLL beside it, no dwmapi.dll
        self.assertNotRegex(self.headers, r'\s\d+\s+GetDpiForWindow\n')  # looked up at run time

    def test_icon_manifest_and_version(self):
        # In the resource directory: the icon group 101 (type 14) and at least four images (type 3).
        self.assertRegex(self.headers, r'\s{3}Entry: ID: 0x00000e, .*\n.*\n\w+\s{5}Entry: ID: 0x000065,')
        images = re.search(r'\s{3}Entry: ID: 0x000003, .*\n\w+\s{4}Name Table: .*IDs: (\d+)', self.headers)
        self.assertGreaterEqual(int(images.group(1)), 4)
        self.assertIn(b'PerMonitorV2', self.data)
        self.assertRegex(self.data, rb'name="Microsoft\.Windows\.Common-Controls"\s+version="6\.0\.0\.0"')
        self.assertIn(b'{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}', self.data)  # Windows 10 and 11
        for key, value in (('ProductName', 'Tidewell PE'), ('ProductVersion', '1.0.0.0')):
            self.assertRegex(self.data, re.escape(key.encode('utf-16-le')) + rb'(\0\0)+' + re.escape(value.encode('utf-16-le')))


if __name__ == '__main__':
    unittest.main()
