#!/usr/bin/python3
"""Round trip of a generated corpus of host documents through the menu.

    roundtrip_corpus.py BUILD [--count N] [--seed S] [-j N] [--keep DIR]
                        [--min-per-feature K]

Generates N small host documents (seeded, so a run can be repeated), each
with a random mix of the features below, and runs for each, in a fresh
installation of BUILD's plug-in under a scratch folder: the export through
" Export current document", the import of that container untouched, and
the import of its kxtpseudo translation, each through " Import Solvane
file".  Every story of both imported documents is compared with the
source story, character by character with its character attributes and
its paragraph's format, after the changes the round trip makes by design:

  - the translation's U+00E9 U+4E2D after each word are taken out;
  - unique-id tag runs (opcodes 135 and 136) are left out of both sides;
  - an anchored item comes back as a copy with an id of its own: its kind
    and size are compared instead of its id;
  - 0x1C and 0x1E take the attributes where they are inserted;
  - a non-breaking blank comes back as U+00A0.

After the export the user's document on disk must equal the source but
for the box tags ("data") and the host's item counter ("nextItem").

One line per document with its features and outcome; then a table of
documents and faults per feature, and the faults by class.  Exit status 1
when any document has a fault.

Features:
  current-layout    a current layout other than the first
  neighbours        two objects side by side (anchored or one-unit)
  equal-keys        two objects whose keys are alike
  tabless-format    a paragraph format without tab stops under a style
                    sheet whose format has one
  masters-layouts   master pages on one layout, none on another
  special-object    0x1C or 0x1E right after an object
  nb-hyphen         a hyphen under the non-breaking flag
  locked-overflow   a story that overflows its small box, which is locked,
                    the locked member of a locked group, or on a locked
                    layer (the translation fits or stays overset: the
                    import is done either way)
"""
import argparse
import json
import multiprocessing
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

FEATURES = ['current-layout', 'neighbours', 'equal-keys', 'tabless-format',
            'masters-layouts', 'special-object', 'nb-hyphen', 'locked-overflow']
WORDS = ['alpha', 'bravo', 'carton', 'delta', 'echo', 'forme', 'gamma', 'hotel', 'ink',
         'juliet', 'kilo', 'lima', 'page', 'quire', 'recto', 'verso', 'serif', 'tome']
FONTS = [{'id': 3, 'name': 'Times'}, {'id': 4, 'name': 'Helvetica'}]
NB_FLAG = 128
PSEUDO = '\u00e9\u4e2d'


class Doc:
    """A host document built up story by story."""

    def __init__(self, rnd):
        self.rnd = rnd
        self.attrs = [{'font': 3}]
        self.formats = []
        self.boxes = []
        self.stories = []
        self.layouts = [{'name': 'A'}]
        self.next_id = 1
        self.extra = {}

    def attr(self, **fields):
        record = dict({'font': 3}, **fields)
        if record not in self.attrs:
            self.attrs.append(record)
        return self.attrs.index(record)

    def item_id(self):
        self.next_id += 1
        return self.next_id + 100

    def words(self, n=None):
        return ' '.join(self.rnd.choice(WORDS) for _ in range(n or self.rnd.randint(1, 4)))

    def plain(self):
        """A run of ordinary attributes, varied a little."""
        r = self.rnd.random()
        if r < 0.5:
            return 0
        if r < 0.75:
            return self.attr(size=self.rnd.choice([9, 10.5, 14]))
        return self.attr(font=4, faces=self.rnd.choice([1, 2, 3]))

    def story(self, paragraphs, layout=0, **box):
        """paragraphs: a list of (format index, [(text, attribute index)])."""
        sid = len(self.stories) + 1
        text, paras, runs = '', [], []
        for i, (fmt, pieces) in enumerate(paragraphs):
            if i + 1 < len(paragraphs):
                pieces = pieces + [('\r', 0)]
            length = 0
            for piece, a in pieces:
                if not piece:
                    continue
                text += piece
                length += len(piece)
                if runs and runs[-1][0] == a:
                    runs[-1][1] += len(piece)
                else:
                    runs.append([a, len(piece)])
            paras.append([fmt, length])
        self.stories.append({'id': sid, 'text': text, 'paragraphs': paras, 'runs': runs})
        record = dict({'id': self.item_id(), 'story': sid,
                       'bounds': [36, 36 + 70 * (sid % 8), 400, 100 + 70 * (sid % 8)]}, **box)
        if layout:
            record['layout'] = layout
        self.boxes.append(record)
        return sid

    def simple_paragraphs(self, n=None):
        return [(0, [(self.words() + ' ', self.plain()), (self.words(), 0)])
                for _ in range(n or self.rnd.randint(1, 3))]

    def json(self):
        doc = {'format': 'xthost document', 'version': 1, 'layouts': self.layouts,
               'fonts': FONTS, 'characterAttributes': self.attrs, 'boxes': self.boxes,
               'stories': self.stories}
        if self.formats:
            doc['paragraphFormats'] = self.formats
        doc.update(self.extra)
        return doc


def add_feature(doc, feature):
    rnd = doc.rnd
    if feature == 'current-layout':
        count = rnd.randint(2, 3)
        while len(doc.layouts) < count:
            doc.layouts.append({'name': 'L%d' % len(doc.layouts)})
        for layout in range(1, count):
            for _ in range(rnd.randint(1, 2)):
                doc.story(doc.simple_paragraphs(), layout=layout)
        doc.extra['currentLayout'] = rnd.randint(1, count - 1)
    elif feature == 'neighbours':
        if rnd.random() < 0.5:
            pieces = []
            for _ in range(rnd.randint(2, 3)):
                pid = doc.item_id()
                side = rnd.choice([12, 20, 30])
                doc.boxes.append({'id': pid, 'kind': 'picture', 'bounds': [0, 0, side, side]})
                pieces.append(('\ufffc', doc.attr(opcode=1, object=pid)))
        else:
            pieces = [('\ufffc', doc.attr(opcode=op, object=rnd.randint(5, 40)))
                      for op in rnd.sample([2, 3, 8], 2)]
        lead = [(doc.words() + ' ', 0)] if rnd.random() < 0.8 else []
        tail = [(' ' + doc.words(), 0)] if rnd.random() < 0.8 else []
        doc.story([(0, lead + pieces + tail)] + doc.simple_paragraphs(1))
    elif feature == 'equal-keys':
        tag = '#%08d' % (4600 + rnd.randint(1, 99))
        pieces = [(tag, doc.attr(opcode=136)), (rnd.choice(WORDS) + ' ', 0)]
        for op in rnd.sample([8, 2, 3], 2):
            pieces += [('##', doc.attr(opcode=op, object=rnd.randint(2, 30))),
                       (' ' + rnd.choice(['y', 'z', doc.words(1)]) + ' ', 0)]
        doc.story([(0, pieces)])
    elif feature == 'tabless-format':
        if 'styleSheets' not in doc.extra:
            stop = rnd.choice([36, 72, 144])
            doc.formats += [{'style': 1}, {'style': 1, 'tabs': [[stop, 0, 0]]},
                            {'style': 1, 'tabs': [[stop + 18, 1, 0]]}]
            doc.extra['styleSheets'] = [{'id': 1, 'name': 'Normal', 'record': 1}]
        base = len(doc.formats) - 3
        paragraphs = [(base + rnd.choice([0, 0, 2]), [(doc.words(), doc.plain())])
                      for _ in range(rnd.randint(1, 3))]
        doc.story(paragraphs)
    elif feature == 'masters-layouts':
        if len(doc.layouts) == 1:
            doc.layouts.append({'name': 'B'})
        masters = rnd.randint(2, 3)
        doc.layouts[0]['spreads'] = [{'pages': [{'master': 3 + rnd.randrange(masters)}]}]
        doc.layouts[0]['masters'] = [{'name': '%c-Master' % (65 + i)} for i in range(masters)]
        for m in range(masters):
            doc.story(doc.simple_paragraphs(1), master=True, spread=3 + m)
        for _ in range(rnd.randint(1, 2)):
            doc.story(doc.simple_paragraphs(), layout=1)
    elif feature == 'special-object':
        op = rnd.choice([2, 3])
        special = rnd.choice(['\x1e', '\x1c'])
        first = [('\ufffc', doc.attr(opcode=op, object=rnd.randint(5, 40))), (special, 0),
                 (' ' + doc.words(), doc.plain())]
        doc.story([(0, first)] + doc.simple_paragraphs(rnd.randint(0, 1)))
    elif feature == 'nb-hyphen':
        nb = doc.attr(flags=NB_FLAG)
        pieces = [(doc.words() + ' ', 0), ('-', nb), (' ' + doc.words(), 0)]
        if rnd.random() < 0.5:
            pieces += [(' ' + rnd.choice(WORDS), 0), ('-', nb), (rnd.choice(WORDS), 0)]
        doc.story([(0, pieces)] + doc.simple_paragraphs(rnd.randint(0, 1)))
    elif feature == 'locked-overflow':
        y = 560 + 20 * (len(doc.stories) % 10)
        box = {'bounds': [36, y, 96, y + 18], 'locked': True}
        how = rnd.choice(['box', 'group', 'layer'])
        if how == 'group':
            box['group'] = doc.item_id()
            doc.boxes.append({'id': box['group'], 'kind': 'group', 'bounds': box['bounds'], 'locked': True})
        elif how == 'layer':
            del box['locked']
            box['layer'] = 1
            doc.extra['layers'] = [{'id': 1, 'name': 'Locked', 'locked': True}]
        doc.story([(0, [(doc.words(6), doc.plain())])], **box)


def generate(seed, index, min_features):
    rnd = random.Random(seed * 100003 + index)
    doc = Doc(rnd)
    doc.story(doc.simple_paragraphs())
    # Every feature turns up in a share of the corpus; a document takes one
    # to three of them.
    features = sorted(rnd.sample(FEATURES, rnd.randint(1, 3)) + list(min_features),
                      key=FEATURES.index)
    features = list(dict.fromkeys(features))
    for feature in features:
        add_feature(doc, feature)
    return features, doc.json()


# --- comparing ------------------------------------------------------------

def expand(doc, story):
    """The story as (unit, attributes, format) per unit, tag runs left out."""
    attrs = doc.get('characterAttributes', [{}])
    formats = doc.get('paragraphFormats', [])
    boxes = {b['id']: b for b in doc.get('boxes', [])}
    units = []
    text, pos = story['text'], 0
    para_of = []
    for fmt, length in story['paragraphs']:
        para_of += [fmt] * length
    for a, length in story['runs']:
        record = dict(attrs[a]) if a < len(attrs) else {'missing': a}
        for i in range(pos, pos + length):
            unit = text[i] if i < len(text) else ''
            if record.get('opcode') in (135, 136):
                continue
            r = dict(record)
            if r.get('opcode') == 1 and unit == '\ufffc':
                box = boxes.get(r.pop('object', None), {})
                b = box.get('bounds', [0, 0, 0, 0])
                r['anchored'] = (box.get('kind', 'text'), b[2] - b[0], b[3] - b[1])
            if unit in '\x1c\x1e':
                # Takes the attributes where it is inserted, never an object's.
                r = {k: v for k, v in r.items() if k in ('opcode', 'object')}
            fmt = para_of[i] if i < len(para_of) else None
            f = formats[fmt] if fmt is not None and fmt < len(formats) else {}
            units.append((unit.replace('\xa0', ' '), tuple(sorted(r.items())),
                          tuple(sorted((k, json.dumps(v)) for k, v in f.items()))))
        pos += length
    return units


def untranslate(story):
    """Takes the translation's U+00E9 U+4E2D out of the story (and its runs)."""
    text, keep = story['text'], []
    i = 0
    while i < len(text):
        if text.startswith(PSEUDO, i):
            i += 2
            continue
        keep.append(i)
        i += 1
    kept = set(keep)
    def cut(table):
        out, pos = [], 0
        for key, length in table:
            n = sum(1 for j in range(pos, pos + length) if j in kept)
            pos += length
            if n:
                out.append([key, n])
        return out
    return dict(story, text=''.join(text[i] for i in keep), runs=cut(story['runs']),
                paragraphs=cut(story['paragraphs']))


def compare_stories(source, result, translated):
    faults = []
    mine = {s['id']: s for s in result.get('stories', [])}
    for story in source['stories']:
        got = mine.get(story['id'])
        if got is None:
            faults.append('story %d missing' % story['id'])
            continue
        if translated:
            if PSEUDO not in got['text'] and story['text'].strip():
                faults.append('story %d untranslated' % story['id'])
            got = untranslate(got)
        a, b = expand(source, story), expand(result, got)
        if a == b:
            continue
        if [u[0] for u in a] != [u[0] for u in b]:
            faults.append('story %d text %r -> %r' % (story['id'], story['text'], got['text']))
        else:
            i = next(i for i in range(len(a)) if a[i] != b[i])
            what = 'attributes' if a[i][1] != b[i][1] else 'format'
            faults.append('story %d %s at %d: %r -> %r' % (story['id'], what, i, a[i][1:], b[i][1:]))
    # A record that no character uses any more may stay in the host's
    # table; a character must never keep the mark.
    records = result.get('characterAttributes', [])
    for story in result.get('stories', []):
        for a, _ in story['runs']:
            if a < len(records) and records[a].get('mark'):
                faults.append('story %d: mark %#x left' % (story['id'], records[a]['mark']))
    return faults


def user_document_changes(source, saved):
    def strip(doc):
        doc = json.loads(json.dumps(doc))
        doc.pop('nextItem', None)
        for box in doc.get('boxes', []):
            box.pop('data', None)
        return doc
    a, b = strip(source), strip(saved)
    return sorted(k for k in set(a) | set(b) if a.get(k) != b.get(k))


# --- running --------------------------------------------------------------

def host(build, work, name, answers, commands):
    args = [os.path.join(build, 'host', 'xthost'), '--xtensions', 'XTensions',
            '--transcript', name + '.tr']
    for a in answers:
        args += ['--answer', a]
    run = subprocess.run(args + commands, cwd=work, capture_output=True, timeout=300)
    transcript = open(os.path.join(work, name + '.tr'), errors='replace').read()
    log = open(os.path.join(work, 'BrenixLogfile.txt'), errors='replace').read()
    shutil.copy(os.path.join(work, 'BrenixLogfile.txt'), os.path.join(work, name + '.log'))
    said = re.findall(r'^dialog \d+ text "(.*)"$', transcript, re.M)
    return run.returncode, said, log


def round_trip(job):
    build, top, index, features, doc, keep = job
    work = tempfile.mkdtemp(prefix='rt%04d-' % index, dir=keep)
    try:
        os.mkdir(os.path.join(work, 'XTensions'))
        shutil.copy(os.path.join(build, 'plugin', 'brenix', 'libbrenix.so'),
                    os.path.join(work, 'XTensions'))
        subprocess.run([sys.executable, os.path.join(top, 'tools', 'ini_set.py'),
                        os.path.join(work, 'XTensions', 'brenix.ini'), 'QUARK',
                        'AutomaticResizeOfFrames=True'], check=True, capture_output=True)
        os.environ['BRENIX_REGISTRY_ROOT'] = os.path.join(work, 'registry')
        path = lambda n: os.path.join(work, n)
        with open(path('doc.qxp'), 'w') as f:
            json.dump(doc, f)
        faults = []
        rc, said, log = host(build, work, 'export', [path('doc.kxq'), 'OK'],
                             ['start', 'open', path('doc.qxp'), 'menu', 'Export current document', 'quit'])
        if rc != 0 or said != ['Export done'] or 'ERROR:' in log:
            return index, features, ['export: rc %d %s %s' % (rc, said, first_error(log))]
        changed = user_document_changes(doc, json.load(open(path('doc.qxp'))))
        if changed:
            faults.append('user document changed: ' + ', '.join(changed))
        subprocess.run([os.path.join(build, 'tools', 'kxtpseudo', 'kxtpseudo'), path('doc.kxq'),
                        path('tr.kxq')], check=True, capture_output=True)
        for name, container, translated in (('untouched', 'doc.kxq', False),
                                            ('translated', 'tr.kxq', True)):
            rc, said, log = host(build, work, name, [path(container), path(name + '.qxp'), 'OK'],
                                 ['start', 'menu', 'Import Solvane file', 'quit'])
            if rc != 0 or said != ['Import done'] or 'ERROR:' in log:
                faults.append('%s import: rc %d %s %s' % (name, rc, said, first_error(log)))
                continue
            faults += ['%s: %s' % (name, f) for f in
                       compare_stories(doc, json.load(open(path(name + '.qxp'))), translated)]
        return index, features, faults
    finally:
        if keep is None:
            shutil.rmtree(work, ignore_errors=True)


def first_error(log):
    for line in log.splitlines():
        if 'ERROR' in line or 'not found' in line:
            return line.strip()[:160]
    return ''


CLASSES = (
    ('current layout not imported', r'box for story \d+ is not found'),
    ('object beside an object lost', r'anchored object without id|\ufffc.*->'),
    ('equal keys: object swapped or marked', r"mark|\('object', \d+\).*-> .*\('object', \d+\)"),
    ('sheet tabs on a tab-less format', r"format at .*'tabs'"),
    ('false failure after import', r'host call failed while the stories'),
    ('special character joined an object', r"attributes at \d+: \(\(\), \(\)\) ->"),
    ('user document changed', r'user document changed'),
    ('non-breaking flag lost', r"\('flags', 128\)"),
)


def classify(fault):
    """The class of a fault: the first whose pattern it matches."""
    for name, pattern in CLASSES:
        if re.search(pattern, fault):
            return name
    return 'other'


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('build')
    parser.add_argument('--count', type=int, default=320)
    parser.add_argument('--seed', type=int, default=1)
    parser.add_argument('-j', type=int, default=os.cpu_count())
    parser.add_argument('--keep')
    parser.add_argument('--min-per-feature', type=int, default=20)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
    jobs = []
    for i in range(args.count):
        # The first documents take each feature in turn, so that every
        # feature reaches its minimum even in a small corpus.
        forced = [FEATURES[i % len(FEATURES)]] if i < args.min_per_feature * len(FEATURES) else []
        features, doc = generate(args.seed, i, forced)
        jobs.append((build, top, i, features, doc, args.keep))
    results = []
    with multiprocessing.Pool(args.j) as pool:
        for index, features, faults in pool.imap_unordered(round_trip, jobs):
            results.append((index, features, faults))
            print('%4d %-50s %s' % (index, ','.join(features),
                                    'ok' if not faults else 'FAULT ' + ' | '.join(faults)), flush=True)
    print('\n%-18s %10s %10s' % ('feature', 'documents', 'faulty'))
    for feature in FEATURES:
        docs = [r for r in results if feature in r[1]]
        print('%-18s %10d %10d' % (feature, len(docs), sum(1 for r in docs if r[2])))
    classes = {name: set() for name, _ in CLASSES}
    classes['other'] = set()
    for index, _, faults in results:
        for f in faults:
            classes[classify(f)].add(index)
    faulty = sum(1 for r in results if r[2])
    print('\ndocuments %d, faulty %d; documents by class of fault:' % (len(results), faulty))
    for name, docs in classes.items():
        print('  %-40s %d' % (name, len(docs)))
    return 1 if faulty else 0


if __name__ == '__main__':
    sys.exit(main())
