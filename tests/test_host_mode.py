"""The real executable as a native-messaging host: framed messages piped in
as a browser does, the exact reply bytes and exit codes checked."""
import os
import struct
import subprocess
import threading
import time
import unittest

import wineworld as ww

CHROME = 'chrome-extension://knldjmfmopnpolahpmmgbagdohdnhkik/'
FIREFOX = ['Z:\\tmp\\firefox.json', 'companion@tidewell-pe.invalid']


def frame(body):
    return struct.pack('<I', len(body)) + body


OK = frame(b'{"ok":true,"version":"1.0.0","edition":"pe"}')
PING = frame(b'{"type":"ping"}')


def refusal(error):
    return frame(b'{"ok":false,"version":"1.0.0","edition":"pe","error":"%s"}' % error)


def host(data, args=(CHROME,), slow=False, timeout=120):
    """(exit code, stdout bytes) of one host run fed `data` (a byte at a time when slow)."""
    proc = subprocess.Popen([os.path.join(ww.BUILD, 'wine-run'), ww.EXE] + list(args), stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def feed():
        try:
            for chunk in [data[i:i + 1] for i in range(len(data))] if slow else [data]:
                proc.stdin.write(chunk)
                proc.stdin.flush()
                time.sleep(0.002 if slow else 0)
            proc.stdin.close()
        except BrokenPipeError:
            pass

    feeder = threading.Thread(target=feed)
    feeder.start()
    out = proc.stdout.read()
    code = proc.wait(timeout=timeout)
    feeder.join()
    proc.stdout.close()
    return code, out


class HostMode(unittest.TestCase):
    def test_messages_framing_and_replies(self):
        largest = b'{"type":"ping"}'
        cases = [
            # Both browsers' ways of starting a host, in any letter case.
            ('chromium, upper case', PING, ['CHROME-EXTENSION://abc/'], False, (0, OK)),
            ('firefox, upper case', PING, [FIREFOX[0], FIREFOX[1].upper()], False, (0, OK)),
            ('one byte at a time', PING, [CHROME], True, (0, OK)),
            ('the largest message', frame(largest + b' ' * (67108864 - len(largest))), [CHROME], False, (0, OK)),
            # Framing errors end without a reply.
            ('length 0', struct.pack('<I', 0), [CHROME], False, (1, b'')),
            ('short body', struct.pack('<I', 100) + b'{"type"', [CHROME], False, (1, b'')),
            ('over 64 MiB', struct.pack('<I', 67108865), [CHROME], False, (1, b'')),
            ('nothing', b'', [CHROME], False, (1, b'')),
            # Messages the host cannot take are answered.
            ('two values', frame(b'{"type":"ping"} {}'), [CHROME], False, (1, refusal(b'invalid message'))),
            ('unknown type', frame(b'{"type":"hello"}'), [CHROME], False, (0, refusal(b'unknown message type'))),
            ('no links', frame(b'{"type":"download","items":[{"title":"x"},{"url":""}]}'), [CHROME], False,
             (0, refusal(b'no links'))),
        ]
        for name, data, args, slow, expected in cases:
            with self.subTest(name):
                self.assertEqual(host(data, args, slow), expected)

    def test_millions_of_tiny_values_end_with_an_exit_code(self):
        # However much memory they take, the host must not crash or hang: it
        # ends 0 with its answer, or 1 without one when it could not hold them.
        code, out = host(frame(b'{"type":"unknown","x":[' + b'[],' * 6000000 + b'[]]}'), timeout=300)
        self.assertIn((code, out), [(0, refusal(b'unknown message type')), (1, b'')])


if __name__ == '__main__':
    unittest.main()
