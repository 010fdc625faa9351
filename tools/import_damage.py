#!/usr/bin/python3
"""Imports damaged containers through xthost and counts what became of them.

    import_damage.py --xthost X --library L --fixture DOC.json --work DIR
                     [--count N] [--seed S] [--jobs J] [--timeout T] [--table FILE]

A container is exported from the fixture once; N copies of it are damaged
(seeded, so a run can be repeated) and each is imported in a fresh
installation, as a user imports it from the menu.  Every run is sorted into
one outcome:

  failed            "Import failed", a log line saying why, no target left
  failed-saved      "Import failed": a story found no box, the rest was imported and saved
  failed-target     "Import failed", and another file is left under the target's name
  failed-silent     "Import failed" without an ERROR line in the log
  done-same         "Import done", the stories as the undamaged import gives them
  done-changed      "Import done", as many characters, some of them others
  done-lost         "Import done" with fewer characters than the undamaged import
  no-result         no result dialog at all
  crash             a sanitizer report, a signal or an unexpected exit status
  hang              no end within the time limit

The table goes to standard output (and --table).  Exit status 1 when any run
crashed, hung, ended without a result, ended "Import done" with lost text or
failed leaving its target; else 0.  Needs python3-olefile.
"""
import argparse
import collections
import concurrent.futures
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile

import olefile

CODE_FILE = 'SolvaneTextAndCode/SolvaneCodeFile'
STORED = 'SolvanePluginPrivateData/BrenixExportTemplates/0'
SECTOR = 512
FREE, END_OF_CHAIN = 0xFFFFFFFF, 0xFFFFFFFE
CLOCK = '2024-03-07 09:05:01'


# --- the container's parts -----------------------------------------------------

def code_file_entries(data):
    """Directory entries of a code-file stream: (name, id, kind, table offset,
    segments [(offset, length)] last first, entry offset)."""
    count, directory = struct.unpack_from('<II', data, 0)
    raw = [struct.unpack_from('<IiBI', data, directory + 13 * i) for i in range(count)]
    p = directory + 13 * count
    m, = struct.unpack_from('<I', data, p)
    p += 4
    names = {}
    for _ in range(m):
        n, = struct.unpack_from('<H', data, p)
        p += 2
        name = data[p:p + n]
        p += n
        number, = struct.unpack_from('<I', data, p)
        p += 4
        names[number] = name
    entries = []
    for i, (number, sid, kind, table) in enumerate(raw):
        n, = struct.unpack_from('<I', data, table)
        segments = [struct.unpack_from('<II', data, table + 4 + 8 * k) for k in range(n)]
        entries.append((names[number], sid, kind, table, segments, directory + 13 * i))
    return entries


def first_byte(entry):
    """Offset of a stored stream's first byte in the code file (its first
    segment is listed last)."""
    return entry[4][-1][0] if entry[4] else None


def fat_of(raw):
    """The sector allocation table of a compound file's bytes, and the size
    of its sectors."""
    shift, = struct.unpack_from('<H', raw, 0x1E)
    size = 1 << shift
    count, = struct.unpack_from('<I', raw, 0x2C)
    difat = struct.unpack_from('<109I', raw, 0x4C)[:count]
    fat = []
    for s in difat:
        at = (s + 1) * size
        fat.extend(struct.unpack_from('<%dI' % (size // 4), raw, at))
    return fat, size, difat


def stream_start(raw, path):
    """First sector and size of a stream by its path, from the directory."""
    ole = olefile.OleFileIO(raw)
    sid = ole._find(path)
    entry = ole.direntries[sid]
    ole.close()
    return entry.isectStart, entry.size, sid


# --- damages -------------------------------------------------------------------

def rewrite(raw, path, change):
    """The file with stream `path` rewritten in place by change(bytes) (the
    size stays)."""
    with tempfile.NamedTemporaryFile(suffix='.kxq', delete=False) as f:
        f.write(raw)
        name = f.name
    try:
        ole = olefile.OleFileIO(name, write_mode=True)
        data = bytearray(ole.openstream(path).read())
        change(data)
        ole.write_stream(path, bytes(data))
        ole.close()
        with open(name, 'rb') as f:
            return f.read()
    finally:
        os.unlink(name)


def bit_flips(raw, rng):
    out = bytearray(raw)
    for _ in range(rng.randint(1, 8)):
        i = rng.randrange(len(out))
        out[i] ^= 1 << rng.randrange(8)
    return bytes(out), 'bits'


def truncation(raw, rng):
    return raw[:rng.randrange(len(raw))], 'truncated'


def swapped_sectors(raw, rng):
    count = len(raw) // SECTOR - 1
    a, b = rng.sample(range(count), 2)
    out = bytearray(raw)
    sa, sb = (a + 1) * SECTOR, (b + 1) * SECTOR
    out[sa:sa + SECTOR], out[sb:sb + SECTOR] = raw[sb:sb + SECTOR], raw[sa:sa + SECTOR]
    return bytes(out), 'sectors'


def chain_cycle(raw, rng):
    """A stream's sector chain turned back on itself."""
    path = rng.choice([CODE_FILE, STORED])
    start, _, _ = stream_start(raw, path)
    fat, size, difat = fat_of(raw)
    chain = [start]
    while fat[chain[-1]] not in (FREE, END_OF_CHAIN) and len(chain) < len(fat):
        chain.append(fat[chain[-1]])
    at = rng.randrange(len(chain))
    to = chain[rng.randrange(at + 1)]
    index = chain[at]
    out = bytearray(raw)
    struct.pack_into('<I', out, (difat[index // (size // 4)] + 1) * size + 4 * (index % (size // 4)), to)
    return bytes(out), 'cycle'


def oversized(raw, rng):
    """A length far beyond the file: a stream's size in the directory, or a
    segment's length or the entry count in the code file."""
    where = rng.randrange(3)
    huge = rng.choice([0x7FFFFFFF, 0xFFFFFFF0, 0x10000000, len(raw) * 4])
    if where == 0:
        _, _, sid = stream_start(raw, rng.choice([CODE_FILE, STORED]))
        ole = olefile.OleFileIO(raw)
        dirsect = ole.first_dir_sector
        ole.close()
        fat, size, _ = fat_of(raw)
        sector, per = dirsect, size // 128
        for _ in range(sid // per):
            sector = fat[sector]
        out = bytearray(raw)
        struct.pack_into('<I', out, (sector + 1) * size + (sid % per) * 128 + 0x78, huge)
        return bytes(out), 'oversized-stream'

    def change(data):
        entries = code_file_entries(bytes(data))
        if where == 1:
            entry = rng.choice([e for e in entries if e[4]])
            struct.pack_into('<I', data, entry[3] + 4 + 8 * rng.randrange(len(entry[4])) + 4, huge)
        else:
            struct.pack_into('<I', data, 0, huge)
    return rewrite(raw, CODE_FILE, change), 'oversized-codefile'


def code_file_damage(raw, rng):
    """Damage inside the code-file stream: a text run's type tag, a stream
    (an attribute table's among them) gone, bytes flipped in one stream."""
    kind = rng.choice(['tag', 'tag', 'attrs', 'gone', 'bytes'])

    def change(data):
        entries = code_file_entries(bytes(data))
        if kind == 'tag':
            entry = rng.choice([e for e in entries if e[0].endswith(b'!1:Unicodes') and e[4]])
            struct.pack_into('<H', data, first_byte(entry), rng.choice([0, 2, 4, 6, 9, 11, 13, 0xFFFF]))
        elif kind in ('attrs', 'gone'):
            fields = (b'm_NameRef', b'm_ValueRef') if kind == 'attrs' else (b'',)
            entry = rng.choice([e for e in entries if e[0].endswith(fields)])
            # Another id: the stream is no longer found under its name.
            struct.pack_into('<i', data, entry[5] + 4, 0x7FFF0000 + rng.randrange(0xFFFF))
        else:
            entry = rng.choice([e for e in entries if e[4]])
            start = first_byte(entry)
            length = entry[4][-1][1]
            for _ in range(rng.randint(1, 4)):
                data[start + rng.randrange(max(length, 1))] ^= 1 << rng.randrange(8)
    return rewrite(raw, CODE_FILE, change), 'codefile-' + kind


def stored_damage(raw, rng):
    """The stored host document: bytes flipped, or its tail zeroed."""
    def change(data):
        if rng.random() < 0.5:
            for _ in range(rng.randint(1, 6)):
                data[rng.randrange(len(data))] ^= 1 << rng.randrange(8)
        else:
            cut = rng.randrange(len(data))
            data[cut:] = bytes(len(data) - cut)
    return rewrite(raw, STORED, change), 'stored'


DAMAGES = [bit_flips, truncation, swapped_sectors, chain_cycle, oversized, code_file_damage,
           stored_damage]


# --- runs ------------------------------------------------------------------------

class Host:
    def __init__(self, xthost, library, timeout):
        self.xthost, self.library, self.timeout = xthost, library, timeout

    def install(self, root):
        os.makedirs(os.path.join(root, 'XTensions'))
        os.symlink(self.library, os.path.join(root, 'XTensions', 'libbrenix.so'))
        with open(os.path.join(root, 'XTensions', 'brenix.ini'), 'w') as f:
            f.write('[QUARK]\nSetUniqueID=True\n')

    def run(self, root, args):
        env = {k: v for k, v in os.environ.items() if not k.startswith(('XTHOST_', 'BRENIX_'))}
        env['XTHOST_CLOCK'] = CLOCK
        env['BRENIX_REGISTRY_ROOT'] = os.path.join(root, 'registry')
        try:
            p = subprocess.run([self.xthost, '--xtensions', 'XTensions', '--transcript', 'transcript.txt'] + args,
                               cwd=root, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               timeout=self.timeout)
        except subprocess.TimeoutExpired:
            return None, '', ''
        return p.returncode, p.stderr.decode('utf-8', 'replace'), read(os.path.join(root, 'transcript.txt'))

    def stories(self, root, document):
        _, _, transcript = self.run(root, ['start', 'open', document, 'stories'])
        return [line for line in transcript.splitlines() if line.startswith(('story ', '  paragraph '))]


def read(path):
    try:
        with open(path, 'rb') as f:
            return f.read().decode('utf-8', 'replace')
    except OSError:
        return ''


def characters(stories):
    """The characters of the stories' paragraphs (between the quotes)."""
    return sum(len(line[line.index('"'):]) for line in stories if line.startswith('  paragraph '))


def import_one(host, root, container):
    """Imports `container` in a fresh installation under `root`: outcome and
    the first line that tells why."""
    host.install(root)
    source = os.path.join(root, 'source.kxq')
    target = os.path.join(root, 'result.qxp')
    with open(source, 'wb') as f:
        f.write(container)
    status, errors, transcript = host.run(root, ['--answer', source, '--answer', target, 'start',
                                                 'menu', 'Import Solvane file'])
    if status is None:
        return 'hang', None, ''
    if 'Sanitizer' in errors or 'runtime error:' in errors or status not in (0, 1):
        return 'crash', None, next((l for l in errors.splitlines() if 'ERROR' in l or 'runtime' in l), str(status))
    results = [l for l in transcript.splitlines() if l.startswith('dialog ') and ' text "Import ' in l]
    log = read(os.path.join(root, 'BrenixLogfile.txt'))
    why = next((l.strip() for l in log.splitlines() if 'ERROR' in l or 'FAILED' in l), '')
    if not results:
        return 'no-result', None, why
    if 'Import failed' in results[-1]:
        if os.path.exists(target):
            # A story that found no box: the rest is imported and saved.
            saved = '####box for story' in log and '... finished.' in log
            return ('failed-saved' if saved else 'failed-target'), None, why
        return ('failed' if why else 'failed-silent'), None, why
    return 'done', host.stories(root, target), why


def make_reference(host, fixture, work):
    """Exports the fixture and imports the container undamaged: the
    container's bytes and the stories the import gives."""
    root = os.path.join(work, 'reference')
    shutil.rmtree(root, ignore_errors=True)
    host.install(root)
    shutil.copy(fixture, os.path.join(root, 'doc.qxp'))
    container = os.path.join(root, 'out.kxq')
    host.run(root, ['--answer', container, 'start', 'open', 'doc.qxp', 'menu', 'Export current document'])
    with open(container, 'rb') as f:
        raw = f.read()
    outcome, stories, why = import_one(host, os.path.join(root, 'import'), raw)
    if outcome != 'done' or not stories:
        sys.exit('the undamaged container does not import: %s %s' % (outcome, why))
    return raw, stories


def damaged(raw, seed, index):
    rng = random.Random('%d/%d' % (seed, index))
    damage = DAMAGES[index % len(DAMAGES)]
    try:
        return damage(raw, rng)
    except Exception:  # a damage that does not apply to this file: flip bits instead
        return bit_flips(raw, rng)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('--xthost', required=True)
    ap.add_argument('--library', required=True)
    ap.add_argument('--fixture', required=True)
    ap.add_argument('--work', required=True)
    ap.add_argument('--count', type=int, default=1000)
    ap.add_argument('--seed', type=int, default=1)
    ap.add_argument('--jobs', type=int, default=4)
    ap.add_argument('--timeout', type=float, default=120)
    ap.add_argument('--table')
    ap.add_argument('--keep', action='store_true', help='keep the folders of bad outcomes')
    args = ap.parse_args()

    host = Host(os.path.abspath(args.xthost), os.path.abspath(args.library), args.timeout)
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    raw, reference = make_reference(host, args.fixture, work)
    total = characters(reference)

    def job(index):
        container, damage = damaged(raw, args.seed, index)
        root = os.path.join(work, 'run%04d' % index)
        shutil.rmtree(root, ignore_errors=True)
        outcome, stories, why = import_one(host, root, container)
        if outcome == 'done':
            count = characters(stories)
            outcome = 'done-same' if stories == reference else ('done-lost' if count < total else 'done-changed')
        bad = outcome in ('crash', 'hang', 'no-result', 'done-lost', 'failed-target')
        if not (bad and args.keep):
            shutil.rmtree(root, ignore_errors=True)
        return index, damage, outcome, why

    results = []
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
        for result in pool.map(job, range(args.count)):
            results.append(result)

    by = collections.Counter((damage, outcome) for _, damage, outcome, _ in results)
    outcomes = sorted({o for _, o in by})
    damages = sorted({d for d, _ in by})
    lines = ['damaged containers: %d (seed %d)' % (args.count, args.seed), '']
    lines.append('%-20s' % 'damage' + ''.join('%15s' % o for o in outcomes) + '%8s' % 'all')
    for d in damages:
        lines.append('%-20s' % d + ''.join('%15d' % by[(d, o)] for o in outcomes) +
                     '%8d' % sum(by[(d, o)] for o in outcomes))
    totals = collections.Counter(o for _, _, o, _ in results)
    lines.append('%-20s' % 'all' + ''.join('%15d' % totals[o] for o in outcomes) + '%8d' % len(results))
    reasons = collections.Counter(why for _, _, o, why in results if o.startswith('failed'))
    lines += ['', 'log lines of the failures:']
    lines += ['%6d  %s' % (n, why) for why, n in reasons.most_common(12)]
    bad = [(i, d, o, w) for i, d, o, w in results
           if o in ('crash', 'hang', 'no-result', 'done-lost', 'failed-target')]
    if bad:
        lines += ['', 'bad outcomes:'] + ['  #%d %s %s %s' % b for b in bad[:40]]
    text = '\n'.join(lines) + '\n'
    sys.stdout.write(text)
    if args.table:
        with open(args.table, 'w') as f:
            f.write(text)
    return 1 if bad else 0


if __name__ == '__main__':
    sys.exit(main())
