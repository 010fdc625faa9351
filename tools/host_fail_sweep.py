#!/usr/bin/python3
"""Runs the menu commands of the main job with host calls told to fail.

    host_fail_sweep.py BUILD [--sample DOC] [-j N] [--entries A,B:1-80/*,...]
                       [--counts 1,*,2-5] [--commands kxq,coo,krm,import]
                       [--table FILE] [--keep DIR] [--timeout SECONDS]

For every host entry (host/entry_names.cc, or those given, each with the
counts after its colon or those of --counts), every count and
every command, a fresh installation under a scratch folder runs xthost of
BUILD (the sanitizer build) with XTHOST_FAIL=ENTRY:COUNT, as
tools/main_job.sh runs the commands through the menu: the exports of the
sample to a container (kxq), its coordinates (coo) and its XTags (krm), and
the import of the translated container (import).  Each run is compared with
a run of the same command without failures; after an export, the user's
document as the run left it on disk is compared too: it must be as the run
without failures saved it, or (after a failed export) as it was opened, with
at most the story tags of the layouts exported before the failure (an
interactive export saves the document before each layout), or left byte
for byte as the sample was installed (a failure before any save).

One line per run: entry, count, command, outcome and a detail.  Outcomes:
  not called          the entry was not called: nothing failed
  start-up failure    a call failed before the command: the
                      plug-in started on its defaults (the detail tells the
                      command's result)
  not run             the command never ran (the plug-in did not start or
                      the menu item is missing)
  success identical   the command said it was done; its output is the same
  clean failure       the command said it failed, the program log has an
                      "ERROR:" or "API_FAILURE<" line and no output is left
                      under the target's name
  failure, kept       as a clean failure, but the XTags read so far, or the
                      import's document when a story found no box, are
                      kept (both commands' design)
  failure, unlogged   the command said it failed; no "ERROR:" line
  no result shown     no result dialog (the host refused it); an "ERROR:" line
and the faults:
  SANITIZER, CRASH, HANG, DIFFERENT OUTPUT (done, but the output differs),
  NO OUTPUT (done without output), OUTPUT LEFT (a failed export left its
  target), NO RESULT (nothing shown and nothing logged), DOCUMENT CHANGED
  (an export saved the user's document in another form than the run
  without failures, or, when it failed, than the document as opened with
  story tags).
Each entry and command runs at its first numeric count before the others:
when that run did not call the entry, its higher counts (and "*" after a
first count of 1) are reported "not called" without running.
A summary by outcome follows.  Exit status 0 when no run is a fault, 1 when
one is, 2 for a bad command line or a baseline that crashes or ends
without saying that it failed.

A command that fails cleanly without failures (the export of an untitled
sample, the import of a container without a stored document) is swept all
the same: a run of it that says "done" is a fault (DIFFERENT OUTPUT).  When
the export makes no container, the import is not swept.
"""
import argparse
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zlib

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLOCK = '2026-12-07 12:00:00'
SETTINGS = (
    '[QUARK]\nAutomaticResizeOfFrames=True\n'
    '[Options]\nextendedInterface=True\naddMenuItemExportCoords=True\naddMenuItemExportKrm=True\n'
    '[Server]\nserverMode=False\n')
MENU = {
    'kxq': 'Export current document',
    'coo': 'Export PDF coordinates',
    'krm': 'Export XTags',
    'import': 'Import Solvane file',
}
FAULTS = ('SANITIZER', 'CRASH', 'HANG', 'DIFFERENT OUTPUT', 'NO OUTPUT', 'OUTPUT LEFT', 'NO RESULT',
          'DOCUMENT CHANGED')


def entry_names():
    text = open(os.path.join(TOP, 'host', 'entry_names.cc'), encoding='utf-8').read()
    table = text[text.index('kEntryNames[]'):]
    return re.findall(r'"([a-z_0-9]+)"', table[:table.index('};')])


def parse_counts(text):
    counts = []
    for item in text.split(','):
        if item == '*':
            counts.append('*')
        elif '-' in item:
            low, high = (int(n) for n in item.split('-', 1))
            counts.extend(str(n) for n in range(low, high + 1))
        else:
            counts.append(str(int(item)))
    return counts


class Sweep:
    def __init__(self, build, sample, scratch, timeout):
        self.xthost = os.path.join(build, 'host', 'xthost')
        self.library = os.path.join(build, 'plugin', 'brenix', 'libbrenix.so')
        self.pseudo = os.path.join(build, 'tools', 'kxtpseudo', 'kxtpseudo')
        self.sample = sample
        self.name = os.path.splitext(os.path.basename(sample))[0]
        self.scratch = scratch
        self.timeout = timeout
        self.container = os.path.join(scratch, 'translated.kxq')
        self.baseline = {}
        self.documents = {}  # 'opened' and each export's saved document

    # --- one run ---

    def install(self, folder, command):
        os.makedirs(os.path.join(folder, 'XTensions'))
        os.makedirs(os.path.join(folder, 'docs'))
        # A link, not a copy: thousands of runs would copy the library each.
        os.symlink(self.library, os.path.join(folder, 'XTensions', os.path.basename(self.library)))
        with open(os.path.join(folder, 'XTensions', 'brenix.ini'), 'w') as out:
            out.write(SETTINGS)
        shutil.copy(self.sample, os.path.join(folder, 'docs', self.name + '.qxp'))
        if command == 'import':
            shutil.copy(self.container, os.path.join(folder, 'in.kxq'))

    def target(self, folder, command):
        return os.path.join(folder, 'out.qxp' if command == 'import' else 'out.' + command)

    def arguments(self, folder, command):
        target = self.target(folder, command)
        if command == 'import':
            return ['--answer', os.path.join(folder, 'in.kxq'), '--answer', target, '--answer', 'OK',
                    'start', 'menu', MENU[command], 'quit']
        return ['--answer', target, '--answer', 'OK', 'start',
                'open', os.path.join(folder, 'docs', self.name + '.qxp'), 'menu', MENU[command], 'quit']

    def run(self, folder, command, plan):
        self.install(folder, command)
        env = dict(os.environ)
        env.update({
            'XTHOST_CLOCK': CLOCK,
            'BRENIX_REGISTRY_ROOT': os.path.join(folder, 'registry'),
            'ASAN_OPTIONS': env.get('ASAN_OPTIONS', 'detect_leaks=1:abort_on_error=0'),
            'UBSAN_OPTIONS': env.get('UBSAN_OPTIONS', 'print_stacktrace=1:halt_on_error=1'),
            'LSAN_OPTIONS': env.get('LSAN_OPTIONS', 'suppressions=%s/tools/lsan.supp:print_suppressions=0' % TOP),
        })
        env.pop('XTHOST_FAIL', None)
        if plan:
            env['XTHOST_FAIL'] = plan
        argv = [self.xthost, '--xtensions', 'XTensions', '--transcript', 'run.transcript']
        argv += self.arguments(folder, command)
        try:
            done = subprocess.run(argv, cwd=folder, env=env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=self.timeout)
            status, errors = done.returncode, (done.stdout + done.stderr).decode('utf-8', 'replace')
        except subprocess.TimeoutExpired:
            status, errors = None, ''
        transcript = read_text(os.path.join(folder, 'run.transcript'))
        log = read_text(os.path.join(folder, 'BrenixLogfile.txt'))
        return status, errors, transcript, log

    def output(self, folder, command):
        """The output of a run, made the same for every folder; None when there is none."""
        path = self.target(folder, command)
        if not os.path.exists(path):
            return None
        data = open(path, 'rb').read()
        if command == 'kxq':
            data = container_digest(path)
        for form in (folder.encode('utf-8'), folder.encode('utf-16-le')):
            data = data.replace(form, b'RUN')
        return data

    def document(self, folder):
        """The user's document in the run's folder as the host reads it,
        the host's item counter aside (a failed analysis makes fewer
        working boxes); None when it is not a document."""
        import json
        try:
            document = json.load(open(os.path.join(folder, 'docs', self.name + '.qxp'), encoding='utf-8'))
        except (OSError, ValueError):
            return None
        document.pop('nextItem', None)
        return document

    def untouched(self, folder):
        """Whether the user's document in the run's folder is the sample
        byte for byte."""
        with open(self.sample, 'rb') as sample:
            original = sample.read()
        try:
            with open(os.path.join(folder, 'docs', self.name + '.qxp'), 'rb') as document:
                return document.read() == original
        except OSError:
            return False

    def opened_document(self):
        """The sample as the host saves it without any command (as it was
        installed when the host cannot save it)."""
        folder = tempfile.mkdtemp(prefix='opened-', dir=self.scratch)
        os.makedirs(os.path.join(folder, 'docs'))
        shutil.copy(self.sample, os.path.join(folder, 'docs', self.name + '.qxp'))
        # An untitled sample has no file to be saved to: it stays as installed.
        subprocess.run([self.xthost, '--transcript', 'run.transcript', 'open',
                        os.path.join(folder, 'docs', self.name + '.qxp'), 'save', 'quit'],
                       cwd=folder, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=self.timeout)
        return self.document(folder)

    def document_changed(self, folder, command, done):
        """Whether an export left the user's document other than the run
        without failures (or, when it failed, other than as opened, story
        tags aside)."""
        if command == 'import':
            return False
        if not done and self.untouched(folder):
            # Failed before it saved: the sample as it was installed.
            return False
        document = self.document(folder)
        if document == self.documents[command]:
            return False
        return done or document is None or untagged(document) != untagged(self.documents['opened'])

    # --- the sweep ---

    def prepare(self, commands):
        """Baseline runs of the commands; the import's container is the
        baseline container translated by kxtpseudo.  A command that fails
        cleanly without failures (an untitled sample cannot be exported)
        has the baseline None: its runs must fail too.  The commands that
        can be swept are returned; None when a baseline crashed or failed
        without saying so."""
        self.documents['opened'] = self.opened_document()
        swept = []
        for command in ('kxq', 'coo', 'krm', 'import'):
            if command == 'import':
                if self.baseline.get('kxq') is None:
                    sys.stderr.write('import not swept: the export makes no container without failures\n')
                    continue
                subprocess.run([self.pseudo, self.target(self.baseline_folder, 'kxq'), self.container],
                               check=True, stdout=subprocess.DEVNULL)
            folder = tempfile.mkdtemp(prefix='base-%s-' % command, dir=self.scratch)
            if command == 'kxq':
                self.baseline_folder = folder
            status, errors, transcript, log = self.run(folder, command, '')
            done = [line for line in transcript if line.endswith(' done"')]
            failed = [line for line in transcript if re.match(r'dialog \d+ text "(Export|Import) failed"', line)]
            output = self.output(folder, command)
            if status == 0 and done and output is not None and 'Sanitizer' not in errors:
                self.baseline[command] = output
            elif status in (0, 1) and failed and not done and 'Sanitizer' not in errors:
                sys.stderr.write('%s fails without failures: its runs must fail too\n' % command)
                self.baseline[command] = None
            else:
                sys.stderr.write('baseline of %s failed (status %s) in %s\n%s' % (command, status, folder, errors))
                return None
            self.documents[command] = self.document(folder)
            if command in commands:
                swept.append(command)
        return swept

    def case(self, entry, count, command):
        folder = tempfile.mkdtemp(prefix='run-', dir=self.scratch)
        status, errors, transcript, log = self.run(folder, command, '%s:%s' % (entry, count))
        outcome, detail = self.judge(folder, command, entry, status, errors, transcript, log)
        return entry, count, command, outcome, detail, folder

    def judge(self, folder, command, entry, status, errors, transcript, log):
        outcome, detail = self.judge_output(folder, command, status, errors, transcript, log)
        if outcome in FAULTS or outcome in ('not called', 'not run', 'start-up failure'):
            return outcome, detail
        if self.document_changed(folder, command, outcome == 'success identical'):
            return 'DOCUMENT CHANGED', ('%s; ' % outcome) + detail
        return outcome, detail

    def judge_output(self, folder, command, status, errors, transcript, log):
        if 'Sanitizer' in errors or 'runtime error' in errors:
            first = next((l for l in errors.splitlines() if 'Sanitizer' in l or 'runtime error' in l), '')
            return 'SANITIZER', first.strip()[:100]
        if status is None:
            return 'HANG', 'no end after %ss' % self.timeout
        if status not in (0, 1):
            return 'CRASH', 'status %s' % status
        fails = [i for i, l in enumerate(transcript) if l.startswith('fail ')]
        if not fails:
            return 'not called', ''
        commands = [i for i, l in enumerate(transcript) if l.startswith('menu command ')]
        if not commands:
            return 'not run', transcript[fails[0]]
        said = [l for l in transcript
                if re.match(r'dialog \d+ text "(Export|Import) (done|failed)"', l) or l.startswith('alert ')]
        output = self.output(folder, command)
        done = any(l.endswith(' done"') for l in said)
        failed = any(not l.endswith(' done"') for l in said)
        logged = [l for l in log.splitlines() if l.startswith('ERROR:') or 'API_FAILURE<' in l]
        if fails[0] < commands[0]:
            # The plug-in started on its defaults: the baseline does not apply.
            result = 'done' if done and not failed else 'failed' if said else 'no result'
            same = output is not None and output == self.baseline[command]
            return 'start-up failure', '%s, then %s%s' % (transcript[fails[0]], result,
                                                          ' (output as without failures)' if same else '')
        if done and not failed:
            if self.baseline[command] is None:
                return 'DIFFERENT OUTPUT', 'done, where the run without failures fails'
            if output is None:
                return 'NO OUTPUT', ''
            if output != self.baseline[command]:
                return 'DIFFERENT OUTPUT', ''
            return 'success identical', ''
        if not said:
            # The result could not be shown (the host refused the dialog).
            return ('no result shown', logged[0][:100]) if logged else ('NO RESULT', 'status %s' % status)
        if not logged:
            return 'failure, unlogged', said[0][:100]
        if output is not None:
            # An XTags export keeps the tags it had and says it failed.  A
            # failed import leaves nothing where there was nothing: only a
            # story without a box keeps its document there.
            if command == 'krm' or (command == 'import' and '####box for story' in log):
                return 'failure, kept', logged[0][:100]
            return 'OUTPUT LEFT', logged[0][:100]
        return 'clean failure', logged[0][:100]


# The item data keys of a box's story tags: its id and its marker.
STORY_TAGS = ('08414b42', '09414b42')


def untagged(document):
    """The document without the story tags of ids 0 and above (a working
    box's negative id stays)."""
    boxes = []
    for box in document.get('boxes', []):
        data = dict(box.get('data', {}))
        if int.from_bytes(bytes.fromhex(data.get(STORY_TAGS[0], '00')), 'big', signed=True) >= 0:
            for key in STORY_TAGS:
                data.pop(key, None)
        box = {k: v for k, v in box.items() if k != 'data'}
        if data:
            box['data'] = data
        boxes.append(box)
    return dict(document, boxes=boxes)


def read_text(path):
    try:
        with open(path, encoding='utf-8', errors='replace') as f:
            return f.read().splitlines() if path.endswith('.transcript') else f.read()
    except FileNotFoundError:
        return [] if path.endswith('.transcript') else ''


def raw_string(header, name):
    """The Python text of the raw string `name` in a test header."""
    text = open(os.path.join(TOP, 'tests', 'common', header), encoding='utf-8').read()
    start = text.index('R"PY(', text.index(name)) + len('R"PY(')
    return text[start:text.index(')PY"', start)]


# The element witness of the tests (tests/common/kxt_witness_py.h): the
# container's elements with the attributes in force for each.
WITNESS = {}


def container_digest(path):
    """The container's elements and every stream outside its code file, the
    stored documents inflated."""
    import olefile
    if not WITNESS:
        exec(raw_string('code_file_reader_py.h', 'kCodeFileReaderPy') +
             raw_string('kxt_witness_py.h', 'kFolderTreePy') +
             raw_string('kxt_witness_py.h', 'kKxtDumpPy'), WITNESS)
    parts = [line.encode('utf-8') + b'\n' for line in WITNESS['dump'](path, True)]
    with olefile.OleFileIO(path) as ole:
        for entry in sorted(ole.listdir(streams=True, storages=True)):
            name = '/'.join(entry)
            if ole.get_type(entry) != olefile.STGTY_STREAM:
                parts.append(b'storage ' + name.encode('utf-8') + b'\n')
                continue
            if entry[0] == 'SolvaneTextAndCode':
                continue
            data = ole.openstream(entry).read()
            if len(entry) == 3 and entry[1] == 'BrenixExportTemplates':
                try:
                    data = b'inflated ' + zlib.decompress(data)
                except zlib.error:
                    data = b'bad zlib stream'
            parts.append(b'stream ' + name.encode('utf-8') + b' %d\n' % len(data) + data + b'\n')
    return b''.join(parts)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('build')
    parser.add_argument('--sample', default=os.path.join(TOP, 'tests', 'data', 'doc_brochure.json'))
    parser.add_argument('-j', '--jobs', type=int, default=os.cpu_count() or 1)
    parser.add_argument('--entries', default='')
    parser.add_argument('--counts', default='1,*')
    parser.add_argument('--commands', default='kxq,coo,krm,import')
    parser.add_argument('--table', default='')
    parser.add_argument('--keep', default='', help='keep the run folders under this folder')
    parser.add_argument('--timeout', type=float, default=120)
    args = parser.parse_args(argv[1:])
    known = entry_names()
    commands = args.commands.split(',')
    # An entry may carry counts of its own: NAME:COUNTS, "/" between them.
    plan = []
    try:
        for item in args.entries.split(',') if args.entries else known:
            name, _, own = item.partition(':')
            plan.append((name, parse_counts(own.replace('/', ',') if own else args.counts)))
    except ValueError:
        parser.error('bad counts in %r or %r' % (args.entries, args.counts))
    if any(e not in known for e, _ in plan) or any(c not in MENU for c in commands):
        parser.error('unknown entry or command')
    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix='sweep-', dir=args.keep or None)
    try:
        sweep = Sweep(os.path.abspath(args.build), os.path.abspath(args.sample), scratch, args.timeout)
        commands = sweep.prepare(commands)
        if commands is None:
            return 2
        cases = [(e, c, m) for e, counts in plan for c in counts for m in commands]
        first = {}
        for entry, count, command in cases:
            if count != '*':
                first.setdefault((entry, command), count)
        found = {}

        def run_all(todo):
            with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
                for result in pool.map(lambda c: sweep.case(*c), todo):
                    found[result[:3]] = result
                    if not args.keep:
                        shutil.rmtree(result[5], ignore_errors=True)

        # The first count of every entry and command runs first: an entry
        # not called N - 1 times is not called at any higher count, nor, when
        # not called at all (N = 1), with every call failing.
        run_all([(e, c, m) for (e, m), c in first.items()])
        rest = []
        for entry, count, command in cases:
            if (entry, count, command) in found:
                continue
            low = first.get((entry, command))
            known = found.get((entry, low, command))
            if known is not None and known[3] == 'not called' and (
                    count == '*' and low == '1' or count != '*' and int(count) >= int(low)):
                found[(entry, count, command)] = (entry, count, command, 'not called',
                                                  'as at count %s' % low, known[5])
            else:
                rest.append((entry, count, command))
        run_all(rest)
        results = [found[case] for case in cases]
    finally:
        if not args.keep:
            shutil.rmtree(scratch, ignore_errors=True)
    lines = ['%-24s %-5s %-7s %-18s %s' % ('entry', 'count', 'command', 'outcome', 'detail')]
    for entry, count, command, outcome, detail, folder in results:
        if args.keep and outcome in FAULTS:
            detail += ' [%s]' % folder
        lines.append('%-24s %-5s %-7s %-18s %s' % (entry, count, command, outcome, detail))
    summary = {}
    for result in results:
        summary[result[3]] = summary.get(result[3], 0) + 1
    lines.append('')
    lines.append('runs: %d' % len(results))
    for outcome in sorted(summary):
        lines.append('%-18s %d' % (outcome, summary[outcome]))
    text = '\n'.join(lines) + '\n'
    sys.stdout.write(text)
    if args.table:
        with open(args.table, 'w') as out:
            out.write(text)
    return 1 if any(r[3] in FAULTS for r in results) else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
