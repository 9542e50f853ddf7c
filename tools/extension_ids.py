#!/usr/bin/env python3
"""Prints the Chromium extension id of each public key given (PEM): the
first 32 hex digits of the SHA-256 of the DER key, written with a-p for
0-f. With --key, prints the base64 DER for a manifest's "key" member.

usage: extension_ids.py [--key] <public key.pem>...
"""
import base64
import hashlib
import sys


def der_of(pem_path):
    with open(pem_path) as f:
        lines = [l.strip() for l in f if l.strip() and not l.startswith('-----')]
    return base64.b64decode(''.join(lines))


def extension_id(der):
    digest = hashlib.sha256(der).hexdigest()[:32]
    return ''.join(chr(ord('a') + int(c, 16)) for c in digest)


def main():
    args = sys.argv[1:]
    want_key = args[:1] == ['--key']
    for path in args[1:] if want_key else args:
        der = der_of(path)
        print(base64.b64encode(der).decode() if want_key else extension_id(der))


if __name__ == '__main__':
    main()
