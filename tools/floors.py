#!/usr/bin/env python3
"""The floors of the product's includes, checked: a file may include files of
its own floor and of the floors below it, never of a floor above. The table
is the map of the house, from the ground up (the folders follow the
subsystems; the floors follow the order of building):

  ground   file services, storage locations, text helpers, handles, the
           language flag, the formatters and the shared records of a download
  engine   the download engine
  list     the list, its file, its writer, its seam to the windows, the
           settings and the system clock
  bridge   the browser bridge (on the list's request type)
  toolkit  the drawing toolkit and the window-procedure base
  windows  the program: its windows, its modes and its entry point

A file that no row names fails too: a new file is given its floor here.

    tools/floors.py           (exit 1 and one line per include that reaches up)
"""
import fnmatch
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FOLDERS = ('engine', 'store', 'bridge', 'ui', 'app')
FLOORS = [
    ('ground', ['store/DetachedThread.*', 'store/ActiveHours.*', 'store/DriveRanking.*', 'store/FileServices.*', 'store/Format.*',
                'store/FreeSpaceWatch.*', 'store/Handles.h', 'store/Lang.*', 'store/PathRules.*', 'store/Storage.*',
                'store/Text.h', 'engine/Types.h']),
    ('engine', ['engine/*']),
    ('list', ['store/List*', 'store/DownloadRequest.*', 'store/RowRecord.*', 'store/Settings.*', 'store/SystemClock.*',
              'store/ClockOffer.cpp', 'store/Continuation.cpp', 'store/SmallFetch.*', 'store/MetalinkRows.*', 'store/ActiveQueue.cpp']),
    ('bridge', ['bridge/*']),
    ('toolkit', ['ui/*']),
    ('windows', ['app/*']),
]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def floor_of(path):
    """The floor's number of a file named from the root, or None."""
    for number, (_, patterns) in enumerate(FLOORS):
        if any(fnmatch.fnmatch(path, p) for p in patterns):
            return number
    return None


def problems(root=ROOT):
    found = []
    for folder in FOLDERS:
        for name in sorted(os.listdir(os.path.join(root, folder))):
            if not name.endswith(('.h', '.cpp')):
                continue
            path = folder + '/' + name
            mine = floor_of(path)
            if mine is None:
                found.append('%s: on no floor (give it one in tools/floors.py)' % path)
                continue
            with open(os.path.join(root, path), encoding='utf-8') as f:
                text = f.read()
            for included in INCLUDE.findall(text):
                theirs = floor_of(included)
                if theirs is not None and theirs > mine:
                    found.append('%s (%s) includes %s (%s)' % (path, FLOORS[mine][0], included, FLOORS[theirs][0]))
    return found


def main():
    found = problems()
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main())
