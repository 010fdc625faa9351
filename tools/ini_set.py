#!/usr/bin/env python3
"""Sets keys of one section of a settings file, keeping its other lines.

    ini_set.py FILE SECTION KEY=VALUE...

The file is made when missing; a key already in the section (names compared
without case) takes the new value in place, the others are added at the end
of the section, which is added at the end of the file when missing.
"""
import sys


def main(argv):
    if len(argv) < 4 or any('=' not in pair for pair in argv[3:]):
        sys.stderr.write(__doc__)
        return 2
    path, wanted_section = argv[1], argv[2]
    wanted = {}
    for pair in argv[3:]:
        key, value = pair.split('=', 1)
        wanted[key.strip().lower()] = (key.strip(), value.strip())
    try:
        lines = open(path, encoding='latin-1').read().splitlines()
    except FileNotFoundError:
        lines = []
    section, out, done, seen = None, [], set(), False

    def finish():
        for key, (name, value) in wanted.items():
            if key not in done:
                out.append('%s = %s' % (name, value))
                done.add(key)

    for line in lines:
        stripped = line.strip()
        if stripped.startswith('[') and stripped.endswith(']'):
            if section == wanted_section.lower():
                finish()
            section = stripped[1:-1].strip().lower()
            seen = seen or section == wanted_section.lower()
        elif section == wanted_section.lower() and '=' in stripped and not stripped.startswith(';'):
            key = stripped.split('=', 1)[0].strip().lower()
            if key in wanted:
                out.append('%s = %s' % (stripped.split('=', 1)[0].strip(), wanted[key][1]))
                done.add(key)
                continue
        out.append(line)
    if section == wanted_section.lower():
        finish()
    if not seen:
        out.append('[%s]' % wanted_section)
        finish()
    with open(path, 'w', encoding='latin-1') as f:
        f.write('\n'.join(out) + '\n')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
