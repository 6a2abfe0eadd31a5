#!/usr/bin/env python3
"""Writes the inputs too large to keep in the tree into FOLDER, each with the bzip2
target's first byte: valid streams whose first block is longer than bzip2's encoder
ever writes, its first coding table's code lengths padded with +1/-1 pairs, which
libbz2 takes (bzip2 -t says ok) and the parallel decoder refuses by its limit on a
block's compressed bits.

    make_inputs.py FOLDER
"""
import bz2
import os
import sys


def padded(stream, pairs):
    """The stream with `pairs` +1/-1 pairs before the first code length's end."""
    bits = bin(int.from_bytes(stream, 'big'))[2:].zfill(8 * len(stream))
    at = 32 + 48 + 32 + 1 + 24  # header, block magic, CRC, randomised, origPtr
    used = bits[at:at + 16]
    at += 16 + 16 * used.count('1')
    selectors = int(bits[at + 3:at + 18], 2)
    at += 18
    for _ in range(selectors):
        at = bits.index('0', at) + 1
    at += 5  # the first table's starting code length
    assert pairs % 2 == 0  # a whole number of bytes: the padding at the end stays
    bits = bits[:at] + '1011' * pairs + bits[at:]
    return int(bits, 2).to_bytes(len(bits) // 8, 'big')


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    stream = bz2.compress(b'Pelorium payload ' * 1000, 9)
    # 4 MB: beyond the limit; 3.4 MB: beyond it by less than one read of the decoder,
    # which once took it when the source handed out everything at once.
    for name, size in (('block-of-4MB', 4_000_000), ('block-of-3.4MB', 3_400_000)):
        data = padded(stream, (size - len(stream)) * 8 // 4 // 2 * 2)
        assert bz2.decompress(data) == bz2.decompress(stream)
        # Two workers, the source read all at once (1) or 4096 bytes at a time (10).
        for config in (1, 10):
            with open(os.path.join(folder, '%s-config-%d' % (name, config)), 'wb') as out:
                out.write(bytes([config]) + data)


if __name__ == '__main__':
    main()
