"""The bytes every test file is made of: a function of (seed, offset) that
the C++ tests compute the same way (tests/support/Content.h), so nothing
large is ever stored. A 64 KiB block comes from a small LCG; each 64 KiB
stretch of the file is that block XOR-ed with its stretch number."""

BLOCK = 65536
_blocks = {}
_tables = [bytes(b ^ k for b in range(256)) for k in range(256)]


def _block(seed):
    block = _blocks.get(seed)
    if block is None:
        x = (seed * 2654435761 + 1) & 0xFFFFFFFF
        out = bytearray(BLOCK)
        for j in range(BLOCK):
            x = (x * 1103515245 + 12345) & 0xFFFFFFFF
            out[j] = (x >> 16) & 0xFF
        block = _blocks[seed] = bytes(out)
    return block


def piece(seed, start, end):
    """Bytes start..end-1 of the file with this seed."""
    block = _block(seed)
    parts = []
    pos = start
    while pos < end:
        stretch = pos // BLOCK
        a = pos - stretch * BLOCK
        b = min(BLOCK, a + (end - pos))
        parts.append(block[a:b].translate(_tables[stretch & 0xFF]))
        pos += b - a
    return b''.join(parts)


def file_holds(path, seed, size):
    """Whether the file at `path` holds exactly the `size` bytes of that seed."""
    try:
        with open(path, 'rb') as f:
            return f.read() == piece(seed, 0, size)
    except OSError:
        return False
