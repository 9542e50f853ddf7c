"""The browser tests' world: one real browser driven through drive.mjs (one
JSON command a line), the packed extension, and the program in a Wine world
registered as the browser's native-messaging host."""
import json
import os
import secrets
import shlex
import shutil
import subprocess
import sys
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..'))
sys.path.insert(0, os.path.join(HERE, '..', 'server'))
import httpserver  # noqa: E402
import wineworld as ww  # noqa: E402

DRIVER = os.path.join(HERE, 'drive.mjs')
SOURCE = os.path.abspath(os.path.join(HERE, '..', '..'))
HOST_NAME = 'pe.tidewell.host'
CHROMIUM_ID = 'iehkfcihndppaianhlblmkajlafjmohp'
FIREFOX_ID = 'companion@tidewell-pe.invalid'


def wait_for(predicate, timeout=60):
    return ww.wait_for(predicate, timeout)


class Driver:
    """One browser, driven through drive.mjs one command at a time."""

    def __init__(self, log_path):
        self.log_path = log_path
        self.log = open(log_path, 'wb')
        self.proc = subprocess.Popen(['node', DRIVER], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=self.log, cwd=os.path.dirname(DRIVER))

    def __call__(self, cmd, **args):
        self.proc.stdin.write((json.dumps({'cmd': cmd, **args}) + '\n').encode())
        self.proc.stdin.flush()
        line = self.proc.stdout.readline()
        if not line:
            raise RuntimeError('driver ended at %s: %s' % (cmd, self.tail()))
        reply = json.loads(line)
        if not reply['ok']:
            raise RuntimeError('%s failed: %s' % (cmd, reply['error']))
        return reply['value']

    def tail(self):
        self.log.flush()
        with open(self.log_path, 'rb') as f:
            return f.read()[-3000:].decode(errors='replace')

    def close(self):
        if self.proc.poll() is None:
            try:
                self('close')
            except (RuntimeError, OSError, ValueError):
                pass
            try:
                self.proc.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc.stdin.close()
        self.proc.stdout.close()
        self.log.close()


class Road(httpserver.ServerTestCase):
    """A browser with the packed extension, a Wine world with the program
    for its host, and the loopback server: the world the browser cases run in."""
    BROWSER = None

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.screen = ww.Display()  # the browser's and the program's windows stay off the shared display
        # The extension as it ships, packed by its own script.
        cls.packed = ww.scratch_dir('extension-')
        subprocess.run([os.path.join(SOURCE, 'tools', 'pack-extension.sh'), cls.packed], check=True,
                       stdout=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.packed, True)
        cls.screen.close()
        super().tearDownClass()

    def setUp(self):
        self.scratch = ww.scratch_dir('browser-')
        self.addCleanup(shutil.rmtree, self.scratch, True)
        self.home = self.dir('home')
        self.profile = self.dir('profile')
        self.browser_downloads = self.dir('downloads')
        self.uid = secrets.token_hex(4)

    def dir(self, name):
        path = os.path.join(self.scratch, name)
        os.makedirs(path)
        return path

    # -- the world the host runs in ---------------------------------------------
    def make_world(self):
        self.w = ww.World(self.screen.name)
        self.addCleanup(self.w.close)
        self.app_dir = self.w.install_program()
        self.gui_downloads = self.w.user_downloads
        self.w.ensure_server()

    def register_host(self):
        """The host manifest where this browser looks on Linux, naming a
        wrapper that runs the real executable in the world."""
        wrapper = os.path.join(self.scratch, 'tidewell-host.sh')
        env = ''.join('export %s=%s\n' % (k, shlex.quote(self.w.env[k]))
                      for k in ('WINEPREFIX', 'WINEDEBUG', 'WINEDLLOVERRIDES', 'DISPLAY') if k in self.w.env)
        with open(wrapper, 'w') as f:
            f.write('#!/bin/sh\n%sexec wine "C:\\\\Tidewell\\\\tidewell.exe" "$@"\n' % env)
        os.chmod(wrapper, 0o755)
        manifest = {'name': HOST_NAME, 'description': 'Tidewell PE', 'path': wrapper, 'type': 'stdio'}
        if self.BROWSER == 'chromium':
            manifest['allowed_origins'] = ['chrome-extension://%s/' % CHROMIUM_ID]
            folder = os.path.join(self.profile, 'NativeMessagingHosts')
        else:
            manifest['allowed_extensions'] = [FIREFOX_ID]
            folder = os.path.join(self.home, '.mozilla', 'native-messaging-hosts')
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, HOST_NAME + '.json'), 'w') as f:
            json.dump(manifest, f)

    def gui_running(self):
        return self.w.probe('haswindow') == 'yes'

    def close_gui(self):
        self.assertEqual(self.w.probe('close'), 'posted')
        self.assertTrue(wait_for(lambda: not self.gui_running(), 30), 'the GUI did not close')
        with open(os.path.join(self.app_dir, 'downloads.lst'), 'rb') as f:
            return f.read().decode()

    # -- the browser --------------------------------------------------------------
    def launch(self):
        self.b = Driver(os.path.join(self.scratch, 'driver.log'))
        self.addCleanup(self.b.close)
        if self.BROWSER == 'chromium':
            extension = os.path.join(self.packed, 'chromium')
        else:
            extension = os.path.join(self.packed, 'tidewell-pe-firefox.xpi')
        started = self.b('launch', browser=self.BROWSER, extension=extension, profile=self.profile, home=self.home,
                         downloads=self.browser_downloads, display=self.screen.name)
        return started['userAgent']

    def page(self, links, cookie=None):
        query = [('token', 'page' + self.uid)]
        if cookie:
            query.append(('cookie', cookie))
        query += [('a', link) for link in links]
        url = '%s/page?%s' % (self.base, urllib.parse.urlencode(query))
        self.b('open', url=url)
        return url

    def file_link(self, name, size, seed, **extra):
        query = [('size', size), ('seed', seed), ('token', name + self.uid)] + list(extra.items())
        return '%s/file/%s?%s' % (self.base, name, urllib.parse.urlencode(query))

    def requests(self, name):
        return [r for r in httpserver._logs.get(name + self.uid, []) if r['path'].startswith('/file/')]

    def page_user_agent(self):
        return httpserver._logs['page' + self.uid][0]['headers']['User-Agent']

    def downloads_of(self, name):
        return [d for d in self.b('downloads') if urllib.parse.urlsplit(d.get('url', '')).path == '/file/' + name]
