#!/usr/bin/env python3
"""Sets keys of one section of a settings file, keeping its other lines.

    ini_set.py FILE SECTION KEY=VALUE...

The file is made when missing; a key already in the section (names compared
without case) takes the new value in place, the others are added at the end
of the section, which is added at the end of the file when missing.
"""
import errno
import fcntl
import os
import stat
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
    replace(path, ('\n'.join(out) + '\n').encode('latin-1'))
    return 0


def replace(path, data):
    """Writes data to a new file beside path (".~PID-N", made exclusive and
    locked until it is renamed, as the program's own outputs are), synced,
    with the owner, group and mode of the file it replaces (an owner or
    group it may not give is named on standard error), and renames it over
    path, then syncs the folder: a run that fails or is killed leaves path
    as it was.  The new file is no wider than the file it replaces from the
    start (as the program's own files beside a target).  Once renamed it is
    written: a failed sync of the folder is a WARNING on standard error."""
    folder = os.path.dirname(path)
    mode = create_mode(folder, path)
    for number in range(1, 101):
        temp = os.path.join(folder, '.~%d-%d' % (os.getpid(), number))
        try:
            fd = os.open(temp, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC, mode)
            break
        except FileExistsError:
            continue
    else:
        raise OSError('no temporary name beside %s' % path)
    try:
        with os.fdopen(fd, 'wb') as f:
            fcntl.flock(f.fileno(), fcntl.LOCK_EX | fcntl.LOCK_NB)
            f.write(data)
            f.flush()
            try:
                before = os.stat(path)
                if stat.S_ISREG(before.st_mode):
                    keep_owner(f.fileno(), path, before)
                    os.fchmod(f.fileno(), stat.S_IMODE(before.st_mode))
            except FileNotFoundError:
                pass
            os.fsync(f.fileno())
            os.rename(temp, path)
    except BaseException:
        try:
            os.unlink(temp)
        except OSError:
            pass
        raise
    try:
        folder_fd = os.open(folder or '.', os.O_RDONLY | os.O_DIRECTORY)
        try:
            os.fsync(folder_fd)
        finally:
            os.close(folder_fd)
    except OSError as error:
        if error.errno != errno.EINVAL:
            sys.stderr.write('WARNING: the folder "%s" was not synced after "%s" was written (%s): the file is in '
                             'place but may not survive a power cut\n' % (folder or '.', path, error.strerror))


def create_mode(folder, path):
    """The mode a new file beside path is made with (before the umask): no
    wider than a regular file at path (its group's bits only when the new
    file gets that group; the owner may read and write), else 0o666."""
    try:
        before = os.stat(path)
    except OSError:
        return 0o666
    if not stat.S_ISREG(before.st_mode):
        return 0o666
    try:
        there = os.stat(folder or '.')
        group = there.st_gid if there.st_mode & stat.S_ISGID else os.getegid()
    except OSError:
        group = os.getegid()
    return 0o600 | (before.st_mode & (0o066 if group == before.st_gid else 0o006))


def keep_owner(fd, path, before):
    """Gives the file open at fd the owner and group of the file path held."""
    own = os.fstat(fd)
    if (own.st_uid, own.st_gid) == (before.st_uid, before.st_gid):
        return
    try:
        os.fchown(fd, before.st_uid, before.st_gid)
    except PermissionError as error:
        if own.st_gid != before.st_gid:
            try:
                os.fchown(fd, -1, before.st_gid)
            except PermissionError:
                pass
        own = os.fstat(fd)
        sys.stderr.write('Warning: "%s" was replaced by a file of owner %d and group %d, not those of the file '
                         'it replaced (owner %d, group %d): %s\n'
                         % (path, own.st_uid, own.st_gid, before.st_uid, before.st_gid, error.strerror))


if __name__ == '__main__':
    sys.exit(main(sys.argv))
