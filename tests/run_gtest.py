"""Runs one GoogleTest program of this build under Wine for ctest, with the
loopback test servers started first (HTTP, and HTTPS with a self-signed
certificate) and their origins in TW_HTTP and TW_HTTPS.

A start that ends within two seconds with a failure and without a word from
the program is Wine failing to start it (seen once on a CI machine: 0.02 s,
no output), not a verdict on the tests: it is reported and tried once more.

usage: run_gtest.py <program.exe> [args...]
"""
import os
import ssl
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), 'server'))
import httpserver  # noqa: E402
import wineworld  # noqa: E402


def tls_context():
    """The build's certificate, made by openssl on first use. Key and certificate share one
    file, replaced whole: test programs started together may each make one, and a reader
    must never meet one's key beside another's certificate."""
    pair = os.path.join(wineworld.BUILD, 'tests', 'tls-pair.pem')
    if not os.path.exists(pair):
        tmp = '%s.%d' % (pair, os.getpid())
        subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', tmp + '.key', '-out',
                        tmp + '.cert', '-days', '3650', '-subj', '/CN=127.0.0.1'], check=True, capture_output=True)
        with open(tmp, 'wb') as f:
            for part in ('.key', '.cert'):
                with open(tmp + part, 'rb') as p:
                    f.write(p.read())
                os.remove(tmp + part)
        os.replace(tmp, pair)
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(pair)
    return ctx


def run(args, env):
    started = time.monotonic()
    proc = subprocess.Popen([os.path.join(wineworld.BUILD, 'wine-run')] + args, env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    said = []

    def echo():
        for line in proc.stdout:
            said.append(True)
            sys.stdout.buffer.write(line)
            sys.stdout.flush()

    # A process the program made Wine start (the desktop, a service) may
    # inherit the output pipe and hold it open long after the program ended:
    # the program's exit ends the run, not the pipe's.
    reader = threading.Thread(target=echo, daemon=True)
    reader.start()
    code = proc.wait()
    reader.join(timeout=2)
    return code, bool(said), time.monotonic() - started


def main():
    plain = httpserver.start()
    secure = httpserver.start(tls_context())
    env = dict(os.environ, TW_HTTP='http://127.0.0.1:%d' % plain.server_address[1],
               TW_HTTPS='https://127.0.0.1:%d' % secure.server_address[1])
    for attempt in (1, 2):
        code, said, took = run(sys.argv[1:], env)
        if code == 0 or said or took >= 2 or attempt == 2:
            break
        print('run_gtest: start %d ended with exit %d after %.2f s and no output; trying again' % (attempt, code, took))
        time.sleep(1)
    if code and not said:
        print('run_gtest: exit %d after %.2f s with no output' % (code, took))
    plain.shutdown()
    secure.shutdown()
    return code


if __name__ == '__main__':
    sys.exit(main())
