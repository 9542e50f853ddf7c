"""One queue tick with 1000 rows and the list writes of a steady phase,
against the loopback test server; then 3,000 links copied to the
clipboard of a real main window."""
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, 'tests', 'server'))
import httpserver  # noqa: E402

BUILD = os.path.join(ROOT, 'build')


def main():
    server = httpserver.start()
    origin = 'http://127.0.0.1:%d' % server.server_address[1]
    work = tempfile.mkdtemp(prefix='tw-queue-', dir=BUILD)
    try:
        data, downloads = os.path.join(work, 'data'), os.path.join(work, 'dl')
        os.makedirs(data)
        os.makedirs(downloads)
        win = lambda p: 'Z:' + p.replace('/', '\\')  # noqa: E731
        out = subprocess.run([os.path.join(BUILD, 'wine-run'), os.path.join(BUILD, 'bench', 'queue_tick.exe'), origin,
                              win(data), win(downloads)], capture_output=True, timeout=300).stdout.decode()
        print('== queue tick, 1000 rows (3 running, 997 paused); then a 100,000-link hand-over')
        print(out.strip())
        fresh = os.path.join(work, 'links')
        os.makedirs(fresh)
        out = subprocess.run([os.path.join(BUILD, 'wine-run'), os.path.join(BUILD, 'bench', 'many_links.exe'), win(fresh)],
                             capture_output=True, timeout=300).stdout.decode()
        print('== 3,000 links copied to the clipboard of a real main window: the question, then Add all')
        print(out.strip())
    finally:
        server.shutdown()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
