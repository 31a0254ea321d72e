#!/usr/bin/python3
"""A small ID3v2 tag writer for what common taggers do not write: version 2.2 tags,
unsynchronisation (of the whole tag or of single frames), compressed frames, extended
headers, frames of size 0, UTF-16 without byte-order mark, damaged frames. Files it writes
are read back with python3-mutagen to tell what a reader must see.

    tag(version, [frame(version, "TPE1", text_data(1, "Artist")), ...], unsync=True)
"""
import zlib


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def unsynchronise(data):
    """Inserts 0x00 after every 0xFF that is followed by 0x00 or a byte >= 0xE0, and after a
    final 0xFF."""
    out = bytearray()
    for i, b in enumerate(data):
        out.append(b)
        if b == 0xFF and (i + 1 == len(data) or data[i + 1] == 0 or data[i + 1] >= 0xE0):
            out.append(0)
    return bytes(out)


def text_data(encoding, text, mark=True):
    """A text frame's data: the encoding byte and the text. Encoding 1 writes a
    little-endian byte-order mark and text when mark is true, little-endian text without a
    mark otherwise; encoding 2 writes big-endian text, preceded by the big-endian mark when
    mark is the string "be"."""
    if encoding == 0:
        body = text.encode("latin-1")
    elif encoding == 1:
        body = (b"\xff\xfe" if mark else b"") + text.encode("utf-16-le")
    elif encoding == 2:
        body = (b"\xfe\xff" if mark == "be" else b"") + text.encode("utf-16-be")
    elif encoding == 3:
        body = text.encode("utf-8")
    else:
        body = text.encode("latin-1")
    return bytes([encoding]) + body


def frame(version, frame_id, data, unsync=False, compress=False, inflated=None):
    """One frame. unsync (2.4): the frame's own unsynchronisation; compress (2.3, 2.4):
    zlib with the decompressed size in front (2.3) or as data length indicator (2.4);
    inflated: a decompressed size to claim instead of the true one."""
    frame_id = frame_id.encode()
    if version == 2:
        return frame_id + len(data).to_bytes(3, "big") + data
    flags = 0
    if version == 3:
        if compress:
            claimed = len(data) if inflated is None else inflated
            data = claimed.to_bytes(4, "big") + zlib.compress(data)
            flags |= 0x0080
        return frame_id + len(data).to_bytes(4, "big") + flags.to_bytes(2, "big") + data
    size = len(data) if inflated is None else inflated
    if compress:
        data = zlib.compress(data)
        flags |= 0x0008 | 0x0001
    if unsync:
        data = unsynchronise(data)
        flags |= 0x0002
    if flags & 0x0001:
        data = syncsafe(size) + data
    return frame_id + syncsafe(len(data)) + flags.to_bytes(2, "big") + data


def tag(version, frames, unsync=False, extended=False, padding=0):
    """A whole tag. unsync: 2.2/2.3 unsynchronise the whole body; 2.4 only sets the flag
    (frames must have been written with their own unsynchronisation). extended: 2.3/2.4
    extended header."""
    body = b"".join(frames)
    flags = 0
    if extended:
        flags |= 0x40
        if version == 3:
            body = (6).to_bytes(4, "big") + b"\0\0" + (padding).to_bytes(4, "big") + body
        elif version == 4:
            body = syncsafe(6) + b"\x01\x00" + body
    body += bytes(padding)
    if unsync:
        flags |= 0x80
        if version < 4:
            body = unsynchronise(body)
    return b"ID3" + bytes([version, 0, flags]) + syncsafe(len(body)) + body


# A few bytes that look like the start of MPEG audio, to follow the tag.
AUDIO = b"\xff\xfb\x90\x64" + bytes(413)
