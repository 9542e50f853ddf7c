#!/usr/bin/env python3
"""Packs the companion extension: one source tree, one manifest per browser.

usage: pack_extension.py <source folder extension/> <out folder>

Writes <out>/chromium/ and <out>/firefox/ (unpacked, ready to load) and
<out>/tidewell-pe-chromium.zip and <out>/tidewell-pe-firefox.xpi. The
archives hold fixed times and a sorted order, so the same sources always
give the same bytes.
"""
import json
import os
import shutil
import sys
import zipfile

FIXED_TIME = (2026, 1, 1, 0, 0, 0)


def files_of(folder):
    for base, dirs, names in os.walk(folder):
        dirs.sort()
        for name in sorted(names):
            path = os.path.join(base, name)
            yield path, os.path.relpath(path, folder).replace(os.sep, '/')


def pack(source, out, browser, archive):
    target = os.path.join(out, browser)
    shutil.rmtree(target, ignore_errors=True)
    shutil.copytree(os.path.join(source, 'src'), target)
    with open(os.path.join(source, browser, 'manifest.json'), 'rb') as f:
        manifest = f.read()
    json.loads(manifest)  # a broken manifest stops the packing, not the browser
    with open(os.path.join(target, 'manifest.json'), 'wb') as f:
        f.write(manifest)
    path = os.path.join(out, archive)
    with zipfile.ZipFile(path + '.tmp', 'w', zipfile.ZIP_DEFLATED) as z:
        # Firefox wants the manifest as the first entry of an add-on.
        entries = sorted(files_of(target), key=lambda e: (e[1] != 'manifest.json', e[1]))
        for full, name in entries:
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            with open(full, 'rb') as f:
                z.writestr(info, f.read())
    os.replace(path + '.tmp', path)
    return target, path


def main():
    source, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    for browser, archive in (('chromium', 'tidewell-pe-chromium.zip'), ('firefox', 'tidewell-pe-firefox.xpi')):
        for made in pack(source, out, browser, archive):
            print(made)


if __name__ == '__main__':
    main()
