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
FIREFOX_ID = 'companion@tidewell-pe.invalid'
OK = b'{"ok":true,"version":"1.0.0","edition":"pe"}'


def frame(body):
    return struct.pack('<I', len(body)) + body


def reply(error):
    text = b'{"ok":false,"version":"1.0.0","edition":"pe","error":"%s"}' % error
    return struct.pack('<I', len(text)) + text


def host(data, args=(CHROME,), slow=False, timeout=120):
    """(exit code, stdout bytes) of one host run fed `data`."""
    proc = subprocess.Popen([os.path.join(ww.BUILD, 'wine-run'), ww.EXE] + list(args), stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def feed():
        try:
            if slow:
                for b in data:
                    proc.stdin.write(bytes([b]))
                    proc.stdin.flush()
                    time.sleep(0.002)
            else:
                proc.stdin.write(data)
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
    def test_ping_from_both_browsers(self):
        for args in ([CHROME], ['CHROME-EXTENSION://abc/'], ['Z:\\tmp\\firefox.json', FIREFOX_ID],
                     ['Z:\\tmp\\firefox.json', FIREFOX_ID.upper()]):
            code, out = host(frame(b'{"type":"ping"}'), args)
            self.assertEqual((code, out), (0, struct.pack('<I', 44) + OK), args)

    def test_framing_errors_end_without_a_reply(self):
        self.assertEqual(host(struct.pack('<I', 0)), (1, b''))
        self.assertEqual(host(b'\x05\x00'), (1, b''))                         # short length
        self.assertEqual(host(struct.pack('<I', 100) + b'{"type"'), (1, b''))  # short body
        self.assertEqual(host(struct.pack('<I', 67108865)), (1, b''))          # over 64 MiB
        self.assertEqual(host(b''), (1, b''))

    def test_largest_message_is_read(self):
        body = b'{"type":"ping"}'
        body += b' ' * (67108864 - len(body))
        self.assertEqual(host(frame(body)), (0, struct.pack('<I', 44) + OK))

    def test_body_arriving_one_byte_at_a_time(self):
        self.assertEqual(host(frame(b'{"type":"ping"}'), slow=True), (0, struct.pack('<I', 44) + OK))

    def test_bad_messages(self):
        self.assertEqual(host(frame(b'{"type":')), (1, reply(b'invalid message')))
        self.assertEqual(host(frame(b'{"type":"ping"} {}')), (1, reply(b'invalid message')))
        self.assertEqual(host(frame(b'[1,2]')), (1, reply(b'invalid message')))
        self.assertEqual(host(frame(b'{"type":"hello"}')), (0, reply(b'unknown message type')))
        self.assertEqual(host(frame(b'{"type":"download","items":[{"title":"x"},{"url":""}]}')),
                         (0, reply(b'no links')))

    def test_deep_tiny_arrays_do_not_kill_the_host(self):
        # Millions of tiny values: whatever memory they take, the host ends
        # with an exit code (and a reply when it could parse them).
        body = b'{"type":"unknown","x":[' + b'[],' * 6000000 + b'[]]}'
        code, out = host(frame(body), timeout=300)
        self.assertIn(code, (0, 1))
        self.assertIn(out, (reply(b'unknown message type'), b''))


if __name__ == '__main__':
    unittest.main()
