"""The unattended mode as a script runs it: `tidewell.exe --get` in a Wine
world, read by its exit code and its redirected output (under Wine a console
cannot be attached from a Linux parent), with the files on disk checked."""
import hashlib
import html
import os
import pathlib
import re
import subprocess
import time
import unittest
import urllib.parse

import wineworld as ww  # first: it finds the modules below
import content
import httpserver
import run_gtest
from driver import EndChecks, segments

MiB = 1048576
PROGRAM = 'C:\\Tidewell\\tidewell.exe'


def named(line):
    """An OK line's first word and the file's name: OK <size> sha256=<digest> <name>."""
    parts = line.split(' ', 3)
    return [parts[0], parts[-1]]


def ends(lines):
    """The first two words of each file's last line: OK and the size, or FAILED and the code."""
    return [l.split(' ')[:2] for l in lines if l.startswith(('OK ', 'FAILED '))]


class GetMode(EndChecks, httpserver.ServerTestCase, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.tls = httpserver.start(run_gtest.tls_context())  # self-signed: no world trusts it
        cls.display = ww.Display()  # the window of one case takes no focus from the window tests
        cls.w = ww.World(cls.display.name)
        cls.app_dir = cls.w.install_program()
        cls.w.ensure_server()

    @classmethod
    def tearDownClass(cls):
        cls.w.close()
        cls.display.close()
        cls.tls.shutdown()
        cls.tls.server_close()
        super().tearDownClass()

    def args(self, folder, *rest):
        return [PROGRAM, '--get', '--to', ww.to_windows(folder)] + list(rest)

    def get(self, folder, *rest, args=None, env=None):
        """(exit code, output lines) of one run to its end."""
        r = self.w.run(args or self.args(folder, *rest), timeout=120, env=env)
        return r.returncode, r.stdout.decode('utf-8').splitlines()

    def start(self, args, stdout=subprocess.DEVNULL):
        return subprocess.Popen(['wine'] + args, env=self.w.env, stdin=subprocess.DEVNULL, stdout=stdout,
                                stderr=subprocess.DEVNULL)

    def test_a_wrong_checksum_downloads_the_whole_file_twice_then_ends_with_6_and_help_names_all(self):
        size, seed, token = 3 * MiB + 5, 21, 'wrong%d' % os.getpid()
        code, lines = self.get(folder := self.folder(), self.link('wrong.bin', size, seed, '&token=' + token),
                               '--checksum', self.sha(size, seed)[::-1])
        self.assertEqual((code, os.listdir(folder), lines[-1].split(' ')[:2]), (6, [], ['FAILED', '6']), lines)
        self.assertGreaterEqual(self.sent(token), 2 * size)  # the whole file came twice before the run gave up
        code, lines = self.get(folder, '--help')
        self.assertEqual((code, {'--to', '--name', '--checksum', '--connections', '--limit', '--insecure', '--lang', '--input', '--cache', '--checksums', '--sums', '--metalink',
                                 '--hours', '--help', *map(str, range(9))} - set(' '.join(lines).replace(',', ' ').split())), (0, set()))

    def test_the_digest_a_server_states_proves_the_file(self):
        # Catches a stated digest ignored (a file that does not match it ends OK) or taken as proof
        # in only one of the two headers that state it; and the mirror its Link header names left
        # unused (the answer comes from another host through it too).
        size, tag = 4 * MiB + 7, 'stated%d' % os.getpid()
        for kind, code in (('repr', 0), ('old', 0), ('wrong', 6)):
            folder, token = self.folder(), tag + kind
            mirror = self.link('stated.bin', size, 40, '&token=%sm' % token).replace('127.0.0.1', 'localhost')
            got, lines = self.get(folder, '--connections', '4', self.link(
                'stated.bin', size, 40, '&digest=%s&token=%s&links=%s' % (kind, token, urllib.parse.quote(mirror, safe=''))))
            self.assertEqual((got, os.listdir(folder)), (code, [] if code else ['stated.bin']), lines)
            self.assertTrue(self.sent(token) > 0 and self.sent(token + 'm') > 0, (self.sent(token), self.sent(token + 'm')))

    def test_a_sums_file_proves_the_files_by_name_and_the_run_writes_one_sha256sum_checks(self):
        # Catches --sums written in a form sha256sum cannot check (or with Windows separators), and a
        # file a --checksums line names with another digest handed out.
        folder, size = self.folder(), 300007
        listed = os.path.join(folder, 'list.txt')
        pathlib.Path(listed).write_text('%s\n  dir=x1\n%s\n' % (self.link('a.bin', size, 41), self.link('b.bin', size, 42)))
        code, lines = self.get(folder, '--input', ww.to_windows(listed), '--sums', ww.to_windows(os.path.join(folder, 'out.sha256')))
        self.assertEqual(code, 0, lines)
        check = subprocess.run(['sha256sum', '--strict', '-c', 'out.sha256'], cwd=folder, capture_output=True)
        self.assertEqual((check.returncode, check.stdout.count(b': OK')), (0, 2), check)
        sums = os.path.join(folder, 'SHA256SUMS')
        pathlib.Path(sums).write_text('%s  x1/a.bin\n%s *c.bin\n' % (self.sha(size, 41), self.sha(size, 41)))
        code, lines = self.get(target := self.folder(), '--checksums', ww.to_windows(sums), self.link('c.bin', size, 43))
        self.assertEqual((code, os.listdir(target)), (6, []), lines)

    def test_a_file_comes_from_its_next_mirror_when_one_fails(self):
        # Catches a failing mirror ending the file (tab-separated mirrors in a list, a Metalink's links),
        # its partial data left beside the file, a Metalink's subfolder or stated hash lost, and a
        # link that only its media type shows to be a Metalink failed instead of read.
        size, seed, folder = 400009, 44, self.folder()
        links = [self.link(name, size, seed, extra) for name, extra in (('m.bin', '&probe_status=404'), ('m.bin', ''))]
        pathlib.Path(folder, 'list.txt').write_text('\t'.join(links) + '\n')
        code, lines = self.get(folder, '--input', ww.to_windows(os.path.join(folder, 'list.txt')))
        self.assertEqual((code, sorted(os.listdir(folder))), (0, ['list.txt', 'm.bin']), lines)
        # The failed link's host is said once (not in each progress poll), before the file's last line.
        self.assertEqual([l for l in lines if '127.0.0.1' in l and links[0] not in l], [lines[-2]], lines)
        self.assertTrue(content.file_holds(os.path.join(folder, 'm.bin'), seed, size))
        # A Metalink of four mirrors — one not found, one whose every answer spoils 64 KiB inside a
        # piece, two sound — with piece hashes: catches connections kept on one server, the bad
        # mirror's bytes written or the mirror kept, and its piece asked of it again.
        size, tag = 3 * MiB + 9, 'mirror%d' % os.getpid()
        piece = 256 * 1024
        body = content.piece(seed, 0, size)
        hashes = ''.join('<hash>%s</hash>' % hashlib.sha256(body[at:at + piece]).hexdigest() for at in range(0, size, piece))
        extras = ('&probe_status=404', '&corrupt=100000:65536', '', '')
        links = [self.link('m.bin', size, seed, '%s&token=%s%d' % (extra, tag, k)) for k, extra in enumerate(extras)]
        links[3] = links[3].replace('127.0.0.1', 'localhost')  # another host to the program
        urls = ''.join('<url priority="%d">%s</url>' % (k, html.escape(u)) for k, u in enumerate(links, 1))
        meta = os.path.join(folder, 'files.meta4')
        pathlib.Path(meta).write_text('<metalink xmlns="urn:ietf:params:xml:ns:metalink"><file name="sub/w.bin"><size>%d</size>'
                                      '<hash type="sha-256">%s</hash><pieces length="%d" type="sha-256">%s</pieces>%s</file></metalink>'
                                      % (size, self.sha(size, seed), piece, hashes, urls))
        served = '%s/text/files.meta4?body=%s' % (self.base, urllib.parse.quote(pathlib.Path(meta).read_text()))
        typed = served.replace('files.meta4?', 'files?type=application%2Fmetalink4%2Bxml&')
        for given in (['--metalink', ww.to_windows(meta)], [served], [typed]):  # a file on disk, a link to one (by name, by type)
            before = [self.sent(tag + str(k)) for k in range(4)]
            code, lines = self.get(target := self.folder(), '--connections', '8', *given)
            self.assertEqual((code, os.listdir(target), lines[-1].split(' ')[2]), (0, ['sub'], 'sha256=' + self.sha(size, seed)), lines)
            self.assertTrue(content.file_holds(os.path.join(target, 'sub', 'w.bin'), seed, size))
            sent = [self.sent(tag + str(k)) - before[k] for k in range(4)]
            self.assertTrue(sent[1] > 0 and sent[2] > 0 and sent[3] > 0, sent)  # the bad one was asked too
            dropped = [l for l in lines if 'localhost' not in l and '127.0.0.1' in l and links[0] not in l and '/text/' not in l]
            self.assertEqual(len(dropped), 2, lines)

    def test_a_hostile_metalink_ends_saying_why_and_nothing_is_written_in_or_beside_the_folder(self):
        size, token, aside = 1000, 'hostile%d' % os.getpid(), self.folder()
        good, secret = self.link('h.bin', size, 61), os.path.join(aside, 'secret.bin')
        pathlib.Path(secret).write_bytes(b'secret')
        local = 'file:///' + ww.to_windows(secret).replace('\\', '/')
        keyed = self.base.replace('//', '//u:pw@', 1) + '/file/h.bin?size=%d&seed=61&token=%s' % (size, token)

        def meta(name, urls, more=''):
            return ('<metalink xmlns="urn:ietf:params:xml:ns:metalink"><file name="%s">%s%s</file></metalink>' %
                    (name, more, ''.join('<url>%s</url>' % html.escape(u) for u in urls)))
        rows = (  # (the Metalink's text, None for one of 50 MB; the exit code, None for any but 0)
            # Catches a DTD obeyed: its entities expanded (a billion laughs) or an external one read from this disk.
            ('<!DOCTYPE metalink [<!ENTITY a "aaaaaaaaaa"><!ENTITY b "&a;&a;&a;&a;&a;&a;&a;&a;"><!ENTITY s SYSTEM "%s">]>'
             % local + meta('&b;&s;', [good]), 1),
            # Catches a name that climbs out of the target folder, with Windows' separator and with "/".
            (meta('..\\h.bin', [good]), 1),
            (meta('../h.bin', [good]), 1),
            # Catches a huge Metalink read whole into memory instead of refused by its size.
            (None, 1),
            # Catches a file: link read from this disk, and a link's password sent to a server anyone may name.
            (meta('h.bin', [local, keyed]), 1),
            # Catches the publisher's size ignored: servers that state another size serve another file.
            (meta('h.bin', [good], '<size>%d</size>' % (size + 1)), None),
        )
        parent = self.folder()
        os.makedirs(target := os.path.join(parent, 'to'))
        before, said = sorted(os.walk(parent)), []
        for k, (text, expected) in enumerate(rows):
            with open(path := os.path.join(aside, 'h%d.meta4' % k), 'wb') as f:
                f.write((text or meta('big.bin', [good])).encode())
                if text is None:
                    f.truncate(50 * MiB)  # sparse: a hole of zeros after the XML, written at once
            code, lines = self.get(target, '--metalink', ww.to_windows(path))
            self.assertEqual((code if expected else code != 0, sorted(os.walk(parent))), (expected or True, before), (k, lines))
            said.append(lines[-1])
        self.assertEqual((len(set(said)), token in httpserver._logs), (len(rows), False), said)  # each says its own why

    def test_outside_its_hours_a_file_waits_and_one_running_at_their_end_pauses_keeping_its_bytes(self):
        # Catches --hours ignored (a file fetched outside them) or judged once (the clock moving inside
        # never seen); a file running at their end left running, or started over after them (its bytes
        # lost: the server sends more than the file); a malformed --hours not a usage error naming it;
        # equal times taken as "never"; and the settings' ActiveHours= obeyed by a script without --hours.
        clock, folder, tag = os.path.join(self.folder(), 'minute'), self.folder(), 'hours%d' % os.getpid()
        env, night, day = {'TW_LOCAL_MINUTE_FILE': ww.to_windows(clock)}, '1380', '600'  # 23:00 and 10:00
        pathlib.Path(clock).write_text(day)
        settings = pathlib.Path(self.app_dir, 'settings.cfg')
        old = settings.read_bytes() if settings.exists() else None
        self.addCleanup(lambda: settings.write_bytes(old) if old is not None else settings.unlink())
        now = time.localtime().tm_hour * 60 + time.localtime().tm_min
        away = next(m for m in ((now + 720) % 1440, (now + 360) % 1440) if abs(m - int(day)) > 5)  # neither clock's minute
        settings.write_text('ActiveHours=%02d:%02d-%02d:%02d\r\n' % (away // 60, away % 60, (away + 1) // 60 % 24, (away + 1) % 60))
        rows = ((['--hours', '22:00-6:00'], 1), (['--hours', '08:00-08:00'], 0), ([], 0))
        ran = [self.get(folder, *given, self.link('r%d.bin' % k, 1000, 70), env=env) for k, (given, _) in enumerate(rows)]
        self.assertEqual([(code, '--hours' in lines[-1] or lines[-1][:3] == 'OK ') for code, lines in ran],
                         [(code, True) for _, code in rows], ran)
        size, seed, out = 6 * MiB, 71, os.path.join(self.folder(), 'out.txt')
        with open(out, 'wb') as f:
            run = subprocess.Popen(['wine'] + self.args(folder, '--hours', '22:00-06:00', '--connections', '2', self.link(
                'h.bin', size, seed, '&rate=500000&token=' + tag)), env={**self.w.env, **env}, stdin=subprocess.DEVNULL, stdout=f)
        self.addCleanup(run.kill)
        said = lambda: pathlib.Path(out).read_text(errors='replace').count('22:00')  # noqa: E731 (the line says from when)
        state = os.path.join(folder, 'h.bin.zebstate')
        self.assertTrue(ww.wait_for(lambda: said() == 1, 30))
        self.assertFalse(ww.wait_for(lambda: tag in httpserver._logs, 2))  # two polls of the clock: nothing asked
        pathlib.Path(clock).write_text(night)
        self.assertTrue(ww.wait_for(lambda: sum(p - s for s, _, p in segments(state)) >= size // 4, 60))
        pathlib.Path(clock).write_text(day)
        self.assertTrue(ww.wait_for(lambda: said() == 2, 30))  # paused, waiting again
        sent = self.sent(tag)
        self.assertFalse(ww.wait_for(lambda: self.sent(tag) > sent, 2))
        pathlib.Path(clock).write_text(night)
        self.assertEqual(run.wait(60), 0)
        self.assertTrue(content.file_holds(os.path.join(folder, 'h.bin'), seed, size))
        self.assertLess(self.sent(tag), 2 * size)

    def test_killed_or_shut_down_then_run_again_it_resumes_and_a_last_run_downloads_nothing(self):
        size, seed, token = 24 * MiB, 22, 'kill%d' % os.getpid()
        good, folder = self.sha(size, seed), self.folder()
        args = self.args(folder, '--connections', '4', '--checksum', good,
                         self.link('big.bin', size, seed, '&rate=1500000&token=' + token))
        state = os.path.join(folder, 'big.bin.zebstate')

        def saved():
            return sum(pos - start for start, _, pos in segments(state)) if os.path.exists(state) else 0

        first = self.start(args)
        self.assertTrue(ww.wait_for(lambda: saved() >= size // 4, 60), 'no state save recorded a quarter')
        first.kill()  # -9, at once (what came after the save is sent again): nothing of the program runs after it
        first.wait()
        # A shutdown after a refused link: the state is saved, the run ends with the refusal's 4. (Slowed
        # down, so that it is still running when the shutdown comes.)
        before, gone = saved(), self.link('gone.bin', 10, 1, '&probe_status=404')
        second = self.start(args[:2] + ['--limit', '1000', gone] + args[2:], stdout=subprocess.PIPE)
        self.assertTrue(ww.wait_for(lambda: saved() >= before + size // 8, 60), 'the second run made no progress')
        self.assertNotIn('TidewellPE', self.w.probe('visible'))
        self.assertEqual(self.w.probe('endsession'), 'ended')
        lines = second.communicate(timeout=60)[0].decode().splitlines()
        self.assertEqual((second.returncode, ends(lines)), (4, [['FAILED', '4'], ['FAILED', '8']]), lines)
        for run in (3, 4):
            asked, sent, kept = len(httpserver._logs[token]), self.sent(token), saved()
            code, lines = self.get(None, args=args)
            self.assertEqual((code, lines[-1]), (0, 'OK %d sha256=%s big.bin' % (size, good)), lines)
            self.assertTrue(content.file_holds(os.path.join(folder, 'big.bin'), seed, size))
            if run == 3:  # what was missing, and the samples that vouch for the rest; from zero it is the whole file
                self.assertLess(self.sent(token) - sent, size - kept + MiB)
            else:  # the file is there and matches: no request at all
                self.assertEqual(len(httpserver._logs[token]), asked)
        self.assertEqual(os.listdir(folder), ['big.bin'])

    def test_a_rerun_with_a_link_signed_again_continues_its_file_and_leaves_another_alone(self):
        # Catches a rerun whose link carries a fresh token starting over under a numbered name, the
        # first partial file left for good; and, the rule relaxed, another file at that path (its
        # size differs) or a partial file another run writes now taken over.
        folder, tag = self.folder(), os.getpid()

        def link(name, size, seed, token, rate=500000):
            return self.link(name, size, seed, '&rate=%d&token=%s%d' % (rate, token, tag))

        def killed_at_a_third(name, size, seed, token):
            state = os.path.join(folder, name + '.zebstate')
            run = self.start(self.args(folder, '--connections', '4', link(name, size, seed, token)))
            self.assertTrue(ww.wait_for(lambda: os.path.exists(state) and
                                        sum(p - s for s, _, p in segments(state)) >= size // 3, 60), name)
            return run

        size, seed = 12 * MiB, 23
        first = killed_at_a_third('tok.bin', size, seed, 'aaa')
        first.kill()
        first.wait()
        code, lines = self.get(folder, '--connections', '4', link('tok.bin', size, seed, 'bbb'))
        self.assertEqual((code, named(lines[-1]), os.listdir(folder)), (0, ['OK', 'tok.bin'], ['tok.bin']), lines)
        self.assertTrue(content.file_holds(os.path.join(folder, 'tok.bin'), seed, size))
        self.assertLess(self.sent('bbb%d' % tag), size * 3 // 4)
        # Another file at a path whose partial file waits: a name of its own, the waiting bytes untouched.
        other = killed_at_a_third('other.bin', 8 * MiB, 24, 'ccc')
        other.kill()
        other.wait()
        waiting = pathlib.Path(folder, 'other.bin.zebpart').read_bytes()
        code, lines = self.get(folder, link('other.bin', 6 * MiB, 25, 'ddd', 0))
        self.assertEqual((code, named(lines[-1])), (0, ['OK', 'other (1).bin']), lines)
        self.assertEqual(pathlib.Path(folder, 'other.bin.zebpart').read_bytes(), waiting)
        # A partial file another run writes right now is never continued.
        writer = killed_at_a_third('held.bin', 12 * MiB, 26, 'eee')
        self.addCleanup(writer.wait)
        self.addCleanup(writer.kill)
        code, lines = self.get(folder, link('held.bin', 12 * MiB, 26, 'fff', 0))
        self.assertEqual((code, named(lines[-1])), (0, ['OK', 'held (1).bin']), lines)

    def test_a_link_list_with_names_folders_and_checksums_and_a_refused_one(self):
        folder, lists = self.folder(), self.folder()
        files = (('one.bin', '', MiB, 31), ('two.bin', 'model\\x1', 2000, 32), ('three.bin', '', MiB + 7, 33))
        text = '# drivers\r\n'
        for name, sub, size, seed in files:
            text += '%s\r\n  out=%s\r\n' % (self.link('f.bin', size, seed), name)
            text += ('\tdir=%s\r\n' % sub if sub else '') + '  checksum=sha-256=%s\r\n\r\n' % self.sha(size, seed)
        pathlib.Path(good := os.path.join(lists, 'good.txt')).write_bytes(b'\xef\xbb\xbf' + text.encode())
        code, lines = self.get(folder, '--input', ww.to_windows(good))
        self.assertEqual((code, ends(lines)), (0, [['OK', str(size)] for _, _, size, _ in files]), lines)
        for name, sub, size, seed in files:
            self.assertTrue(content.file_holds(os.path.join(folder, *sub.split('\\'), name), seed, size), name)
        # An option the list does not know on line 4 refuses the whole list: nothing is fetched.
        bad, token = os.path.join(lists, 'bad.txt'), 'bad%d' % os.getpid()
        pathlib.Path(bad).write_text('%s\n  out=a.bin\n\n  mirror=%s\n' % (self.link('a.bin', 10, 1, '&token=' + token), self.base))
        code, lines = self.get(empty := self.folder(), '--input', ww.to_windows(bad))
        self.assertEqual((code, os.listdir(empty), token in httpserver._logs), (1, [], False), lines)
        self.assertRegex(lines[-1], re.escape(ww.to_windows(bad)) + r'\D+\b4\b')

    def test_beside_a_window_in_windows_pe_each_link_ends_with_its_code_in_the_language_of_the_run(self):
        self.w.reg_add(pe := r'HKLM\System\CurrentControlSet\Control\MiniNT')  # with the settings in Vietnamese
        self.addCleanup(self.w.run, ['reg', 'delete', pe, '/f'])
        (settings := pathlib.Path(self.app_dir, 'settings.cfg')).write_bytes(cfg := b'Language=vi\r\nConnections=2\r\nSpeedLimitKB=0\r\n')
        gui = self.start([PROGRAM])
        self.addCleanup(gui.kill)  # when a check fails before the window is closed
        self.assertTrue(ww.wait_for(lambda: self.w.probe('haswindow') == 'yes', 60))
        self.assertIn('TidewellPE.Main', self.w.probe('visible'))  # the probe sees a window that is shown
        pathlib.Path(folder := self.folder(), 'taken.bin').write_bytes(b'old')
        ok = 'OK %d sha256=%s ' % (MiB, self.sha(MiB, 51))
        links = ('https://127.0.0.1:%d/file/tls.bin?size=100' % self.tls.server_address[1],  # self-signed
                 'http://127.0.0.1:9/none.bin',  # the discard port: nobody listens
                 self.link('frag.bin', 1000, 52) + '#sha256=' + '0' * 64,  # the link's own checksum, wrong
                 self.link('taken.bin', MiB, 51))  # the name is taken: the file gets a number
        runs = [self.get(folder, *lang, *links) for lang in (['--lang', 'vi'], ['--lang', 'en'], [])]
        # Each link is tried in order and ends with its own code, the run with the first one's; the
        # certificate's advice names the option that works here.
        self.assertEqual([(code, ends(lines), '--insecure' in lines[1], lines[-1][:len(ok)]) for code, lines in runs],
                         [(3, [['FAILED', '3'], ['FAILED', '2'], ['FAILED', '6'], ['OK', str(MiB)]], True, ok)] * 3)
        names, (vi, en, pe_default) = [lines[-1][len(ok):] for _, lines in runs], [lines[:-1] for _, lines in runs]
        self.assertEqual((vi != en, pe_default, sorted(os.listdir(folder)), pathlib.Path(folder, 'taken.bin').read_bytes(),
                          settings.read_bytes(), [content.file_holds(os.path.join(folder, n), 51, MiB) for n in names]),
                         (True, en, sorted(names + ['taken.bin']), b'old', cfg, [True] * 3), runs)
        self.assertEqual(self.w.probe('close'), 'posted')
        self.assertEqual(gui.wait(timeout=60), 0)
        self.assertNotIn(links[-1].encode(), pathlib.Path(self.app_dir, 'downloads.lst').read_bytes())  # the window was never told


if __name__ == '__main__':
    unittest.main()
