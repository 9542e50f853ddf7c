"""How long the main window keeps a message waiting, timed from another
process: a WM_NULL every 10 ms (window_answer.exe), each round trip timed,
to the program's window with 100,000 finished rows, idle and while 8 small
downloads start and finish among them (handed over by a second start, as a
browser does), beside the same round trips to a bare window (the platform's
own loop under Wine), measured in the same run. The slowest round trip is
the window's longest pause; p99 is what one message in a hundred waits at
least.

    python3 bench/answer.py [runs]
"""
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, 'tests'))
import wineworld as ww  # noqa: E402
import httpserver  # noqa: E402
from idle import finished_list, seconds_to_window  # noqa: E402

ROWS = 100000
SMALL = 8
IDLE_SECONDS = 5
BUSY_SECONDS = 10


def answer(w, window_class, seconds, meanwhile=None):
    """window_answer's figures for `seconds`; `meanwhile` runs 1 s in."""
    timer = subprocess.Popen(['wine', 'C:\\window_answer.exe', window_class, str(seconds)], env=w.env,
                             stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if meanwhile:
        time.sleep(1)
        meanwhile()
    out, _ = timer.communicate(timeout=seconds + 120)
    return out.decode().strip()


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    server = httpserver.start()
    origin = 'http://127.0.0.1:%d' % server.server_address[1]
    display = ww.Display()
    try:
        with ww.World(display.name) as w:
            w.ensure_server()
            w.install(os.path.join(ww.BUILD, 'bench', 'window_answer.exe'))
            bare_exe = w.install(os.path.join(ww.BUILD, 'bench', 'bare_window.exe'))
            app = w.install_program()
            downloads = os.path.join(w.drive_c, 'dl')
            with open(os.path.join(app, 'settings.cfg'), 'w', newline='') as f:
                f.write('Folder=C:\\dl\r\nMaxDownloads=%d\r\nClipboard=0\r\n' % SMALL)
            rows = finished_list(ROWS)
            print('== the slowest answer to a WM_NULL sent every 10 ms from another process (and p99, p50)')
            for run in range(1, runs + 1):
                bare = subprocess.Popen(['wine', bare_exe], env=w.env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                print('run %d  bare window, %2d s                  : %s' % (run, BUSY_SECONDS,
                                                                        answer(w, 'BareWindow', BUSY_SECONDS)))
                bare.kill()
                bare.wait()
                with open(os.path.join(app, 'downloads.lst'), 'w', newline='') as f:
                    f.write(rows)
                if os.path.isdir(downloads):
                    for name in os.listdir(downloads):
                        os.remove(os.path.join(downloads, name))
                gui = subprocess.Popen(['wine', 'C:\\Tidewell\\tidewell.exe'], env=w.env, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                seconds_to_window(display.name, time.monotonic())
                time.sleep(3)  # the start-up's own save
                print('run %d  program, %d rows, idle        : %s' % (run, ROWS,
                                                                    answer(w, 'TidewellPE.Main', IDLE_SECONDS)))
                links = ['%s/file/small%d-%d.bin?size=200000&rate=100000' % (origin, run, i) for i in range(SMALL)]
                figures = answer(w, 'TidewellPE.Main', BUSY_SECONDS,
                                 lambda: w.run(['C:\\Tidewell\\tidewell.exe'] + links, timeout=60))
                finished = len(os.listdir(downloads)) if os.path.isdir(downloads) else 0
                print('run %d  program, %d rows, %d downloads : %s finished=%d' % (run, ROWS, SMALL, figures, finished))
                w.probe('close')
                gui.wait(timeout=60)
    finally:
        display.close()
        server.shutdown()


if __name__ == '__main__':
    sys.exit(main())
