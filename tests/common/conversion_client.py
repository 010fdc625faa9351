"""A client of the conversion server's wire, written from the protocol alone.

A client connects, sends the password line, then one command per line; an
export command runs one job (shared-folder or socket mode) that ends with
"export finished".

Lines end in a line feed.  Files travel as 31944-byte transfer blocks: a flag
byte (0x01 full, 0x02 last, 0x04 cancel, 0x08 compressed), then either 31943
payload bytes (full block) or a little-endian 16-bit length and at most 31941
payload bytes.  A compressed file is one zlib stream cut into payloads.
Every function raises ProtocolError when the server answers otherwise than
the dialogue says.
"""
import socket
import struct
import zlib

BLOCK = 31944
FULL, LAST, CANCEL, COMPRESSED = 0x01, 0x02, 0x04, 0x08
FULL_PAYLOAD = 31943
MAX_LENGTH = 31941


class ProtocolError(Exception):
    pass


class Client:
    """One connection to 127.0.0.1 on `port`; `rcvbuf` sets the size of its
    receive buffer before it connects."""

    def __init__(self, port, timeout=10.0, rcvbuf=None):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            if rcvbuf is not None:
                self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, rcvbuf)
            self.sock.settimeout(timeout)
            self.sock.connect(('127.0.0.1', port))
        except OSError:
            self.sock.close()
            raise
        self.pending = b''

    def close(self):
        self.sock.close()

    def send_raw(self, data):
        self.sock.sendall(data)

    def send_line(self, text):
        if isinstance(text, str):
            text = text.encode('utf-8', 'surrogateescape')
        self.sock.sendall(text + b'\n')

    def _fill(self):
        chunk = self.sock.recv(65536)
        if not chunk:
            return False
        self.pending += chunk
        return True

    def read_line(self):
        """The next line without its line feed; None when the server closed
        first."""
        while b'\n' not in self.pending:
            if not self._fill():
                if self.pending:
                    raise ProtocolError('line without line feed: %r' % self.pending)
                return None
        line, _, self.pending = self.pending.partition(b'\n')
        return line.decode('utf-8', 'surrogateescape')

    def read_exact(self, n):
        while len(self.pending) < n:
            if not self._fill():
                raise ProtocolError('closed after %d of %d bytes' % (len(self.pending), n))
        data, self.pending = self.pending[:n], self.pending[n:]
        return data

    def closed_by_server(self):
        """True when the server has closed its end (nothing more to read)."""
        try:
            while self._fill():
                pass
            return True
        except (ConnectionResetError, socket.timeout):
            return False

    def expect(self, word):
        line = self.read_line()
        if line != word:
            raise ProtocolError('expected %r, got %r' % (word, line))


def block(flags, payload, length=None):
    """One block on the wire.  A length block may announce `length` in place
    of the payload's own."""
    if flags & FULL:
        assert len(payload) == FULL_PAYLOAD
        return bytes([flags]) + payload
    n = len(payload) if length is None else length
    body = struct.pack('<H', n) + payload
    return bytes([flags]) + body + bytes(BLOCK - 1 - len(body))


def parse_block(raw):
    """(flags, payload) of one received block."""
    flags = raw[0]
    if flags & FULL:
        return flags, raw[1:]
    n, = struct.unpack_from('<H', raw, 1)
    if 3 + n > BLOCK:
        raise ProtocolError('block announces %d bytes' % n)
    return flags, raw[3:3 + n]


def pieces(data):
    """`data` cut into payloads: full ones while they fill a block, then
    length ones of at most 31941 bytes."""
    out, at = [], 0
    while len(data) - at >= FULL_PAYLOAD:
        out.append(data[at:at + FULL_PAYLOAD])
        at += FULL_PAYLOAD
    while at < len(data):
        out.append(data[at:at + MAX_LENGTH])
        at += MAX_LENGTH
    return out


def plain_blocks(data):
    """The blocks of a plain file: payloads, then an empty last block."""
    return [block(FULL if len(p) == FULL_PAYLOAD else 0, p) for p in pieces(data)] + [block(LAST, b'')]


def compressed_blocks(data, level=1, stream=None):
    """The blocks of a compressed file: the zlib stream of `data` (or the
    given stream) in payloads with the compressed flag, then an empty last
    block."""
    if stream is None:
        stream = zlib.compress(data, level)
    out = [block(COMPRESSED | (FULL if len(p) == FULL_PAYLOAD else 0), p) for p in pieces(stream)]
    return out + [block(LAST, b'')]


def upload(client, name, data, compress=False, blocks=None):
    """Sends one file; `blocks` replaces the blocks made from `data`."""
    client.send_line('file_transfer_start')
    client.expect('file_transfer_start ok')
    client.send_line(name)
    client.expect('filename ok')
    client.send_line(str(len(data)))
    client.expect('size ok')
    if blocks is None:
        blocks = compressed_blocks(data) if compress else plain_blocks(data)
    client.send_raw(b''.join(blocks))
    client.expect('file ok')
    client.send_line('0')
    client.expect('hash ok')


def download(client):
    """Receives one file.  Answers a dict: name, size (the size line), data,
    blocks as [flags, payload length] pairs, and hash.  A compressed file must
    be exactly one complete zlib stream."""
    client.send_line('wait_for_file')
    client.expect('file_transfer_start')
    return receive_announced(client)


def receive_announced(client):
    """The rest of download() once the server said "file_transfer_start"."""
    client.send_line('file_transfer_start ok')
    name = client.read_line()
    client.send_line('filename ok')
    size = client.read_line()
    if size is None or not size.isdigit():
        raise ProtocolError('size line %r' % size)
    client.send_line('size ok')
    blocks, payloads = [], []
    compressed = False
    while True:
        flags, payload = parse_block(client.read_exact(BLOCK))
        blocks.append([flags, len(payload)])
        if flags & CANCEL:
            raise ProtocolError('transfer cancelled')
        compressed = compressed or bool(flags & COMPRESSED)
        payloads.append(payload)
        if flags & LAST:
            break
    data = b''.join(payloads)
    if compressed:
        inflater = zlib.decompressobj()
        data = inflater.decompress(data) + inflater.flush()
        if not inflater.eof or inflater.unused_data:
            raise ProtocolError('not one whole zlib stream')
    client.send_line('file ok')
    hash_line = client.read_line()
    client.send_line('hash ok')
    client.expect('file_transfer_end')
    return {'name': name, 'size': size, 'data': data, 'blocks': blocks, 'hash': hash_line,
            'compressed': compressed}


PASSWORD = 'amberquietlodge'
SOCKET_TRANSFER = '///file_sock_transfer///'


def ask(client, line):
    """Sends one line and answers the server's next line (None when it
    closed)."""
    client.send_line(line)
    return client.read_line()


def login(client, password=PASSWORD):
    """Sends the password; answers "password ok" or the refusal."""
    return ask(client, password)


def shared_folder_job(client, command, source, folder, name):
    """One job in shared-folder mode.  Answers the server's lines in order:
    the job text, then one answer per line sent (source path, target folder,
    target name) up to the first refusal, then the job's last line."""
    lines = [ask(client, command)]
    for sent, accepted in ((source, 'filename ok'), (folder, 'target folder ok'), (name, 'target name ok')):
        lines.append(ask(client, sent))
        if lines[-1] != accepted:
            return lines
    lines.append(client.read_line())
    return lines


def socket_job(client, command, source_name, data, name, compress=False):
    """One job in socket mode: the source `data` goes up as `source_name`,
    the results come down until the server has no more.  Answers a dict:
    text (the job text), results (as download() answers them), end (the
    server's last line: "export finished" or its refusal)."""
    job = {'text': ask(client, command), 'results': [], 'end': None}
    client.send_line(SOCKET_TRANSFER)
    client.expect('file_sock_transfer ok')
    upload(client, source_name, data, compress)
    line = ask(client, name)
    if line != 'target name ok':
        job['end'] = line
        return job
    while True:
        line = ask(client, 'wait_for_file')
        if line == 'no_more_files':
            break
        if line != 'file_transfer_start':
            job['end'] = line
            return job
        job['results'].append(receive_announced(client))
    job['end'] = ask(client, 'no_more_files ok')
    return job
