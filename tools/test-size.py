#!/usr/bin/env python3
"""Prints how large the tests are beside the product, in lines that are
neither blank nor only a comment (// and /* */ in C++ and JavaScript, # and
docstrings in Python and shell).

  product         engine/ store/ bridge/ app/ ui/ res/ extension/src/
  infrastructure  the servers, world helpers, drivers, runners and support
                  headers of tests/ (INFRASTRUCTURE below)
  test cases      every other source file of tests/

    tools/test-size.py [-v]     (-v: one line per file)
"""
import io
import os
import sys
import tokenize

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PRODUCT = ['engine', 'store', 'bridge', 'app', 'ui', 'res', 'extension/src']
# Paths under tests/ (folders end with /) that are not test cases.
INFRASTRUCTURE = ['server/', 'peers.py', 'support/', 'driver/', 'probe/', 'browser/', 'wineworld.py',
                  'run_gtest.py', 'wine-session.sh', 'wine-run.in',
                  'engine/DownloadTestSupport.h', 'app/MainWindowHost.h', 'ui/HostWindow.h', 'list/ScriptedWindow.h']
C_LIKE = ('.cpp', '.h', '.rc', '.js', '.mjs')
HASH = ('.py', '.sh', '.in')


def c_lines(text):
    n, block = 0, False
    for line in text.splitlines():
        s = line.strip()
        if block:
            if '*/' in s:
                block = False
                s = s.split('*/', 1)[1].strip()
            else:
                continue
        if s.startswith('/*'):
            if '*/' not in s:
                block = True
                continue
            s = s.split('*/', 1)[1].strip()
        if s and not s.startswith('//'):
            n += 1
    return n


def python_lines(text):
    docs = set()
    try:
        tokens = list(tokenize.generate_tokens(io.StringIO(text).readline))
    except (tokenize.TokenError, SyntaxError):
        tokens = []
    start_of_line = True
    for i, t in enumerate(tokens):
        if t.type == tokenize.STRING and start_of_line and i + 1 < len(tokens) and \
                tokens[i + 1].type in (tokenize.NEWLINE, tokenize.ENDMARKER):
            docs.update(range(t.start[0], t.end[0] + 1))
        start_of_line = t.type in (tokenize.NEWLINE, tokenize.INDENT, tokenize.DEDENT, tokenize.NL,
                                   tokenize.COMMENT, tokenize.ENCODING)
    return sum(1 for i, line in enumerate(text.splitlines(), 1)
               if line.strip() and not line.strip().startswith('#') and i not in docs)


def count(path):
    with open(path, encoding='utf-8', errors='replace') as f:
        text = f.read()
    if path.endswith(C_LIKE):
        return c_lines(text)
    if path.endswith('.py'):
        return python_lines(text)
    return sum(1 for line in text.splitlines() if line.strip() and not line.strip().startswith('#'))


def sources(folder):
    for base, dirs, files in os.walk(os.path.join(ROOT, folder)):
        dirs[:] = sorted(d for d in dirs if d != 'node_modules')
        for name in sorted(files):
            if name.endswith(C_LIKE + HASH):
                yield os.path.join(base, name)


def main():
    verbose = '-v' in sys.argv
    product = sum(count(p) for folder in PRODUCT for p in sources(folder))
    cases = infra = 0
    for path in sources('tests'):
        rel = os.path.relpath(path, os.path.join(ROOT, 'tests'))
        is_infra = any(rel == i or (i.endswith('/') and rel.startswith(i)) for i in INFRASTRUCTURE)
        n = count(path)
        if is_infra:
            infra += n
        else:
            cases += n
        if verbose:
            print('%5d %s %s' % (n, 'infra' if is_infra else 'case ', rel))
    print('product lines        %5d' % product)
    print('test-case lines      %5d   %.2f of the product' % (cases, cases / product))
    print('infrastructure lines %5d' % infra)
    print('all of tests/        %5d   %.2f of the product' % (cases + infra, (cases + infra) / product))


if __name__ == '__main__':
    main()
