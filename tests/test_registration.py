"""Host registration in a Wine world of its own: both manifests and the
eight HKCU keys, nothing rewritten at a second start, and the rules for
another installation's registration. Also keeps the extension ids in the
code in step with the committed public keys."""
import base64
import json
import os
import re
import shutil
import sys
import unittest

import wineworld as ww

SOURCE = os.environ.get('TW_SOURCE') or os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, 'tools'))
import extension_ids  # noqa: E402

CHROME_KEY = r'HKCU\Software\Google\Chrome\NativeMessagingHosts\pe.tidewell.host'


def read(*path):
    with open(os.path.join(SOURCE, *path), encoding='utf-8') as f:
        return f.read()


HEADER = read('bridge', 'HostIdentity.h')  # the names and ids the program carries
HOST = re.search(r'kHostName\[\] = "([^"]+)"', HEADER).group(1)
CHROMIUM_IDS = re.findall(r'"([a-p]{32})"', HEADER)
FIREFOX_ID = re.search(r'kFirefoxAddonId\[\] = L"([^"]+)"', HEADER).group(1)


class Registration(unittest.TestCase):
    def test_registration_at_each_start(self):
        with ww.World() as w:
            exe_dir, linux_dir = 'C:\\Tools\\Tải', os.path.join(w.drive_c, 'Tools', 'Tải')
            os.makedirs(linux_dir)
            shutil.copy(ww.PROBE, linux_dir)
            host_dir = os.path.join(linux_dir, 'native-host')

            def register():
                self.assertEqual(w.run([exe_dir + '\\tw_probe.exe', 'register', exe_dir]).stdout.decode().strip(), 'done')
                rows = [line.split('|') + ['', ''] for line in w.probe('regkeys').splitlines()]
                keys = {row[0]: (row[1], row[2]) for row in rows}  # key -> (default value, last-write time)
                return keys, {n: os.stat(os.path.join(host_dir, n)).st_mtime_ns for n in os.listdir(host_dir)}

            # The first start writes both manifests, naming this executable, and eight keys.
            keys, files = register()
            self.assertEqual(sorted(files), ['chromium.json', 'firefox.json'])
            callers = {'allowed_origins': ['chrome-extension://%s/' % i for i in CHROMIUM_IDS], 'allowed_extensions': [FIREFOX_ID]}
            for name, allowed in (('chromium.json', 'allowed_origins'), ('firefox.json', 'allowed_extensions')):
                with open(os.path.join(host_dir, name), encoding='utf-8') as f:
                    manifest = json.load(f)  # the path, and the key each browser reads its callers from
                self.assertEqual((manifest['name'], manifest['type'], manifest['path'], manifest.get(allowed)),
                                 (HOST, 'stdio', exe_dir + '\\tw_probe.exe', callers[allowed]), name)
            self.assertEqual(len(keys), 8)
            for key, (value, _) in keys.items():
                self.assertEqual(value, exe_dir + '\\native-host\\' + ('firefox.json' if 'Mozilla' in key else 'chromium.json'))
            # A second start writes nothing: same values, same last-write times, same files.
            self.assertEqual(register(), (keys, files))
            # Another installation that still exists is left alone; one that vanished is taken over.
            other = os.path.join(w.drive_c, 'Other')
            os.makedirs(other)
            with open(os.path.join(other, 'm.json'), 'w') as f:
                f.write('{"name":"pe.tidewell.host","path":"C:\\\\Other\\\\other.exe","type":"stdio"}\n')
            w.run(['reg', 'add', CHROME_KEY, '/ve', '/d', 'C:\\Other\\m.json', '/f'], check=True)
            shutil.copy(ww.PROBE, os.path.join(other, 'other.exe'))
            self.assertEqual(register()[0][CHROME_KEY[5:]][0], 'C:\\Other\\m.json')
            os.remove(os.path.join(other, 'other.exe'))
            self.assertEqual(register()[0][CHROME_KEY[5:]][0], exe_dir + '\\native-host\\chromium.json')
            # Inside Windows PE this installation registers itself, whoever else is there.
            w.run(['reg', 'add', CHROME_KEY, '/ve', '/d', 'C:\\Other\\m.json', '/f'], check=True)
            shutil.copy(ww.PROBE, os.path.join(other, 'other.exe'))
            w.reg_add(r'HKLM\System\CurrentControlSet\Control\MiniNT')
            self.assertEqual(register()[0][CHROME_KEY[5:]][0], exe_dir + '\\native-host\\chromium.json')

    def test_the_extension_and_the_code_carry_the_same_names_and_ids(self):
        key_dir = os.path.join(SOURCE, 'extension', 'keys')
        self.assertEqual(CHROMIUM_IDS, [extension_ids.extension_id(extension_ids.der_of(os.path.join(key_dir, n)))
                                        for n in sorted(os.listdir(key_dir))])
        for name in os.listdir(key_dir):
            self.assertNotIn('PRIVATE', read('extension', 'keys', name))
        key = json.loads(read('extension', 'chromium', 'manifest.json'))['key']
        self.assertIn(extension_ids.extension_id(base64.b64decode(key)), CHROMIUM_IDS)
        self.assertEqual(json.loads(read('extension', 'firefox', 'manifest.json'))['browser_specific_settings']['gecko']['id'], FIREFOX_ID)
        self.assertEqual(re.findall(r"HOST_NAME = '([^']+)'", read('extension', 'src', 'lib.js')), [HOST])


if __name__ == '__main__':
    unittest.main()
