"""Wine worlds for tests that change what a program sees: a copied prefix
with its own wineserver, drive letters and their types, registry keys,
read-only folders and full disks. Nothing here touches the build's shared
prefix, so such tests may run beside the others.

    with World() as w:
        w.map_drive('d', some_dir, 'hd')
        w.reg_add(r'HKLM\\System\\CurrentControlSet\\Control\\MiniNT')
        print(w.run(['C:\\\\tw_probe.exe', 'ispe']).stdout)
"""
import contextlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

# The test server, the job driver and the browser world, for the scripts that import this first.
sys.path[:0] = [os.path.join(os.path.dirname(os.path.abspath(__file__)), d) for d in ('server', 'driver', 'browser')]
BUILD = os.environ.get('TW_BUILD') or os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'build')
BUILD = os.path.abspath(BUILD)
PRISTINE = os.path.join(BUILD, 'wineprefix.pristine')
SCRATCH = os.path.join(BUILD, 'scratch')
PROBE = os.path.join(BUILD, 'tests', 'tw_probe.exe')
EXE = os.path.join(BUILD, 'tidewell.exe')

_BASE_ENV = {
    'WINEDEBUG': '-all',
    'WINEDLLOVERRIDES': 'mscoree,mshtml=',
}


def wait_for(predicate, timeout=30):
    """Polls until predicate() is true; False when the time ran out first."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        if predicate():
            return True
        time.sleep(0.2)
    return False


def scratch_dir(prefix):
    """A fresh folder on the build's disk, for the caller to remove."""
    os.makedirs(SCRATCH, exist_ok=True)
    return tempfile.mkdtemp(prefix=prefix, dir=SCRATCH)


def to_windows(path):
    """The Z: path Wine gives a Linux path in an untouched prefix."""
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def run_shared(args, timeout=60, env=None):
    """Runs a Windows program in the build's shared prefix."""
    full = [os.path.join(BUILD, 'wine-run')] + list(args)
    return subprocess.run(full, capture_output=True, timeout=timeout, env={**os.environ, **(env or {})},
                          stdin=subprocess.DEVNULL)


def _reg_escape(text):
    return text.replace('\\', '\\\\').replace('"', '\\"')


class Display:
    """An Xvfb display of its own on a free number, for tests whose windows
    must not take the focus or the pointer from the window tests on the
    shared display."""

    def __init__(self):
        for n in range(141, 200):
            if os.path.exists('/tmp/.X11-unix/X%d' % n) or os.path.exists('/tmp/.X%d-lock' % n):
                continue
            self.proc = subprocess.Popen(['Xvfb', ':%d' % n, '-screen', '0', '1600x1000x24', '-nolisten', 'tcp'],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if wait_for(lambda: os.path.exists('/tmp/.X11-unix/X%d' % n) or self.proc.poll() is not None, 10) and \
                    self.proc.poll() is None:
                self.name = ':%d' % n
                return
        raise RuntimeError('no free display for Xvfb')

    def close(self):
        self.proc.terminate()
        self.proc.wait(timeout=30)


class World:
    """A copy of the pristine prefix, served by a wineserver of its own.
    Drives and registry keys set before the first run are written straight
    into the prefix, so Wine's mount manager sees them from the start."""

    def __init__(self, display=None):
        """`display`: an X display name of the world's own (else the build's)."""
        self.root = scratch_dir('world-')
        self.prefix = os.path.join(self.root, 'prefix')
        # Hard links make the copy cheap (the prefix is ~700 MB); the registry
        # files are real copies because tests append keys to them.
        subprocess.run(['cp', '-al', PRISTINE, self.prefix], check=True)
        for name in os.listdir(self.prefix):
            if name.endswith('.reg'):
                path = os.path.join(self.prefix, name)
                os.remove(path)
                shutil.copy2(os.path.join(PRISTINE, name), path)
        self.env = {**os.environ, **_BASE_ENV, 'WINEPREFIX': self.prefix}
        shared = os.path.join(BUILD, 'xvfb', 'display')
        if display:
            self.env['DISPLAY'] = display
        elif not self.env.get('DISPLAY') and os.path.exists(shared):
            with open(shared) as f:
                self.env['DISPLAY'] = f.read().strip()
        self.env.pop('TW_WINEPREFIX', None)
        self._server = None

    # -- preparing the world -------------------------------------------------
    @property
    def drive_c(self):
        return os.path.join(self.prefix, 'drive_c')

    def map_drive(self, letter, linux_path, kind=None):
        """Makes `letter:` show `linux_path`; kind is Wine's drive type:
        'hd', 'floppy' (removable), 'cdrom' or 'network'."""
        link = os.path.join(self.prefix, 'dosdevices', letter.lower() + ':')
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(os.path.abspath(linux_path), link)
        if kind:
            self.reg_add(r'HKLM\Software\Wine\Drives', letter.lower() + ':', kind)

    def unmap_drive(self, letter):
        link = os.path.join(self.prefix, 'dosdevices', letter.lower() + ':')
        if os.path.lexists(link):
            os.remove(link)

    def reg_add(self, key, name=None, data=None, kind='REG_SZ'):
        """Adds a key (and optionally a string or DWORD value)."""
        if self._server:
            cmd = ['reg', 'add', key, '/f']
            if name is not None:
                cmd += ['/v', name, '/t', kind, '/d', str(data)]
            self.run(cmd, check=True)
            return
        hive, _, sub = key.partition('\\')
        file = {'HKLM': 'system.reg', 'HKEY_LOCAL_MACHINE': 'system.reg',
                'HKCU': 'user.reg', 'HKEY_CURRENT_USER': 'user.reg'}[hive.upper()]
        lines = ['', '[%s] %d' % (_reg_escape(sub), int(time.time()))]
        if name is not None:
            if kind == 'REG_DWORD':
                lines.append('"%s"=dword:%08x' % (_reg_escape(name), int(data)))
            else:
                lines.append('"%s"="%s"' % (_reg_escape(name), _reg_escape(str(data))))
        with open(os.path.join(self.prefix, file), 'a', encoding='utf-8') as f:
            f.write('\n'.join(lines) + '\n')

    # -- running programs --------------------------------------------------
    def ensure_server(self):
        """Starts the world's server and services (the first run does it too)."""
        self._start_server()

    def _start_server(self):
        if self._server:
            return
        # -f keeps the server in the foreground so its process is ours to end.
        self._server = subprocess.Popen(['wineserver', '-f', '-p'], env=self.env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Start the prefix's services with no pipes attached (see wine-session.sh).
        subprocess.run(['wine', 'cmd.exe', '/c', 'exit'], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)

    def run(self, args, timeout=60, env=None, check=False):
        self._start_server()
        full = ['wine'] + list(args)
        result = subprocess.run(full, capture_output=True, timeout=timeout, env={**self.env, **(env or {})},
                                stdin=subprocess.DEVNULL)
        if check and result.returncode != 0:
            raise RuntimeError('%s failed (%d): %s' % (args, result.returncode, result.stderr.decode(errors='replace')))
        return result

    def install(self, linux_file, name=None):
        """Copies a program into C:\\ and returns its Windows path."""
        name = name or os.path.basename(linux_file)
        shutil.copy(linux_file, os.path.join(self.drive_c, name))
        return 'C:\\' + name

    def install_program(self):
        """The program in C:\\Tidewell (its list and settings go beside it)
        and the probe in C:\\; returns the program's Linux folder."""
        folder = os.path.join(self.drive_c, 'Tidewell')
        os.makedirs(folder)
        shutil.copy(EXE, folder)
        self.install(PROBE)
        return folder

    @property
    def user_downloads(self):
        """The default download folder, a real folder of the prefix."""
        return os.path.join(self.drive_c, 'users', os.environ.get('USER', 'root'), 'Downloads')

    def probe(self, *args, timeout=60):
        exe = self.install(PROBE) if not os.path.exists(os.path.join(self.drive_c, 'tw_probe.exe')) else 'C:\\tw_probe.exe'
        # Every command prints an answer: none means the probe itself did not
        # run (seen once on a loaded machine), so it is started again.
        for _ in range(3):
            out = self.run([exe] + list(args), timeout=timeout).stdout.decode('utf-8').strip()
            if out:
                return out
        return out

    def end_programs(self):
        """Ends every program of the world (its server too) and starts the server again."""
        self._stop_server()
        self._start_server()

    def _stop_server(self):
        if self._server:
            subprocess.run(['wineserver', '-k'], env=self.env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                self._server.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self._server.kill()
            self._server = None

    def close(self):
        self._stop_server()
        shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


# -- places with properties Linux enforces even for root ----------------------
def _umount(path):
    for _ in range(20):
        if subprocess.run(['umount', path], stderr=subprocess.DEVNULL).returncode == 0:
            return
        time.sleep(0.2)  # a Wine process may still hold a file there
    subprocess.run(['umount', '-l', path], stderr=subprocess.DEVNULL)


@contextlib.contextmanager
def tmpfs(size, readonly=False):
    """A small tmpfs of `size` (e.g. '8m'): a disk of known free space."""
    path = scratch_dir('tmpfs-')
    subprocess.run(['mount', '-t', 'tmpfs', '-o', 'size=' + size, 'tmpfs', path], check=True)
    try:
        if readonly:
            subprocess.run(['mount', '-o', 'remount,ro', path], check=True)
        yield path
    finally:
        _umount(path)
        os.rmdir(path)


@contextlib.contextmanager
def readonly_view(source):
    """`source` seen through a read-only bind mount (root cannot write there)."""
    path = scratch_dir('ro-')
    subprocess.run(['mount', '--bind', source, path], check=True)
    subprocess.run(['mount', '-o', 'remount,bind,ro', path], check=True)
    try:
        yield path
    finally:
        _umount(path)
        os.rmdir(path)


def fill(folder):
    """Fills the file system of `folder` to the last byte."""
    fd = os.open(os.path.join(folder, 'filler'), os.O_WRONLY | os.O_CREAT | os.O_TRUNC)
    try:
        for size in (1 << 20, 65536, 4096, 1):
            block = b'\0' * size
            try:
                while True:
                    os.write(fd, block)
            except OSError:
                pass
    finally:
        os.close(fd)


def shared_c_path(windows_path):
    """The Linux path of a C: path in the build's shared prefix."""
    assert windows_path[:3].upper() == 'C:\\'
    return os.path.join(BUILD, 'wineprefix', 'drive_c', *windows_path[3:].split('\\'))


def free_bytes(folder):
    st = os.statvfs(folder)
    return st.f_bavail * st.f_frsize
