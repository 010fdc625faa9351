#!/usr/bin/python3
"""Round trip of a generated corpus of host documents through the menu.

    roundtrip_corpus.py BUILD [--count N] [--seed S] [-j N] [--keep DIR]
                        [--min-per-feature K] [--features F,...]

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
    (and, but for a text box, which may grow to fit its text, its size)
    is compared instead of its id;
  - 0x1C and 0x1E take the attributes where they are inserted;
  - a non-breaking column or frame break comes back without the flag;
  - a non-breaking blank comes back as U+00A0;
  - control codes the export does not write (U+0000 among them) do not
    come back;
  - a story without a box is not exported, and stays as it was.

Every box of the source that the imported document holds under its id
must keep its bounds, shape and polygon; a text box whose record the host
takes back may only grow to fit its text (its right and bottom edges
out).

The container's paragraphs must carry the style name of the sheet the
document gives them.  After the export the user's document on disk must
equal the source but for the box tags ("data"), the host's item counter
("nextItem") and the view (the export shows the layout spreads), and
every entry of item data of the document, its pages and its boxes must
come back in the imported documents.

An export or import that fails is a fault, and so is an "Import failed"
whose stories all came back, but for the design's own failures: an export
of a document with its item ids (nearly) used up may fail, as the working
boxes need ids (the log says create_box was refused).  Those are counted
apart, as results of the design.

One line per document with its features and outcome; then a table by
feature of documents, export and import results (two imports per
document), faulty documents and documents with a result of the design,
and the documents by class of fault.  Exit status 1 when any document
has a fault.

Features:
  current-layout    a current layout other than the first
  neighbours        two objects side by side (anchored or one-unit)
  equal-keys        two objects whose keys are alike
  tabless-format    a paragraph format without tab stops under a style
                    sheet whose format has one
  masters-layouts   master pages on one layout, none on another
  special-object    0x1C or 0x1E right after an object
  nb-hyphen         a hyphen under the non-breaking flag
  nested-groups     groups within groups, text boxes at several levels
  anchored-deep     text boxes anchored in anchored text boxes
  anchored-group    an anchored group whose member anchors a text box
  chain-spreads     a story over boxes on many spreads, with box and
                    column breaks
  chain-masters     a story over boxes on master pages
  chain-group       a story over a group member and other boxes
  chain-anchored    a story continued in an anchored box
  chain-pasteboard  a story continued in a box off the page
  two-layouts       one story shown in two layouts
  layout-names      layouts with equal or empty names
  masters-all       master text with page numbers on every layout, a
                    master spread in front
  special-only      a story of special characters only
  breaks            column and frame breaks inside paragraphs, at the end
                    of runs, paragraphs and stories, in runs of their own,
                    non-breaking ones, over chained boxes
  empty-stories     empty stories in boxes
  boxless-story     a story without a box
  empty-paragraphs  many empty paragraphs
  equal-text        several stories with equal text
  combining         combining marks in a run of their own
  non-bmp           characters beyond the BMP, pairs split across runs
  rtl-bidi          right-to-left text with bidi controls
  nonchar-nul       noncharacters and U+0000
  long-one-run      a 70,000-unit paragraph in one run
  long-many-runs    a 70,000-unit paragraph in thousands of runs
  many-sheets       dozens of paragraph and character sheets interleaved
  hidden-across     hidden text across paragraph ends
  locked-box        an overflowing locked box
  locked-group      an overflowing box in a locked group, or a locked
                    member of a group
  locked-layer      an overflowing box on a locked layer
  locked-story      a locked story
  story-ids         story ids near the largest
  item-data         item data of the document, a page and a box
  unusable-box      a text box without height, with inverted bounds or
                    with a polygon of fewer than three points, whose story
                    anchors a picture or holds hidden text, or overflows
  skip-hidden       the setting SkipProcessHidden (for the whole document),
                    with hidden text (nested, across paragraphs, around a
                    page number) and objects; hidden words are not
                    exported, so they come back untranslated
  item-ids          item ids near the largest, or all used (the last
                    feature: its box takes the top id)
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
            'masters-layouts', 'special-object', 'nb-hyphen',
            'nested-groups', 'anchored-deep', 'anchored-group', 'chain-spreads',
            'chain-masters', 'chain-group', 'chain-anchored', 'chain-pasteboard',
            'two-layouts', 'layout-names', 'masters-all', 'special-only', 'breaks', 'empty-stories',
            'boxless-story', 'empty-paragraphs', 'equal-text', 'combining', 'non-bmp',
            'rtl-bidi', 'nonchar-nul', 'long-one-run', 'long-many-runs', 'many-sheets',
            'hidden-across', 'locked-box', 'locked-group', 'locked-layer', 'locked-story',
            'story-ids', 'item-data', 'unusable-box', 'skip-hidden', 'item-ids']
WORDS = ['alpha', 'bravo', 'carton', 'delta', 'echo', 'forme', 'gamma', 'hotel', 'ink',
         'juliet', 'kilo', 'lima', 'page', 'quire', 'recto', 'verso', 'serif', 'tome']
FONTS = [{'id': 3, 'name': 'Times'}, {'id': 4, 'name': 'Helvetica'}]
NB_FLAG = 128
PSEUDO = '\u00e9\u4e2d'
ERR_REFUSED = -5003  # the host's answer when no item id is left
MAX_ITEM_ID = 0x7FFF
# Control codes the export does not write: they do not come back.
DROPPED = set(chr(c) for c in list(range(0, 7)) + [8, 0x0E] + list(range(0x15, 0x1C)))
BREAKS = '\x0b\x0c'
# Page numbers: the unit and the opcode of its run.
PAGE_NUMBERS = [('\x01', 5), ('\x02', 6), ('\x03', 7)]


class Doc:
    """A host document built up story by story."""

    def __init__(self, rnd):
        self.rnd = rnd
        self.attrs = [{'font': 3}]
        self.formats = [{}]
        self.sheets = []
        self.boxes = []
        self.stories = []
        self.layouts = [{'name': 'A'}]
        self.next_id = 1
        self.gap = 0
        self.extra = {}

    def attr(self, **fields):
        record = dict({'font': 3}, **fields)
        if record not in self.attrs:
            self.attrs.append(record)
        return self.attrs.index(record)

    def sheet(self, name, kind='paragraph', **fields):
        """A style sheet and its record: its id."""
        sid = len(self.sheets) + 1
        if kind == 'paragraph':
            self.formats.append(dict({'style': sid}, **fields))
            record = len(self.formats) - 1
        else:
            record = self.attr(**fields)
        self.sheets.append(dict({'id': sid, 'name': name, 'record': record},
                                **({'kind': kind} if kind == 'character' else {})))
        return sid

    def format_of(self, sheet):
        """The first paragraph format under a sheet."""
        return next(i for i, f in enumerate(self.formats) if f.get('style') == sheet)

    def item_id(self):
        self.next_id += 1
        return self.next_id + 100

    def item(self, **fields):
        """An item that shows no story: its id."""
        record = dict({'id': self.item_id()}, **fields)
        self.boxes.append(record)
        return record['id']

    def spreads(self, layout, count=1):
        """The layout's spreads, at least `count` of them."""
        spreads = self.layouts[layout].setdefault('spreads', [{'pages': [{}]}])
        while len(spreads) < count:
            spreads.append({'pages': [{} for _ in range(self.rnd.randint(1, 2))]})
        return spreads

    def masters(self, layout, count=1):
        """The layout's user master spreads (3 and up), at least `count`."""
        masters = self.layouts[layout].setdefault('masters', [])
        while len(masters) < count:
            masters.append({'name': '%c-Master' % (65 + len(masters))})
        return masters

    def layout(self, count):
        while len(self.layouts) < count:
            self.layouts.append({'name': 'L%d' % len(self.layouts)})

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

    def story(self, paragraphs, layout=0, box=True, sid=None, options=0, **fields):
        """paragraphs: a list of (format index, [(text, attribute index)]).
        A text box shows it unless `box` is False."""
        sid = sid or max([s['id'] for s in self.stories if s['id'] < 1 << 20] + [0]) + 1
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
        # As the host writes it: an empty story as its id alone.
        story = {'id': sid, 'text': text, 'paragraphs': paras, 'runs': runs}
        if not text:
            story = {'id': sid}
        if options:
            story['options'] = options
        self.stories.append(story)
        if box:
            self.text_box(sid, layout, **fields)
        return sid

    def text_box(self, sid, layout=0, **fields):
        at = 36 + 70 * (sid % 8)
        record = dict({'id': self.item_id(), 'story': sid, 'bounds': [36, at, 400, at + 64]},
                      **fields)
        if record.get('spread') == 1:
            del record['spread']
        if layout:
            record['layout'] = layout
        self.boxes.append(record)
        return record['id']

    def simple_paragraphs(self, n=None):
        return [(0, [(self.words() + ' ', self.plain()), (self.words(), 0)])
                for _ in range(n or self.rnd.randint(1, 3))]

    def long_paragraphs(self, n):
        """Paragraphs that overflow a small box."""
        return [(0, [(self.words(12), self.plain())]) for _ in range(n)]

    def anchor(self, item):
        """The piece that anchors an item."""
        return ('\ufffc', self.attr(opcode=1, object=item))

    def json(self):
        doc = {'format': 'xthost document', 'version': 1, 'layouts': self.layouts,
               'fonts': FONTS, 'characterAttributes': self.attrs, 'boxes': self.boxes,
               'stories': self.stories}
        if len(self.formats) > 1:
            doc['paragraphFormats'] = self.formats
        for layout in self.layouts:
            if layout.get('spreads') == [{'pages': [{}]}]:
                del layout['spreads']
        if self.sheets:
            doc['styleSheets'] = self.sheets
        doc.update(self.extra)
        return doc


def anchored_text(doc, depth):
    """A text box that anchors a text box, `depth` levels down: its id."""
    inner = None
    for _ in range(depth):
        pieces = [(doc.words() + ' ', doc.plain())]
        if inner is not None:
            pieces += [doc.anchor(inner), (' ' + doc.words(), 0)]
        sid = doc.story([(0, pieces)], box=False)
        inner = doc.text_box(sid, bounds=[0, 0, doc.rnd.choice([60, 90]), 24])
    return inner


def add_feature(doc, feature):
    rnd = doc.rnd
    if feature == 'current-layout':
        count = rnd.randint(2, 3)
        doc.layout(count)
        for layout in range(1, count):
            for _ in range(rnd.randint(1, 2)):
                doc.story(doc.simple_paragraphs(), layout=layout)
        doc.extra['currentLayout'] = rnd.randint(1, count - 1)
    elif feature == 'neighbours':
        if rnd.random() < 0.5:
            pieces = []
            for _ in range(rnd.randint(2, 3)):
                side = rnd.choice([12, 20, 30])
                pieces.append(doc.anchor(doc.item(kind='picture', bounds=[0, 0, side, side])))
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
        stop = rnd.choice([36, 72, 144])
        sheet = doc.sheet('Normal', tabs=[[stop, 0, 0]])
        doc.formats += [{'style': sheet}, {'style': sheet, 'tabs': [[stop + 18, 1, 0]]}]
        base = len(doc.formats) - 3
        paragraphs = [(base + rnd.choice([1, 1, 0, 2]), [(doc.words(), doc.plain())])
                      for _ in range(rnd.randint(1, 3))]
        doc.story(paragraphs)
    elif feature == 'masters-layouts':
        doc.layout(2)
        masters = rnd.randint(2, 3)
        doc.masters(0, masters)
        for spread in doc.spreads(0):
            for page in spread['pages']:
                page['master'] = 3 + rnd.randrange(masters)
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
    elif feature == 'nested-groups':
        group = doc.item(kind='group', bounds=[36, 400, 400, 600])
        for level in range(rnd.randint(2, 4)):
            if level == 0 or rnd.random() < 0.5:
                doc.story(doc.simple_paragraphs(1), group=group,
                          bounds=[36, 400 + 30 * level, 300, 430 + 30 * level])
            if rnd.random() < 0.3:
                doc.item(kind='picture', group=group, bounds=[320, 400, 380, 440])
            group = doc.item(kind='group', group=group, bounds=[36, 400, 400, 600])
        doc.story(doc.simple_paragraphs(1), group=group, bounds=[36, 560, 300, 590])
    elif feature == 'anchored-deep':
        inner = anchored_text(doc, rnd.randint(2, 4))
        doc.story([(0, [(doc.words() + ' ', 0), doc.anchor(inner), (' ' + doc.words(), 0)])])
    elif feature == 'anchored-group':
        group = doc.item(kind='group', bounds=[0, 0, 200, 60])
        inner = anchored_text(doc, rnd.randint(1, 2))
        member = doc.story([(0, [(doc.words() + ' ', 0), doc.anchor(inner)])], box=False)
        doc.text_box(member, group=group, bounds=[0, 0, 200, 30])
        if rnd.random() < 0.5:
            doc.item(kind='picture', group=group, bounds=[0, 30, 200, 60])
        doc.story([(0, [(doc.words() + ' ', 0), doc.anchor(group), (' ' + doc.words(), 0)])])
    elif feature == 'chain-spreads':
        count = rnd.randint(3, 6)
        doc.spreads(0, count)
        pieces = []
        for i in range(rnd.randint(4, 10)):
            pieces.append((0, [(doc.words(6), doc.plain())] +
                           ([(rnd.choice(['\x0c', '\x0b']), 0)] if rnd.random() < 0.4 else []) +
                           [(doc.words(3), 0)]))
        sid = doc.story(pieces, box=False)
        for spread in sorted(rnd.sample(range(1, count + 1), rnd.randint(2, count))):
            doc.text_box(sid, spread=spread, bounds=[36, 36, 300, 80])
    elif feature == 'chain-masters':
        doc.masters(0, 2)
        sid = doc.story(doc.long_paragraphs(rnd.randint(2, 4)), box=False)
        for m in range(rnd.randint(2, 3)):
            doc.text_box(sid, master=True, spread=3 + min(m, 1), bounds=[36, 36 + 60 * m, 300, 80 + 60 * m])
        doc.spreads(0)[0]['pages'][0]['master'] = 3
    elif feature == 'chain-group':
        group = doc.item(kind='group', bounds=[36, 400, 400, 600])
        sid = doc.story(doc.long_paragraphs(rnd.randint(2, 4)), bounds=[36, 300, 300, 340])
        doc.text_box(sid, group=group, bounds=[36, 400, 300, 440])
        if rnd.random() < 0.5:
            doc.text_box(sid, bounds=[36, 620, 300, 660])
    elif feature == 'chain-anchored':
        sid = doc.story(doc.long_paragraphs(rnd.randint(2, 4)), bounds=[36, 300, 300, 340])
        inner = doc.text_box(sid, bounds=[0, 0, 120, 30])
        doc.story([(0, [(doc.words() + ' ', 0), doc.anchor(inner), (' ' + doc.words(), 0)])])
    elif feature == 'chain-pasteboard':
        sid = doc.story(doc.long_paragraphs(rnd.randint(2, 4)), bounds=[36, 300, 300, 340])
        doc.text_box(sid, bounds=rnd.choice([[-300, 36, -40, 90], [640, 100, 900, 160],
                                             [100, 800, 400, 860]]))
    elif feature == 'two-layouts':
        doc.layout(2)
        sid = doc.story(doc.simple_paragraphs())
        doc.text_box(sid, layout=1)
    elif feature == 'layout-names':
        names = [rnd.choice(['A', 'A', '', 'Print', '']) for _ in range(rnd.randint(2, 4))]
        for name in names:
            doc.layouts.append({'name': name} if name else {})
            doc.story(doc.simple_paragraphs(1), layout=len(doc.layouts) - 1)
        if rnd.random() < 0.5:
            # Renamed, or left without a name: its spreads and masters stay.
            first = {k: v for k, v in doc.layouts[0].items() if k != 'name'}
            doc.layouts[0] = dict(first, name=names[0]) if names[0] else first
    elif feature == 'masters-all':
        for layout in range(len(doc.layouts)):
            count = rnd.randint(1, 2)
            doc.masters(layout, count)
            for spread in doc.spreads(layout):
                for page in spread['pages']:
                    page['master'] = 3 + rnd.randrange(count)
            for m in range(count):
                unit, op = rnd.choice(PAGE_NUMBERS)
                doc.story([(0, [(doc.words() + ' ', 0), (unit, doc.attr(opcode=op)),
                                (' ' + doc.words(1), 0)])], layout=layout, master=True, spread=3 + m)
        front = rnd.randrange(len(doc.layouts))
        doc.layouts[front]['view'] = rnd.randint(1, len(doc.layouts[front]['masters']) + 2)
    elif feature == 'special-only':
        pieces = []
        for _ in range(rnd.randint(1, 6)):
            r = rnd.random()
            if r < 0.3:
                unit, op = rnd.choice(PAGE_NUMBERS)
                pieces.append((unit, doc.attr(opcode=op)))
            else:
                pieces.append((rnd.choice(['\t', '\x1e', '\x1c', '\x0b', '\x0c', '\x1f', '\x1d']), 0))
        doc.story([(0, pieces)] + [(0, [('\t', 0)])] * rnd.randint(0, 1))
    elif feature == 'breaks':
        def breaks():
            return ''.join(rnd.choice(BREAKS) for _ in range(rnd.choice([1, 1, 1, 2])))
        paragraphs = []
        for _ in range(rnd.randint(1, 4)):
            pieces = [(rnd.choice(['', breaks()]) + doc.words() + ' ', doc.plain())]
            for _ in range(rnd.randint(0, 3)):
                r = rnd.random()
                if r < 0.4:
                    # Inside a run.
                    pieces.append((doc.words(1) + breaks() + doc.words(1), doc.plain()))
                elif r < 0.7:
                    # At the end of a run.
                    pieces.append((doc.words(2) + breaks(), doc.plain()))
                elif r < 0.85:
                    # In a run of its own.
                    pieces.append((breaks(), doc.attr(size=rnd.choice([9, 14]))))
                else:
                    pieces.append((breaks(), doc.attr(flags=NB_FLAG)))
                pieces.append((' ' + doc.words(), 0))
            if rnd.random() < 0.4:
                pieces.append((breaks(), rnd.choice([0, doc.plain()])))
            paragraphs.append((0, pieces))
        if rnd.random() < 0.5:
            doc.story(paragraphs)
        else:
            sid = doc.story(paragraphs, bounds=[36, 500, 300, 540])
            doc.text_box(sid, bounds=[320, 500, 580, 540])
    elif feature == 'empty-stories':
        for _ in range(rnd.randint(1, 2)):
            doc.story([(0, [])])
    elif feature == 'boxless-story':
        doc.story(doc.simple_paragraphs(), box=False)
    elif feature == 'empty-paragraphs':
        paragraphs = [(0, [])] * rnd.randint(5, 40)
        if rnd.random() < 0.5:
            paragraphs = doc.simple_paragraphs(1) + paragraphs
        if rnd.random() < 0.5:
            paragraphs = paragraphs + doc.simple_paragraphs(1)
        doc.story(paragraphs)
    elif feature == 'equal-text':
        paragraphs = doc.simple_paragraphs()
        for _ in range(rnd.randint(2, 4)):
            doc.story(paragraphs)
    elif feature == 'combining':
        pieces = []
        for _ in range(rnd.randint(1, 3)):
            pieces += [(doc.words() + ' e', 0),
                       (rnd.choice(['\u0301', '\u0308\u0301', '\u0327']), doc.attr(size=14)),
                       (rnd.choice(['', 'x ']), doc.plain())]
        doc.story([(0, pieces)])
    elif feature == 'non-bmp':
        pieces = [(doc.words() + ' ', 0)]
        for _ in range(rnd.randint(1, 3)):
            pair = rnd.choice(['\ud83d\ude00', '\ud840\udc00', '\ud834\udd1e'])
            if rnd.random() < 0.7:
                pieces += [(pair[0], 0), (pair[1], doc.attr(size=14))]
            else:
                pieces += [(pair, doc.plain())]
            pieces.append((' ' + doc.words(1), 0))
        doc.story([(0, pieces)])
    elif feature == 'rtl-bidi':
        hebrew, arabic = '\u05e9\u05dc\u05d5\u05dd', '\u0633\u0644\u0627\u0645'
        pieces = [(doc.words(1) + ' ', 0), ('\u202b' + hebrew, doc.plain()), ('\u202c ', 0),
                  ('\u2067' + arabic + '\u2069', doc.attr(size=14)), ('\u200f ' + hebrew, 0),
                  ('\u061c' + arabic + '\u200e', doc.plain())]
        doc.story([(0, pieces)] + doc.simple_paragraphs(rnd.randint(0, 1)))
    elif feature == 'nonchar-nul':
        pieces = [(doc.words() + ' ', 0)]
        for _ in range(rnd.randint(1, 3)):
            pieces += [(rnd.choice(['\ufffe', '\uffff', '\ufdd0', '\x00']), doc.plain()),
                       (doc.words(1) + ' ', 0)]
        doc.story([(0, pieces)])
    elif feature == 'long-one-run':
        text = ''
        while len(text) < 70000:
            text += doc.words(8) + ' '
        doc.story([(0, [(text[:70000], doc.plain())])] + doc.simple_paragraphs(rnd.randint(0, 1)))
    elif feature == 'long-many-runs':
        pieces, length = [], 0
        a, b = doc.attr(size=9), doc.attr(font=4, faces=1)
        while length < 70000:
            piece = doc.words(rnd.randint(1, 4)) + ' '
            pieces.append((piece, a if len(pieces) % 2 else b))
            length += len(piece)
        doc.story([(0, pieces)])
    elif feature == 'many-sheets':
        # Kinds interleaved at random, or a few character sheets in front
        # of many paragraph sheets.
        paragraph, character = [], []
        front = rnd.choice([0, rnd.randint(1, 3)])
        for i in range(rnd.randint(24, 48)):
            if i >= front if front else rnd.random() < 0.5:
                paragraph.append(doc.sheet(rnd.choice(['Body', 'Heading', 'Note']) + ' %d' % i,
                                           leftIndent=rnd.choice([6, 12])))
            else:
                character.append(doc.sheet('Emphasis %d' % i, 'character',
                                           faces=rnd.choice([1, 2])))
        paragraph = paragraph or [doc.sheet('Body')]
        for _ in range(rnd.randint(1, 3)):
            paragraphs = []
            for _ in range(rnd.randint(2, 6)):
                style = rnd.choice(character) if character else 0
                paragraphs.append((doc.format_of(rnd.choice(paragraph)),
                                   [(doc.words() + ' ', 0), (doc.words(1), doc.attr(style=style))]))
            doc.story(paragraphs)
    elif feature == 'hidden-across':
        hidden = rnd.randint(5, 90)
        start, end = doc.attr(opcode=32, object=hidden), doc.attr(opcode=64, object=hidden)
        doc.story([(0, [(doc.words() + ' ', 0), ('\u2039x', start), (doc.words(), 0)]),
                   (0, [(doc.words(), doc.plain())] * rnd.randint(0, 1)),
                   (0, [(doc.words(1), 0), ('\u203ax', end), (' ' + doc.words(), 0)])])
    elif feature == 'locked-box':
        doc.story(doc.long_paragraphs(rnd.randint(2, 5)), locked=True,
                  bounds=[36, 600, 200, 630])
    elif feature == 'locked-group':
        # The group locked, or a member of it.
        member = rnd.random() < 0.5
        group = doc.item(kind='group', bounds=[36, 600, 300, 700], **({} if member else {'locked': True}))
        doc.story(doc.long_paragraphs(rnd.randint(2, 5)), group=group, bounds=[36, 600, 200, 630],
                  **({'locked': True} if member else {}))
    elif feature == 'locked-layer':
        layers = doc.extra.setdefault('layers', [])
        layers.append({'id': len(layers) + 1, 'name': 'Locked %d' % len(layers), 'locked': True})
        doc.story(doc.long_paragraphs(rnd.randint(2, 5)), layer=len(layers),
                  bounds=[36, 600, 200, 630])
    elif feature == 'locked-story':
        doc.story(doc.simple_paragraphs(), options=1)
    elif feature == 'item-ids':
        # The ids start near the top already (generate); this box takes
        # the top one: none is left when the gap is 0.
        doc.next_id = MAX_ITEM_ID - 101 - doc.gap
        doc.story(doc.simple_paragraphs(1))
    elif feature == 'story-ids':
        for sid in rnd.sample([2147483647, 2147483646, 65535, 65536, 32767, 32768], rnd.randint(1, 2)):
            doc.story(doc.simple_paragraphs(1), sid=sid)
    elif feature == 'skip-hidden':
        paragraphs, pieces, open_ids = [], [(doc.words() + ' ', 0)], []
        for _ in range(rnd.randint(2, 6)):
            r = rnd.random()
            if r < 0.35 or (open_ids and r < 0.7):
                # An opening marker, or the closing one of the latest open.
                if open_ids and r >= 0.35:
                    pieces.append(('\u203a', doc.attr(opcode=64, object=open_ids.pop())))
                else:
                    open_ids.append(rnd.randint(5, 90))
                    pieces.append(('\u2039', doc.attr(opcode=32, object=open_ids[-1])))
            elif r < 0.8:
                pieces.append(('##', doc.attr(opcode=rnd.choice([2, 3, 4, 8, 96, 100]), object=rnd.randint(2, 40))))
            elif r < 0.9:
                unit, op = rnd.choice(PAGE_NUMBERS)
                pieces.append((unit, doc.attr(opcode=op)))
            else:
                paragraphs.append((0, pieces))
                pieces = []
            pieces.append((' ' + doc.words(), doc.plain()))
        for hidden in reversed(open_ids):
            pieces += [('\u203a', doc.attr(opcode=64, object=hidden)), (' ' + doc.words(1), 0)]
        doc.story(paragraphs + [(0, pieces)])
    elif feature == 'item-data':
        data = lambda: {'%08x' % rnd.randrange(1 << 32): bytes(rnd.randrange(256) for _ in
                                                                range(rnd.randint(0, 12))).hex()}
        doc.extra['data'] = data()
        page = doc.spreads(0)[0]['pages'][0]
        page['data'] = data()
        doc.story(doc.simple_paragraphs(1), data=data())
    elif feature == 'unusable-box':
        polygon = rnd.choice([[[10, 10]], [[0, 0], [40, 200]]])
        shape = rnd.choice([{'bounds': [100, 200, 300, 200]}, {'bounds': [100, 260, 300, 200]},
                            {'bounds': [100, 200, 300, 240], 'polygon': polygon},
                            {'bounds': [100, 200, 300, 240], 'polygon': polygon,
                             'shape': rnd.choice([9, 10, 11, 12])}])
        r = rnd.random()
        if r < 0.4:
            inner = [doc.anchor(doc.item(kind='picture', bounds=[0, 0, 20, 20]))]
        elif r < 0.8:
            hidden = rnd.randint(5, 90)
            inner = [('\u2039x', doc.attr(opcode=32, object=hidden)), (doc.words(1), 0),
                     ('\u203ax', doc.attr(opcode=64, object=hidden))]
        else:
            inner = [(doc.words(40), 0)]
        doc.story([(0, [(doc.words(7) + ' ', 0)] + inner + [(' ' + doc.words(7), 0)])], **shape)
        doc.story(doc.simple_paragraphs())


def dropped_units(doc, story):
    """Whether the story holds units the export does not write."""
    pos = 0
    for a, length in story.get('runs', []):
        if not doc.attrs[a].get('opcode'):
            if any(c in DROPPED for c in story['text'][pos:pos + length]):
                return True
        pos += length
    return False


def generate(seed, index, min_features):
    rnd = random.Random(seed * 100003 + index)
    doc = Doc(rnd)
    # Every feature turns up in a share of the corpus; a document takes one
    # to three of them.
    features = sorted(rnd.sample(FEATURES, rnd.randint(1, 3)) + list(min_features),
                      key=FEATURES.index)
    features = list(dict.fromkeys(features))
    if 'item-ids' in features:
        # Item ids from near the top: a few are left, or none.
        doc.gap = rnd.choice([0, 1, 4, 40])
        doc.next_id = MAX_ITEM_ID - 101 - doc.gap - 120
    doc.story(doc.simple_paragraphs())
    for feature in features:
        add_feature(doc, feature)
    info = {'ids_near_top': 'item-ids' in features,
            'dropped': any(dropped_units(doc, s) for s in doc.stories),
            'skip_hidden': 'skip-hidden' in features,
            'boxless': sorted(set(s['id'] for s in doc.stories) -
                              set(b.get('story') for b in doc.boxes))}
    return features, doc.json(), info


# --- comparing ------------------------------------------------------------

def units(text):
    """A story's text as one character per UTF-16 unit (a file may give the
    units as numbers, or characters beyond the BMP as one)."""
    if isinstance(text, list):
        return ''.join(chr(u) for u in text)
    raw = text.encode('utf-16-le', 'surrogatepass')
    return ''.join(chr(raw[i] | raw[i + 1] << 8) for i in range(0, len(raw), 2))


def story_tables(story):
    """Text, paragraph runs and character runs, with an empty story's."""
    return (units(story.get('text', '')), story.get('paragraphs', [[0, 0]]),
            story.get('runs', [[0, 0]]))


def expand(doc, story):
    """The story as (unit, attributes, format) per unit, tag runs left out."""
    attrs = doc.get('characterAttributes', [{}])
    formats = doc.get('paragraphFormats', [{}])
    boxes = {b['id']: b for b in doc.get('boxes', [])}
    units = []
    text, paragraphs, runs = story_tables(story)
    pos = 0
    para_of = []
    for fmt, length in paragraphs:
        para_of += [fmt] * length
    for a, length in runs:
        record = dict(attrs[a]) if a < len(attrs) else {'missing': a}
        for i in range(pos, pos + length):
            unit = text[i] if i < len(text) else ''
            if record.get('opcode') in (135, 136) or (unit in DROPPED and not record.get('opcode')):
                continue
            r = dict(record)
            if r.get('opcode') == 1 and unit == '\ufffc':
                box = boxes.get(r.pop('object', None), {})
                b = box.get('bounds', [0, 0, 0, 0])
                # A text box grows when its text overflows (the import's
                # box fitting): only its kind is compared.
                kind = box.get('kind', 'text' if box.get('story') else 'empty')
                r['anchored'] = (kind,) + (() if kind == 'text' else (b[2] - b[0], b[3] - b[1]))
            if unit in BREAKS and r.get('flags', 0) & NB_FLAG:
                # The container keeps the flag on blanks and hyphens alone.
                r['flags'] &= ~NB_FLAG
                if not r['flags']:
                    del r['flags']
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
    text, paragraphs, runs = story_tables(story)
    keep = []
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
        return out or [[table[0][0], 0]]
    return dict(story, text=''.join(text[i] for i in keep), runs=cut(runs),
                paragraphs=cut(paragraphs))


def compare_stories(source, result, translated, boxless):
    """Faults of the stories of `result` against `source`; stories without a
    box (`boxless`) are not exported and stay as they are, by design."""
    faults = []
    mine = {s['id']: s for s in result.get('stories', [])}
    for story in source['stories']:
        got = mine.get(story['id'])
        if got is None:
            faults.append('story %d missing' % story['id'])
            continue
        text = units(story.get('text', ''))
        if translated and story['id'] not in boxless:
            if PSEUDO not in units(got.get('text', '')) and re.search(r'[a-z]', text):
                faults.append('story %d untranslated' % story['id'])
            got = untranslate(got)
        a, b = expand(source, story), expand(result, got)
        if a == b:
            continue
        if [u[0] for u in a] != [u[0] for u in b]:
            faults.append('story %d text %r -> %r' % (story['id'], text[:200],
                                                      units(got.get('text', ''))[:200]))
        else:
            i = next(i for i in range(len(a)) if a[i] != b[i])
            what = 'attributes' if a[i][1] != b[i][1] else 'format'
            faults.append('story %d %s at %d: %r -> %r' % (story['id'], what, i, a[i][1:], b[i][1:]))
    # A record that no character uses any more may stay in the host's
    # table; a character must never keep the mark.
    records = result.get('characterAttributes', [])
    for story in result.get('stories', []):
        for a, _ in story_tables(story)[2]:
            if a < len(records) and records[a].get('mark'):
                faults.append('story %d: mark %#x left' % (story['id'], records[a]['mark']))
    return faults + item_data_lost(source, result) + locks_lost(source, result) + geometry_changed(source, result)


def geometry_changed(source, result):
    """The boxes of `source` whose bounds, shape or polygon `result` changed
    (an anchored item comes back as a copy under another id); a text box
    whose record the host takes back may grow to fit its text."""
    faults = []
    theirs = {b['id']: b for b in result.get('boxes', [])}
    for box in source.get('boxes', []):
        got = theirs.get(box['id'])
        if got is None:
            continue
        a, b = box.get('bounds'), got.get('bounds')
        usable = a[2] > a[0] and a[3] > a[1] and len(box.get('polygon', [0] * 3)) >= 3
        grown = box.get('story') and usable and a[:2] == b[:2] and b[2] >= a[2] and b[3] >= a[3]
        shape = lambda x: (x.get('shape', 5), x.get('polygon'))
        if shape(box) != shape(got) or (a != b and not grown):
            faults.append('box %d geometry %s -> %s' % (box['id'], (a,) + shape(box), (b,) + shape(got)))
    return faults


def locks_lost(source, result):
    """A locked story that the import left unlocked, and a box the user
    locked (itself or through a group) whose geometry changed."""
    faults = []
    options = {s['id']: s.get('options', 0) for s in result.get('stories', [])}
    for story in source['stories']:
        if story.get('options', 0) != options.get(story['id'], story.get('options', 0)):
            faults.append('story %d options %d -> %d' % (story['id'], story.get('options', 0),
                                                         options[story['id']]))
    boxes = {b['id']: b for b in source.get('boxes', [])}
    theirs = {b['id']: b for b in result.get('boxes', [])}
    def locked(box):
        return box.get('locked') or (box.get('group') in boxes and locked(boxes[box['group']]))
    for box in source.get('boxes', []):
        if locked(box) and box['id'] in theirs and theirs[box['id']].get('bounds') != box.get('bounds'):
            faults.append('locked box %d bounds %s -> %s' % (box['id'], box.get('bounds'),
                                                             theirs[box['id']].get('bounds')))
    return faults


def item_data_lost(source, result):
    """The document's and pages' item data of `source` that `result` lacks,
    and the boxes' own entries (the plug-in's box tags may stand beside)."""
    faults = []
    def entries(doc):
        found = {'document': doc.get('data', {})}
        for l, layout in enumerate(doc.get('layouts', [])):
            for s, spread in enumerate(layout.get('spreads', [])):
                for p, page in enumerate(spread.get('pages', [])):
                    found['page %d.%d.%d' % (l, s, p)] = page.get('data', {})
        for box in doc.get('boxes', []):
            found['box %d' % box['id']] = box.get('data', {})
        return found
    theirs = entries(result)
    for where, data in entries(source).items():
        for key, value in data.items():
            if theirs.get(where, {}).get(key) != value:
                faults.append('item data of %s: %s lost' % (where, key))
    return faults


def user_document_changes(source, saved):
    """The keys of the document that the export changed, and whether it
    changed a layout's view (the export shows the layout spreads)."""
    def strip(doc, view):
        doc = json.loads(json.dumps(doc))
        doc.pop('nextItem', None)
        for box in doc.get('boxes', []):
            box.pop('data', None)
        return doc if view else dict(doc, layouts=[dict(l, view=0) for l in doc.get('layouts', [])])
    a, b = strip(source, False), strip(saved, False)
    changed = sorted(k for k in set(a) | set(b) if a.get(k) != b.get(k))
    return changed, strip(source, True) != strip(saved, True) and not changed


def witness(top):
    """The element witness of the tests (tests/common/kxt_witness_py.h), one
    reading of containers for both."""
    def blocks(name):
        text = open(os.path.join(top, 'tests', 'common', name)).read()
        return re.findall(r'R"PY\((.*?)\)PY"', text, re.S)
    code = blocks('code_file_reader_py.h')[0]
    tree, _, dump = blocks('kxt_witness_py.h')
    scope = {}
    exec(code + tree + dump.split('if __name__')[0], scope)
    return scope['dump']


def letters(text):
    return re.sub(r'[^a-z]', '', text)


def style_name_faults(doc, container, dump):
    """Each paragraph's style name in the container against the sheet the
    document gives it (paragraphs found by their letters)."""
    sheets = {s['id']: s.get('name', '') for s in doc.get('styleSheets', [])
              if s.get('kind', 'paragraph') == 'paragraph'}
    formats = doc.get('paragraphFormats', [{}])
    expected = {}
    for story in doc['stories']:
        text, paragraphs, _ = story_tables(story)
        pos = 0
        for fmt, length in paragraphs:
            style = formats[fmt].get('style', 0) if fmt < len(formats) else 0
            expected.setdefault(letters(text[pos:pos + length]), set()).add(sheets.get(style))
            pos += length
    found = {}
    for line in dump(container, True):
        if not line.startswith('run '):
            continue
        place = line.split()[1].rsplit('.', 1)[0]
        # The run's attributes in force: the JSON object that ends the line.
        at = len(line)
        while True:
            at = line.rfind(' {', 0, at)
            try:
                attrs = json.loads(line[at + 1:])
                break
            except ValueError:
                continue
        content = line[:at].split(' ', 5)[5] if line.split()[2] == 'Unicodes' else '""'
        text, names = found.get(place, ('', set()))
        found[place] = (text + json.loads(content), names | {attrs.get('stylename')})
    faults = []
    for place, (text, names) in sorted(found.items()):
        want = expected.get(letters(text))
        if want and not names & want:
            faults.append('style name of paragraph %s %r: %s, the sheet is %s' %
                          (place, text[:40], '/'.join(map(str, names)), '/'.join(map(str, want))))
    return faults


# --- running --------------------------------------------------------------

def host(build, work, name, answers, commands):
    args = [os.path.join(build, 'host', 'xthost'), '--xtensions', 'XTensions',
            '--transcript', name + '.tr']
    for a in answers:
        args += ['--answer', a]
    run = subprocess.run(args + commands, cwd=work, capture_output=True, timeout=600)
    transcript = open(os.path.join(work, name + '.tr'), errors='replace').read()
    log = open(os.path.join(work, 'BrenixLogfile.txt'), errors='replace').read()
    shutil.copy(os.path.join(work, 'BrenixLogfile.txt'), os.path.join(work, name + '.log'))
    said = re.findall(r'^dialog \d+ text "(.*)"$', transcript, re.M)
    return run.returncode, said, log


def outcome(rc, said, log, done):
    """'done', or 'failed' with the first error line."""
    if rc == 0 and said == [done] and 'ERROR:' not in log:
        return 'done', ''
    return 'failed', 'rc %d %s %s' % (rc, said, first_error(log))


def round_trip(job):
    """A document's export and imports: (index, features, outcomes, faults,
    design), outcomes by step, the design's own results apart from faults."""
    build, top, index, features, doc, info, keep = job
    work = tempfile.mkdtemp(prefix='rt%04d-' % index, dir=keep)
    outcomes, faults, design = {}, [], []
    try:
        os.mkdir(os.path.join(work, 'XTensions'))
        shutil.copy(os.path.join(build, 'plugin', 'brenix', 'libbrenix.so'),
                    os.path.join(work, 'XTensions'))
        subprocess.run([sys.executable, os.path.join(top, 'tools', 'ini_set.py'),
                        os.path.join(work, 'XTensions', 'brenix.ini'), 'QUARK',
                        'AutomaticResizeOfFrames=True'] + ['SkipProcessHidden=True'] * info['skip_hidden'],
                       check=True, capture_output=True)
        os.environ['BRENIX_REGISTRY_ROOT'] = os.path.join(work, 'registry')
        path = lambda n: os.path.join(work, n)
        with open(path('doc.qxp'), 'w') as f:
            json.dump(doc, f)
        rc, said, log = host(build, work, 'export', [path('doc.kxq'), 'OK'],
                             ['start', 'open', path('doc.qxp'), 'menu', 'Export current document', 'quit'])
        outcomes['export'], why = outcome(rc, said, log, 'Export done')
        if outcomes['export'] == 'failed':
            # The working boxes need item ids: with none left the export may
            # fail, and the log says so.
            if info['ids_near_top'] and 'create_box failed: %d' % ERR_REFUSED in log:
                design.append('export failed: item ids used up')
            else:
                faults.append('export: ' + why)
            return index, features, outcomes, faults, design
        changed, view = user_document_changes(doc, json.load(open(path('doc.qxp'))))
        if changed:
            faults.append('user document changed: ' + ', '.join(changed))
        if view:
            design.append('the layout spreads shown after the export')
        faults += style_name_faults(doc, path('doc.kxq'), witness(top))
        if info['boxless']:
            design.append('stories without a box are not exported')
        if info['dropped']:
            design.append('control codes are not written')
        subprocess.run([os.path.join(build, 'tools', 'kxtpseudo', 'kxtpseudo'), path('doc.kxq'),
                        path('tr.kxq')], check=True, capture_output=True)
        for name, container, translated in (('untouched', 'doc.kxq', False),
                                            ('translated', 'tr.kxq', True)):
            rc, said, log = host(build, work, name, [path(container), path(name + '.qxp'), 'OK'],
                                 ['start', 'menu', 'Import Solvane file', 'quit'])
            outcomes[name], why = outcome(rc, said, log, 'Import done')
            if not os.path.exists(path(name + '.qxp')):
                faults.append('%s import: %s, no document' % (name, why))
                continue
            found = ['%s: %s' % (name, f) for f in
                     compare_stories(doc, json.load(open(path(name + '.qxp'))), translated,
                                     info['boxless'])]
            if outcomes[name] == 'failed' and not found:
                faults.append('%s import failed, every story came back: %s' % (name, why))
            elif outcomes[name] == 'failed':
                faults.append('%s import: %s' % (name, why))
            faults += found
        return index, features, outcomes, faults, design
    finally:
        if keep is None:
            shutil.rmtree(work, ignore_errors=True)


def first_error(log):
    for line in log.splitlines():
        if 'ERROR' in line or 'not found' in line:
            return line.strip()[:160]
    return ''


CLASSES = (
    ('locked box fails the import', r'store_box_record failed: -5007'),
    ('stored copy does not open', r'Unable to open document for import'),
    ('style name of another sheet', r'style name of paragraph|style_sheet failed'),
    ('current layout not imported', r'box for story \d+ is not found'),
    ('object beside an object lost', r'anchored object without id|\ufffc.*->'),
    ('equal keys: object swapped or marked', r"mark|\('object', \d+\).*-> .*\('object', \d+\)"),
    ('sheet tabs on a tab-less format', r"format at .*'tabs'"),
    ('false failure after import', r'host call failed while the stories'),
    ('special character joined an object', r"attributes at \d+: \(\(\), \(\)\) ->"),
    ('user document changed', r'user document changed'),
    ('non-breaking flag lost', r"\('flags', 128\)"),
    ('item data lost', r'item data of'),
    ('story lock lost', r'story \d+ options'),
    ('locked box grown', r'locked box \d+ bounds'),
    ('box bounds or shape changed', r'box \d+ geometry'),
    ('export failed', r'^export:'),
    ('import failed, every story came back', r'every story came back'),
    ('import failed', r'import:'),
)


def classify(fault):
    """The class of a fault: the first whose pattern it matches."""
    for name, pattern in CLASSES:
        if re.search(pattern, fault):
            return name
    return 'other'


def report(results):
    """The table by feature and the documents by class of fault."""
    columns = ('documents', 'exp done', 'exp fail', 'imp done', 'imp fail', 'faulty', 'design')
    print('\n%-18s' % 'feature' + ''.join('%10s' % c for c in columns))
    for feature in FEATURES + [None]:
        docs = [r for r in results if feature is None or feature in r[1]]
        count = lambda step, what: sum(1 for r in docs for s in step if r[2].get(s) == what)
        imports = ('untouched', 'translated')
        row = (len(docs), count(['export'], 'done'), count(['export'], 'failed'),
               count(imports, 'done'), count(imports, 'failed'),
               sum(1 for r in docs if r[3]), sum(1 for r in docs if r[4]))
        print('%-18s' % (feature or 'all') + ''.join('%10d' % n for n in row))
    classes = {name: set() for name, _ in CLASSES}
    classes['other'] = set()
    designs = {}
    for index, _, _, faults, design in results:
        for f in faults:
            classes[classify(f)].add(index)
        for d in design:
            designs.setdefault(d, set()).add(index)
    faulty = sum(1 for r in results if r[3])
    print('\ndocuments %d, faulty %d; documents by class of fault:' % (len(results), faulty))
    for name, docs in classes.items():
        print('  %-40s %d' % (name, len(docs)))
    print('documents with an "Import failed" whose stories all came back: %d' %
          sum(1 for r in results if any('every story came back' in f for f in r[3])))
    print('results of the design (no faults):')
    for name, docs in sorted(designs.items()):
        print('  %-40s %d' % (name, len(docs)))
    return faulty


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('build')
    parser.add_argument('--count', type=int, default=320)
    parser.add_argument('--seed', type=int, default=1)
    parser.add_argument('-j', type=int, default=os.cpu_count())
    parser.add_argument('--keep')
    parser.add_argument('--min-per-feature', type=int, default=5)
    parser.add_argument('--features', help='only the documents with one of these features '
                        '(comma-separated; the others are made and left out)')
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
    wanted = args.features.split(',') if args.features else FEATURES
    jobs = []
    for i in range(args.count):
        # The first documents take each feature in turn, so that every
        # feature reaches its minimum even in a small corpus.
        forced = [FEATURES[i % len(FEATURES)]] if i < args.min_per_feature * len(FEATURES) else []
        features, doc, info = generate(args.seed, i, forced)
        if set(features) & set(wanted):
            jobs.append((build, top, i, features, doc, info, args.keep))
    results = []
    with multiprocessing.Pool(args.j) as pool:
        for result in pool.imap_unordered(round_trip, jobs):
            results.append(result)
            index, features, outcomes, faults, design = result
            print('%4d %-50s %s%s' % (index, ','.join(features),
                                      'ok' if not faults else 'FAULT ' + ' | '.join(faults),
                                      ''.join(' (%s)' % d for d in design)), flush=True)
    return 1 if report(results) else 0


if __name__ == '__main__':
    sys.exit(main())
