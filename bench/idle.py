"""What the program costs while it does nothing: its CPU time over 20 s and
its resident memory with 0, 1,000 and 100,000 finished rows, beside a bare
window with a 300 ms timer that repaints itself (the platform's floor under
Wine), measured in the same run; and the time from its start to its window
on the screen with the list loaded (the window is shown after the load)."""
import os
import re
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, 'tests'))
import wineworld as ww  # noqa: E402

SECONDS = 20


def linux_pid(exe_name, prefix):
    """The Linux process that runs a Windows program of this name in this Wine prefix: another
    prefix on the machine (a test run beside) may run a program of the same name."""
    wanted = ('WINEPREFIX=%s' % prefix).encode()
    for _ in range(300):
        for pid in subprocess.run(['pgrep', '-f', exe_name], capture_output=True, text=True).stdout.split():
            try:
                with open('/proc/%s/environ' % pid, 'rb') as f:
                    if wanted in f.read().split(b'\0'):
                        return int(pid)
            except OSError:
                pass  # ended meanwhile
        time.sleep(0.05)
    raise RuntimeError('%s did not start' % exe_name)


def cpu_seconds(pid):
    with open('/proc/%d/stat' % pid) as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf('SC_CLK_TCK')


def resident_mib(pid):
    with open('/proc/%d/status' % pid) as f:
        return next(int(l.split()[1]) for l in f if l.startswith('VmRSS:')) / 1024


def idle_share(pid):
    """The share of a core the process used over SECONDS, after 3 s to settle."""
    time.sleep(3)
    before = cpu_seconds(pid)
    time.sleep(SECONDS)
    return (cpu_seconds(pid) - before) / SECONDS * 100


def finished_list(rows):
    text = 'ZEBLIST 1\r\n'
    for i in range(rows):
        text += ('[item]\r\nurl=https://mirror.example/files/row%06d.bin\r\nfolder=C:\\dl\r\nfile=row%06d.bin\r\nfixed=1\r\n'
                 'total=1048576\r\ndone=1048576\r\nstate=completed\r\nerror=\r\nsha256=%064x\r\n' % (i, i, i * 7919))
    return text


def seconds_to_window(display, started):
    """From `started` until X shows the main window mapped, polled every 10 ms."""
    while time.monotonic() - started < 120:
        tree = subprocess.run(['xwininfo', '-display', display, '-root', '-tree'], capture_output=True, text=True).stdout
        found = re.search(r'(0x[0-9a-f]+) "Tidewell PE', tree)
        if found and 'IsViewable' in subprocess.run(['xwininfo', '-display', display, '-id', found.group(1)],
                                                    capture_output=True, text=True).stdout:
            return time.monotonic() - started
        time.sleep(0.01)
    raise RuntimeError('no window')


def main():
    display = ww.Display()
    try:
        with ww.World(display.name) as w:
            w.ensure_server()
            bare = subprocess.Popen(['wine', w.install(os.path.join(ww.BUILD, 'bench', 'bare_window.exe'))], env=w.env,
                                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            print('== idle: the share of a core over %d s, and resident memory' % SECONDS)
            pid = linux_pid('bare_window.exe', w.prefix)
            print('bare window          : %5.2f %%  %6.1f MiB' % (idle_share(pid), resident_mib(pid)))
            bare.kill()
            app = w.install_program()
            for rows in (0, 1000, 100000):
                with open(os.path.join(app, 'downloads.lst'), 'w', newline='') as f:
                    f.write(finished_list(rows))
                started = time.monotonic()
                gui = subprocess.Popen(['wine', 'C:\\Tidewell\\tidewell.exe'], env=w.env, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                shown = seconds_to_window(display.name, started)
                pid = linux_pid('tidewell.exe', w.prefix)
                share = idle_share(pid)
                print('program, %6d rows : %5.2f %%  %6.1f MiB   start to window %.2f s' %
                      (rows, share, resident_mib(pid), shown))
                w.probe('close')
                gui.wait(timeout=60)
    finally:
        display.close()


if __name__ == '__main__':
    sys.exit(main())
