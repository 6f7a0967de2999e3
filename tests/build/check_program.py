#!/usr/bin/env python3
"""Checks what Windows reads from a program's headers and resources before it runs it.

Windows reads a program's manifest only from resource 1 of type RT_MANIFEST. Without one that
asks to run as the invoking user, Windows takes a 32-bit program whose name holds "update" for
an installer and asks for administrator rights before it starts; Wine never does, so no run
under Wine would show it. The common controls 6 dependency and the DPI awareness are in the same
manifest. The headers must also ask for a randomised load address (with the relocations that
needs), for data that cannot run as code and, started from a USB stick or a share, to run from
the page file; Wine does none of these. The versions in
the file's properties and in its manifest must be the project's, so that a version raised in one
place only is caught.

Usage: check_program.py <program.exe> <manifest the program must carry> <project version>
"""
import re
import struct
import sys
import xml.etree.ElementTree as ET

RT_VERSION = 16
RT_MANIFEST = 24
CREATEPROCESS_MANIFEST_RESOURCE_ID = 1
IMAGE_FILE_RELOCS_STRIPPED = 0x0001
IMAGE_FILE_REMOVABLE_RUN_FROM_SWAP = 0x0400
IMAGE_FILE_NET_RUN_FROM_SWAP = 0x0800
IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA = 0x0020
IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE = 0x0040
IMAGE_DLLCHARACTERISTICS_NX_COMPAT = 0x0100


class BadImage(Exception):
    pass


def u16(data, off):
    if off < 0 or off + 2 > len(data):
        raise BadImage(f"read past the end of the file at {off}")
    return struct.unpack_from("<H", data, off)[0]


def u32(data, off):
    if off < 0 or off + 4 > len(data):
        raise BadImage(f"read past the end of the file at {off}")
    return struct.unpack_from("<I", data, off)[0]


def headers(data):
    """Returns the offsets of the PE and optional headers, the latter's magic and the offset of
    its data directories."""
    if data[:2] != b"MZ":
        raise BadImage("not an MZ executable")
    pe = u32(data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise BadImage("no PE signature")
    optional = pe + 24
    magic = u16(data, optional)
    directories = optional + {0x10B: 96, 0x20B: 112}.get(magic, -1)
    if directories < optional:
        raise BadImage(f"unknown optional header 0x{magic:x}")
    return pe, optional, magic, directories


def protections(data):
    """What is missing of the address-space protections, as sentences."""
    pe, optional, magic, directories = headers(data)
    characteristics = u16(data, pe + 22)
    dll_characteristics = u16(data, optional + 70)
    relocations_size = u32(data, directories + 5 * 8 + 4)
    out = []
    if not dll_characteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE:
        out.append("the program does not ask for a randomised load address (DYNAMIC_BASE)")
    if characteristics & IMAGE_FILE_RELOCS_STRIPPED or relocations_size == 0:
        out.append("the program has no relocations, so it cannot be loaded at another address")
    if not dll_characteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT:
        out.append("the program does not ask that its data cannot run as code (NX_COMPAT)")
    if magic == 0x20B and not dll_characteristics & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA:
        out.append("the 64-bit program does not ask for the full range of load addresses "
                   "(HIGH_ENTROPY_VA)")
    if not characteristics & IMAGE_FILE_REMOVABLE_RUN_FROM_SWAP:
        out.append("the program started from a USB stick would be read from it while it runs "
                   "(REMOVABLE_RUN_FROM_SWAP)")
    if not characteristics & IMAGE_FILE_NET_RUN_FROM_SWAP:
        out.append("the program started from a share would be read from it while it runs "
                   "(NET_RUN_FROM_SWAP)")
    return out


def resources(data, wanted_type):
    """Returns [(name id, language, bytes)] for every resource of one type of a PE image."""
    pe, optional, _, directories = headers(data)
    sections = u16(data, pe + 6)
    optional_size = u16(data, pe + 20)
    resource_rva = u32(data, directories + 2 * 8)
    if resource_rva == 0:
        return []

    table = optional + optional_size
    spans = []
    for i in range(sections):
        s = table + 40 * i
        spans.append((u32(data, s + 12), max(u32(data, s + 8), u32(data, s + 16)), u32(data, s + 20)))

    def offset(rva):
        for address, size, raw in spans:
            if address <= rva < address + size:
                return raw + rva - address
        raise BadImage(f"address 0x{rva:x} lies in no section")

    root = offset(resource_rva)

    def entries(directory):
        count = u16(data, directory + 12) + u16(data, directory + 14)
        for i in range(count):
            e = directory + 16 + 8 * i
            yield u32(data, e), u32(data, e + 4)

    found = []
    for type_id, type_ptr in entries(root):
        if type_id != wanted_type or not type_ptr & 0x80000000:
            continue
        for name_id, name_ptr in entries(root + (type_ptr & 0x7FFFFFFF)):
            if not name_ptr & 0x80000000:
                continue
            for lang, data_ptr in entries(root + (name_ptr & 0x7FFFFFFF)):
                if data_ptr & 0x80000000:
                    continue
                entry = root + data_ptr
                start = offset(u32(data, entry))
                size = u32(data, entry + 4)
                if start + size > len(data):
                    raise BadImage("a resource runs past the end of the file")
                found.append((name_id, lang, data[start:start + size]))
    return found


def version_problems(carried, manifest, version):
    """What is wrong with the versions of the file's properties and of the manifest (the one in
    the sources, which the program must carry unchanged), as sentences."""
    parts = version.split(".")
    dotted = ".".join(parts + ["0"] * (4 - len(parts)))
    out = []
    if len(carried) != 1:
        return [f"the program must carry one version resource; it carries {len(carried)}"]
    info = carried[0][2]
    fixed = info.find(struct.pack("<I", 0xFEEF04BD))
    if fixed < 0 or fixed + 24 > len(info):
        return ["the version resource has no fixed file information"]
    words = struct.unpack_from("<4I", info, fixed + 8)
    for what, (ms, ls) in (("file", words[0:2]), ("product", words[2:4])):
        found = f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
        if found != dotted:
            out.append(f"the {what} version in the file's properties is {found}, not {dotted}")
    text = info.decode("utf-16-le", errors="replace")
    for key in ("FileVersion", "ProductVersion"):
        values = re.findall(key + "\0+([^\0]*)\0", text)
        if not values or any(v != version for v in values):
            out.append(f"the {key} texts are {values}, not {version!r} in every language")
    try:
        identity = ET.fromstring(manifest).find("{urn:schemas-microsoft-com:asm.v1}assemblyIdentity")
    except ET.ParseError:
        identity = None
    if identity is None or identity.get("version") != dotted:
        found = None if identity is None else identity.get("version")
        out.append(f"the manifest's version is {found}, not {dotted}")
    return out


def manifest_problems(carried, expected):
    """What is wrong with the carried manifests, as sentences; none when all is well."""
    if not carried:
        return ["no manifest"]
    out = []
    ids = sorted({name for name, _, _ in carried})
    if ids != [CREATEPROCESS_MANIFEST_RESOURCE_ID] or len(carried) != 1:
        out.append(f"the manifest must be resource 1 and the only one; found names {ids}, "
                   f"{len(carried)} in all")
    text = next((m for name, _, m in carried if name == CREATEPROCESS_MANIFEST_RESOURCE_ID), None)
    if text is None:
        return out
    if text != expected:
        out.append("the manifest differs from the one in the sources")
    try:
        root = ET.fromstring(text)
    except ET.ParseError as e:
        return out + [f"the manifest is not well-formed XML: {e}"]
    v1 = "{urn:schemas-microsoft-com:asm.v1}"
    v3 = "{urn:schemas-microsoft-com:asm.v3}"
    levels = [(e.get("level"), e.get("uiAccess"))
              for e in root.iter(v3 + "requestedExecutionLevel")]
    if levels != [("asInvoker", "false")]:
        out.append(f"the program must ask to run as the invoking user (asInvoker, no UI access); "
                   f"it asks {levels or 'nothing'}")
    controls = [e.attrib for e in root.iter(v1 + "assemblyIdentity")
                if e.get("name") == "Microsoft.Windows.Common-Controls"]
    if not any(c.get("version") == "6.0.0.0" and c.get("publicKeyToken") == "6595b64144ccf1df"
               for c in controls):
        out.append("no dependency on common controls 6.0.0.0")
    dpi = [(e.text or "").strip() for e in root.iter() if e.tag.endswith("}dpiAware")]
    if dpi != ["true"]:
        out.append(f"the program must declare itself DPI aware; it declares {dpi or 'nothing'}")
    return out


def main(argv):
    if len(argv) != 4:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    program, source, version = argv[1], argv[2], argv[3]
    with open(program, "rb") as f:
        data = f.read()
    with open(source, "rb") as f:
        expected = f.read()
    try:
        found = (manifest_problems(resources(data, RT_MANIFEST), expected) + protections(data) +
                 version_problems(resources(data, RT_VERSION), expected, version))
    except BadImage as e:
        print(f"{program}: cannot read its headers or resources: {e}", file=sys.stderr)
        return 1
    for p in found:
        print(f"ERROR: {program}: {p}", file=sys.stderr)
    if found:
        return 1
    print(f"{program.rsplit('/', 1)[-1]}: carries its manifest as resource 1 (runs as the "
          "invoking user, common controls 6, DPI aware); randomised load address, no code from "
          f"data, run from the page file off removable and network media; version {version} "
          "throughout")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
