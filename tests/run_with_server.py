"""Starts the loopback test servers (HTTP, and HTTPS with a self-signed
certificate made by openssl now), runs one Windows test program under Wine
with their addresses in TW_HTTP and TW_HTTPS, and exits with its code.

usage: run_with_server.py <program.exe> [args...]
"""
import os
import ssl
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), 'server'))
import httpserver  # noqa: E402
import wineworld  # noqa: E402


def tls_context(folder):
    key, cert = os.path.join(folder, 'key.pem'), os.path.join(folder, 'cert.pem')
    subprocess.run(['openssl', 'req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', key, '-out', cert,
                    '-days', '2', '-subj', '/CN=127.0.0.1'], check=True, capture_output=True)
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert, key)
    return ctx


def main():
    with tempfile.TemporaryDirectory() as folder:
        plain = httpserver.start()
        secure = httpserver.start(tls_context(folder))
        env = dict(os.environ,
                   TW_HTTP='http://127.0.0.1:%d' % plain.server_address[1],
                   TW_HTTPS='https://127.0.0.1:%d' % secure.server_address[1])
        result = subprocess.run([os.path.join(wineworld.BUILD, 'wine-run')] + sys.argv[1:], env=env,
                                stdin=subprocess.DEVNULL)
        plain.shutdown()
        secure.shutdown()
        return result.returncode


if __name__ == '__main__':
    sys.exit(main())
