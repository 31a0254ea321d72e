"""TAP files for the tests, written from the ELF layout alone: a 32-bit little-endian ELF
image whose named sections hold the TAP's metadata ("._tap_id", "._tap_program_name",
"._tap_author_name", "._tap_description", "._tap_program_version", "._tap_etcinfo")."""
import struct


def tap_file(ident, name=b"", author=b"", description=b"", version=b"", etc=b"Jun  7 2024", sizes=None):
    """The bytes of a TAP file; each text is padded with zero bytes to its section's size
    (64, 128 for the description), or given its own size in sizes (name -> bytes)."""
    sizes = sizes or {}
    texts = [("._tap_id", struct.pack("<I", ident)),
             ("._tap_program_name", name.ljust(sizes.get("name", 64), b"\0")),
             ("._tap_author_name", author.ljust(sizes.get("author", 64), b"\0")),
             ("._tap_description", description.ljust(sizes.get("description", 128), b"\0")),
             ("._tap_program_version", version.ljust(sizes.get("version", 64), b"\0")),
             ("._tap_etcinfo", etc.ljust(64, b"\0"))]
    names = b"\0"
    offsets_of_names = []
    for section, _ in texts:
        offsets_of_names.append(len(names))
        names += section.encode() + b"\0"
    offsets_of_names.append(len(names))
    names += b".shstrtab\0"
    data = [d for _, d in texts] + [names]
    body, offsets = b"", []
    for d in data:
        offsets.append(52 + len(body))
        body += d
    shoff = 52 + len(body)
    count = len(data) + 1
    header = b"\x7fELF" + bytes([1, 1, 1]) + bytes(9) + struct.pack(
        "<HHIIIIIHHHHHH", 3, 8, 1, 0, 0, shoff, 0, 52, 0, 0, 40, count, count - 1)
    sections = bytes(40) + b"".join(struct.pack("<IIIIIIIIII", n, 1, 0, 0, o, len(d), 0, 0, 1, 0)
                                    for n, d, o in zip(offsets_of_names, data, offsets))
    return header + body + sections
