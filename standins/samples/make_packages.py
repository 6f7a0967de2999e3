#!/usr/bin/env python3
"""Writes the two sample firmware packages (committed; run again only to change them).

Each is a 64-byte header (0x90, 0x40, data length at offset 16, little-endian) followed by the
data. The main package carries 16 bytes after its data, which a transfer must not send.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def package(data, trailer=b""):
    header = bytearray(64)
    header[0] = 0x90
    header[1] = 0x40
    struct.pack_into("<I", header, 16, len(data))
    return bytes(header) + data + trailer


main = bytes((i * 7 + 1) & 0xFF for i in range(6000))
sub = bytes((0xA5 ^ i) & 0xFF for i in range(1500))
with open(os.path.join(HERE, "qls100main.bin"), "wb") as f:
    f.write(package(main, b"\xEE" * 16))
with open(os.path.join(HERE, "qls100sub.bin"), "wb") as f:
    f.write(package(sub))
