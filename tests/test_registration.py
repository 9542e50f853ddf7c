"""Host registration in Wine worlds of its own: manifests byte-exact, the
eight HKCU keys, nothing rewritten at a second start, and the rules for
another installation's registration. Also keeps the extension ids in the
code in step with the committed public keys."""
import base64
import json
import os
import re
import shutil
import subprocess
import sys
import unittest

import wineworld as ww

SOURCE = os.environ.get('TW_SOURCE') or os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, 'tools'))
import extension_ids  # noqa: E402

MINI_NT = r'HKLM\System\CurrentControlSet\Control\MiniNT'
CHROME_KEY = r'HKCU\Software\Google\Chrome\NativeMessagingHosts\pe.tidewell.host'


def keys(world):
    out = {}
    for line in world.probe('regkeys').splitlines():
        key, value, *written = line.split('|') + ['', '']
        out[key] = (value, written[0])
    return out


class Registration(unittest.TestCase):
    def world_with_exe(self, exe_dir='C:\\Tools\\Tải'):
        w = ww.World()
        self.addCleanup(w.close)
        linux_dir = os.path.join(w.drive_c, *exe_dir[3:].split('\\'))
        os.makedirs(linux_dir)
        shutil.copy(ww.PROBE, linux_dir)
        w.exe = exe_dir + '\\tw_probe.exe'
        w.data = exe_dir
        w.linux_dir = linux_dir
        return w

    def register(self, w):
        result = w.run([w.exe, 'register', w.data], timeout=60)
        self.assertEqual(result.stdout.decode().strip(), 'done')

    def manifest(self, w, name):
        with open(os.path.join(w.linux_dir, 'native-host', name), 'rb') as f:
            return f.read()

    def test_first_start_writes_both_manifests_and_eight_keys(self):
        w = self.world_with_exe()
        self.register(w)
        path = b'C:\\\\Tools\\\\T\xe1\xba\xa3i\\\\tw_probe.exe'
        self.assertEqual(self.manifest(w, 'chromium.json'),
                         b'{\n  "name": "pe.tidewell.host",\n  "description": "Tidewell",\n  "path": "' + path +
                         b'",\n  "type": "stdio",\n  "allowed_origins": [\n'
                         b'    "chrome-extension://iehkfcihndppaianhlblmkajlafjmohp/",\n'
                         b'    "chrome-extension://lkbphidfccmmaacnmiefobagkpnodoba/"\n  ]\n}')
        self.assertEqual(self.manifest(w, 'firefox.json'),
                         b'{\n  "name": "pe.tidewell.host",\n  "description": "Tidewell",\n  "path": "' + path +
                         b'",\n  "type": "stdio",\n  "allowed_extensions": [\n'
                         b'    "companion@tidewell-pe.invalid"\n  ]\n}')
        found = keys(w)
        self.assertEqual(len(found), 8)
        for key, (value, _) in found.items():
            expected = 'firefox.json' if 'Mozilla' in key else 'chromium.json'
            self.assertEqual(value, w.data + '\\native-host\\' + expected, key)

    def test_second_start_writes_nothing(self):
        w = self.world_with_exe()
        self.register(w)
        before_keys = keys(w)
        files = [os.path.join(w.linux_dir, 'native-host', n) for n in ('chromium.json', 'firefox.json')]
        before_files = [os.stat(f).st_mtime_ns for f in files]
        self.register(w)
        self.assertEqual(keys(w), before_keys)  # same values, same last-write times
        self.assertEqual([os.stat(f).st_mtime_ns for f in files], before_files)

    def other_installation(self, w, exe_exists):
        other = os.path.join(w.drive_c, 'Other')
        os.makedirs(other)
        if exe_exists:
            shutil.copy(ww.PROBE, os.path.join(other, 'other.exe'))
        with open(os.path.join(other, 'm.json'), 'w') as f:
            f.write('{"name":"pe.tidewell.host","path":"C:\\\\Other\\\\other.exe","type":"stdio"}\n')
        w.run(['reg', 'add', CHROME_KEY, '/ve', '/d', 'C:\\Other\\m.json', '/f'], check=True)

    def test_another_existing_installation_is_left_alone(self):
        w = self.world_with_exe()
        self.other_installation(w, exe_exists=True)
        self.register(w)
        self.assertFalse(os.path.exists(os.path.join(w.linux_dir, 'native-host', 'firefox.json')))
        self.assertEqual(keys(w)[CHROME_KEY[5:]][0], 'C:\\Other\\m.json')

    def test_a_vanished_installation_is_taken_over(self):
        w = self.world_with_exe()
        self.other_installation(w, exe_exists=False)
        self.register(w)
        self.assertEqual(keys(w)[CHROME_KEY[5:]][0], w.data + '\\native-host\\chromium.json')

    def test_inside_windows_pe_this_installation_registers_itself(self):
        w = self.world_with_exe()
        w.reg_add(MINI_NT)
        self.other_installation(w, exe_exists=True)
        self.register(w)
        self.assertEqual(keys(w)[CHROME_KEY[5:]][0], w.data + '\\native-host\\chromium.json')


class Identity(unittest.TestCase):
    def test_code_ids_match_the_public_keys(self):
        with open(os.path.join(SOURCE, 'bridge', 'HostIdentity.h')) as f:
            header = f.read()
        in_code = re.findall(r'"([a-p]{32})"', header)
        key_dir = os.path.join(SOURCE, 'extension', 'keys')
        from_keys = [extension_ids.extension_id(extension_ids.der_of(os.path.join(key_dir, n)))
                     for n in sorted(os.listdir(key_dir))]
        self.assertEqual(in_code, from_keys)
        for name in os.listdir(key_dir):
            with open(os.path.join(key_dir, name)) as f:
                self.assertNotIn('PRIVATE', f.read())

    def test_the_extension_carries_the_programs_names(self):
        with open(os.path.join(SOURCE, 'bridge', 'HostIdentity.h')) as f:
            header = f.read()
        host = re.search(r'kHostName\[\] = "([^"]+)"', header).group(1)
        chromium_ids = re.findall(r'"([a-p]{32})"', header)
        firefox_id = re.search(r'kFirefoxAddonId\[\] = L"([^"]+)"', header).group(1)
        ext = os.path.join(SOURCE, 'extension')
        with open(os.path.join(ext, 'chromium', 'manifest.json')) as f:
            key = json.load(f)['key']
        self.assertIn(extension_ids.extension_id(base64.b64decode(key)), chromium_ids)
        with open(os.path.join(ext, 'firefox', 'manifest.json')) as f:
            self.assertEqual(json.load(f)['browser_specific_settings']['gecko']['id'], firefox_id)
        with open(os.path.join(ext, 'src', 'lib.js')) as f:
            self.assertEqual(re.findall(r"HOST_NAME = '([^']+)'", f.read()), [host])


if __name__ == '__main__':
    unittest.main()
