#!/usr/bin/python3
"""Writes the kernel's report of a disk's ATA IDENTIFY DEVICE data, as the file
"/proc/ide/hda/identify" holds it: the 256 16-bit words in hexadecimal ("%04x"), eight to a
line, blank-separated. The texts lie in words 10-19 (serial number, 20 characters), 23-26
(firmware revision, 8) and 27-46 (model, 40), two characters to a word with the first in
the word's high byte, padded with blanks. Used by the unit and integration tests.

usage: ata_identify.py MODEL SERIAL FIRMWARE   (texts as hex of their bytes) > identify
"""
import sys

WORDS = 256
FIELDS = {"serial": (10, 20), "firmware": (23, 8), "model": (27, 40)}


def ata_field(text, size):
    """A text field of size bytes: the text, then blanks; a longer text is an error."""
    if len(text) > size:
        raise ValueError(f"{text!r} is longer than its {size}-byte field")
    return text + b" " * (size - len(text))


def identify_words(model=b"", serial=b"", firmware=b"", words=None):
    """The 256 words; words (index -> value) sets others, e.g. the fixed-disk bit of word 0."""
    out = [0] * WORDS
    out[0] = 0x0040
    for name, text in (("model", model), ("serial", serial), ("firmware", firmware)):
        first, size = FIELDS[name]
        field = ata_field(text, size)
        for i in range(0, size, 2):
            out[first + i // 2] = field[i] << 8 | field[i + 1]
    for index, value in (words or {}).items():
        out[index] = value
    return out


def identify_text(words):
    lines = []
    for start in range(0, len(words), 8):
        lines.append(" ".join(f"{w:04x}" for w in words[start:start + 8]))
    return "\n".join(lines) + "\n"


def main():
    model, serial, firmware = (bytes.fromhex(a) for a in sys.argv[1:4])
    sys.stdout.write(identify_text(identify_words(model, serial, firmware)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
