"""A host that allows 2 connections per client (nginx limit_conn, refusing
the rest with 429, 503 or 403), a 12 MiB file at 1 MB/s per connection (nginx sends the first second's worth at once): the
engine set to 8 connections beside the engine set to 2 by hand, in one run.
Prints the refused requests (from nginx's log) and the times."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import BUILD, DRIVER, WINE_RUN, nginx_serving, served_file, to_windows  # noqa: E402

SIZE = 12 * 1048576


def run(url, out, connections):
    os.makedirs(out)
    text = subprocess.run([WINE_RUN, DRIVER, url, to_windows(out), '--connections', str(connections)],
                          capture_output=True, stdin=subprocess.DEVNULL).stdout.decode('utf-8', 'replace')
    shutil.rmtree(out)
    final = int(re.search(r'timing last_byte_ms=\d+ final_ms=(\d+)', text).group(1)) / 1000
    return final, re.search(r'end job=0 \S+ state=4', text) is not None


def main():
    work = tempfile.mkdtemp(prefix='tw-etiquette-', dir=BUILD)
    try:
        www = served_file(work, 'f.bin', SIZE)
        log = os.path.join(work, 'access.log')
        print('== 12 MiB from a host that allows 2 connections (1 MB/s each)')
        print('refusal   refused (8 set)   8 set s   2 set by hand s   ratio')
        for status in (429, 503, 403):
            locations = ('location / { limit_conn perip 2; limit_conn_status %d; limit_rate 1m; '
                         'access_log %s; }' % (status, log))
            with nginx_serving(work, www, locations, 'limit_conn_zone $binary_remote_addr zone=perip:1m;') as port:
                url = 'http://127.0.0.1:%d/f.bin' % port
                eight, ok8 = run(url, os.path.join(work, 'out'), 8)
                with open(log) as f:
                    refused = sum(1 for line in f if ' %d ' % status in line)
                two, ok2 = run(url, os.path.join(work, 'out'), 2)
            os.remove(log)
            print('%7d   %15d   %7.2f   %15.2f   %4.2fx%s' % (status, refused, eight, two, two / eight,
                                                            '' if ok8 and ok2 else '  NOT COMPLETED'))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
