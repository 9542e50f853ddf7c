"""Every bilingual text of the program, read from its sources: both
languages present, different where there are words to translate, and the
same numbers, line breaks, quotes, links and closing colon (the places where
values and other texts are put next to them). The extension's texts are
checked by its own tests (tests/extension/package.test.js)."""
import os
import re
import unittest

SOURCE = os.environ.get('TW_SOURCE') or os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FOLDERS = ('engine', 'store', 'bridge', 'app', 'ui')
LITERALS = r'(?:L"(?:[^"\\]|\\.)*"\s*)+'  # adjacent wide literals are one text
# Tr(vi, en); {vi, en} and {id, vi, en, icon} in tables of pairs (their Vietnamese text first).
PAIR = re.compile(r'(\bTr\(\s*|[{,]\s*)(' + LITERALS + r'),\s*(' + LITERALS + r')\s*[,)}]')
VIETNAMESE = re.compile('[ăâđêôơưạảấầẩẫậắằẳẵặẹẻẽếềểễệỉịọỏốồổỗộớờởỡợụủứừửữựỳỵỷỹ]', re.IGNORECASE)


ESCAPES = {'n': '\n', 'r': '\r', 't': '\t', '"': '"', '\\': '\\', "'": "'", '0': '\0'}


def text(literals):
    """The text of adjacent wide literals, escapes resolved."""
    joined = ''.join(re.findall(r'L"((?:[^"\\]|\\.)*)"', literals))
    return re.sub(r'\\(u[0-9a-fA-F]{4}|U[0-9a-fA-F]{8}|x[0-9a-fA-F]+|.)',
                  lambda m: chr(int(m.group(1)[1:], 16)) if len(m.group(1)) > 1 else ESCAPES[m.group(1)], joined)


def sources():
    for folder in FOLDERS:
        for base, _, files in os.walk(os.path.join(SOURCE, folder)):
            for name in sorted(files):
                if name.endswith(('.cpp', '.h')):
                    with open(os.path.join(base, name), encoding='utf-8') as f:
                        # Comments out (literals kept whole), so that a quote in one cannot start a literal.
                        yield name, re.sub(r'("(?:[^"\\\n]|\\.)*"|\'(?:[^\'\\]|\\.)*\')|//[^\n]*|/\*.*?\*/',
                                           lambda m: m.group(1) or ' ', f.read(), flags=re.S)


def shape(s):
    """What must match across the languages."""
    return re.findall(r'\d+', s), s.count('\n'), s.count('"'), s.count('://'), s.rstrip().endswith(':')


class Texts(unittest.TestCase):
    def test_every_bilingual_pair_is_whole_and_matches(self):
        pairs, lone = [], []
        for name, code in sources():
            found = [(m.start(2), m.end(3), text(m.group(2)), text(m.group(3))) for m in PAIR.finditer(code)
                     if m.group(1).startswith('Tr') or VIETNAMESE.search(text(m.group(2)))]
            pairs += [(name, vi, en) for _, _, vi, en in found]
            # A Vietnamese literal outside every pair would show in both languages.
            for m in re.finditer(LITERALS, code):
                inside = any(start <= m.start() < end for start, end, _, _ in found)
                if VIETNAMESE.search(text(m.group())) and not inside and 'IsVietnamese() ?' not in code[m.start() - 20:m.start()]:
                    lone.append((name, text(m.group())))
        self.assertGreater(len(pairs), 100)
        for name, vi, en in pairs:
            with self.subTest(file=name, en=en):
                self.assertTrue(vi and en)
                self.assertFalse(VIETNAMESE.search(en))
                if re.search(r'[^\W\d_]{2}', en):  # words to translate
                    self.assertNotEqual(vi, en)
                self.assertEqual(shape(vi), shape(en))
        self.assertEqual(lone, [])


if __name__ == '__main__':
    unittest.main()
