"""One real browser driven through drive.mjs, one JSON command a line."""
import json
import os
import subprocess

DRIVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'drive.mjs')


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
