#!/usr/bin/env python3
"""Marks a Windows program to be run from the page file when it is started from removable media
or a network share, and brings the header's checksum up to date.

Windows otherwise reads a program's pages from the file it was started from whenever it needs
them, so a USB stick pulled out or a share that drops while a printer takes its firmware would
end the program at the first page not yet read. The GNU linker has no option for these flags.

Usage: run_from_swap.py <program.exe>
"""
import struct
import sys

IMAGE_FILE_REMOVABLE_RUN_FROM_SWAP = 0x0400
IMAGE_FILE_NET_RUN_FROM_SWAP = 0x0800


def checksum(data):
    """The PE header checksum of a file whose checksum field holds 0: its 16-bit words summed
    with the carries folded back in, plus the file's length."""
    total = 0
    for (word,) in struct.iter_unpack("<H", data + b"\0" * (len(data) % 2)):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return total + len(data)


def mark(data):
    if data[:2] != b"MZ":
        raise ValueError("not an MZ executable")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    characteristics = pe + 22
    flags = struct.unpack_from("<H", data, characteristics)[0]
    flags |= IMAGE_FILE_REMOVABLE_RUN_FROM_SWAP | IMAGE_FILE_NET_RUN_FROM_SWAP
    struct.pack_into("<H", data, characteristics, flags)
    field = pe + 24 + 64  # CheckSum in the optional header, the same place in PE32 and PE32+
    struct.pack_into("<I", data, field, 0)
    struct.pack_into("<I", data, field, checksum(bytes(data)))


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    with open(argv[1], "rb") as f:
        data = bytearray(f.read())
    try:
        mark(data)
    except (ValueError, struct.error) as e:
        print(f"{argv[1]}: {e}", file=sys.stderr)
        return 1
    with open(argv[1], "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
