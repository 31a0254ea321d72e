#!/usr/bin/python3
"""Checks a built TAP as the PVR firmware will see it: a 32-bit little-endian MIPS shared
object with every TAP header section and value, that needs no library, exports only its
entry points, runs no static constructors, and leaves undefined only symbols the firmware
provides (the TAP API functions of the firmware interface list, and the libc, libdl and
libpthread names of the symbols file), without symbol versions."""
import argparse
import re
import struct
import sys

ENTRY_POINTS = {"__TAP_Init_", "TAP_Main", "TAP_EventHandler"}
SECTIONS = {  # name: size
    "._tap_header": 32, "._tap_id": 4, "._tap_program_name": 64, "._tap_author_name": 64,
    "._tap_description": 128, "._tap_program_version": 64, "._tap_etcinfo": 64,
}


def parse(data):
    if data[:4] != b"\x7fELF":
        raise ValueError("not an ELF file")
    if data[4] != 1 or data[5] != 1:
        raise ValueError("not a 32-bit little-endian ELF file")
    (e_type, e_machine) = struct.unpack_from("<HH", data, 16)
    shoff, = struct.unpack_from("<I", data, 0x20)
    shentsize, shnum, shstrndx = struct.unpack_from("<HHH", data, 0x2E)
    sections = []
    for i in range(shnum):
        name, stype, flags, addr, offset, size, link, info, align, entsize = struct.unpack_from(
            "<IIIIIIIIII", data, shoff + i * shentsize)
        sections.append(dict(name_off=name, type=stype, offset=offset, size=size, link=link,
                             entsize=entsize))
    names = sections[shstrndx]
    for s in sections:
        start = names["offset"] + s["name_off"]
        s["name"] = data[start:data.index(b"\0", start)].decode()
    return e_type, e_machine, sections


def tap_api_names(interface):
    """The TAP API functions of the firmware interface list: its TAP_API(name, ...) lines."""
    names = set()
    for line in open(interface):
        m = re.match(r"TAP_API\((\w+),", line)
        if m:
            names.add(m.group(1))
    if not names:
        raise ValueError(f"{interface} lists no TAP API function")
    return names


def cstr(data):
    return data.split(b"\0", 1)[0].decode("latin-1")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--symbols", required=True, help="libc, libdl and libpthread names")
    ap.add_argument("--interface", required=True, help="platform/firmware_interface.def")
    ap.add_argument("--id", default="0x514B570F")
    ap.add_argument("--name", default="Orvane 2.20")
    ap.add_argument("--description", default="Control the PVR from a web browser.")
    ap.add_argument("--version", default="2.20")
    ap.add_argument("tap")
    args = ap.parse_args()

    allowed = {l.strip() for l in open(args.symbols) if l.strip() and not l.startswith("#")}
    allowed |= tap_api_names(args.interface)
    data = open(args.tap, "rb").read()
    errors = []
    try:
        e_type, e_machine, sections = parse(data)
    except (ValueError, struct.error) as e:
        print(f"{args.tap}: {e}")
        return 1
    if e_type != 3:
        errors.append(f"ELF type {e_type} is not a shared object")
    if e_machine != 8:
        errors.append(f"ELF machine {e_machine} is not MIPS")
    by_name = {s["name"]: s for s in sections}

    for name, size in SECTIONS.items():
        s = by_name.get(name)
        if not s:
            errors.append(f"section {name} is missing")
        elif s["size"] != size:
            errors.append(f"section {name} has {s['size']} bytes, not {size}")
    def content(name):
        s = by_name.get(name)
        return data[s["offset"]:s["offset"] + s["size"]] if s else b""
    header = content("._tap_header")
    if header[:8] != b"TFAPMIPS" or header[8:12] != struct.pack("<I", 16) or any(header[12:]):
        errors.append("TAP header is not TFAPMIPS, 16, zeros")
    tap_id = content("._tap_id")
    if len(tap_id) == 4 and struct.unpack("<I", tap_id)[0] != int(args.id, 0):
        errors.append(f"TAP ID is {struct.unpack('<I', tap_id)[0]:#x}, not {args.id}")
    for name, want in (("._tap_program_name", args.name), ("._tap_description", args.description),
                       ("._tap_program_version", args.version)):
        got = cstr(content(name))
        if got != want:
            errors.append(f"{name} is {got!r}, not {want!r}")
    if not cstr(content("._tap_etcinfo")):
        errors.append("._tap_etcinfo (build date) is empty")

    for name in (".init_array", ".ctors", ".preinit_array"):
        if by_name.get(name) and by_name[name]["size"] > 0:
            errors.append(f"{name} is not empty: static constructors would never run")
    if ".gnu.version_r" in by_name or ".gnu.version_d" in by_name:
        errors.append("the TAP carries symbol versions")

    dynsym, dynstr = by_name.get(".dynsym"), by_name.get(".dynstr")
    if not dynsym or not dynstr:
        errors.append("no dynamic symbol table")
    else:
        strtab = data[dynstr["offset"]:dynstr["offset"] + dynstr["size"]]
        for i in range(1, dynsym["size"] // 16):
            name_off, value, size, info, other, shndx = struct.unpack_from(
                "<IIIBBH", data, dynsym["offset"] + i * 16)
            name = strtab[name_off:strtab.index(b"\0", name_off)].decode()
            bind, visibility = info >> 4, other & 3
            if not name:
                continue
            if "@" in name:
                errors.append(f"versioned symbol {name}")
            if shndx == 0:
                if name not in allowed:
                    errors.append(f"undefined symbol {name} is not provided by the firmware")
            elif bind in (1, 2) and visibility == 0 and name not in ENTRY_POINTS \
                    and not name.startswith("_gp") and name not in ("_DYNAMIC", "_GLOBAL_OFFSET_TABLE_"):
                errors.append(f"exports {name}, which is not an entry point")
    dynamic = by_name.get(".dynamic")
    if dynamic:
        for i in range(dynamic["size"] // 8):
            tag, val = struct.unpack_from("<iI", data, dynamic["offset"] + i * 8)
            if tag == 1:  # DT_NEEDED
                errors.append("the TAP needs a shared library at load time")
    for e in errors:
        print(f"{args.tap}: {e}")
    if not errors:
        print(f"{args.tap}: ok")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
