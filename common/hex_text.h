// The hexadecimal text form that carries arbitrary bytes through URLs and JSON: every byte
// as two lower-case hex digits ("%02x"), nothing else.
#pragma once

enum {
  HEX_TEXT_RESULT_SIZE = 1024,   // TextToHex's result: 511 bytes of text at most
  TEXT_HEX_RESULT_SIZE = 512,    // HexToText's result: 511 bytes at most
};

// The value of one hexadecimal digit (0-9, a-f, A-F), or -1 for any other character.
int HexDigitValue(int c);

// Hex form of the first 511 bytes (at most) of a NUL-terminated text, in a static buffer
// that the next call overwrites.
const char *TextToHex(const char *text);

// Hex form of the whole text into buffer, which must hold 2 * strlen(text) + 1 bytes.
// Returns the number of digits written (twice the text length).
int webC_TextToHex(const char *text, char *buffer);

// Decodes pairs of hex digits (either case) into bytes; an odd last digit is ignored and a
// character that is not a hex digit counts as 0. The bytes are NUL-terminated.
//   HexToText: into a static buffer (the next call overwrites it), at most 511 bytes.
//   webC_HexToText: into buffer, which must hold strlen(hex) / 2 + 1 bytes.
//   webC_HexToTextN: into buffer of size bytes, at most size - 1 bytes (nothing when
//   size < 1); hex and buffer may be the same place (decoding in place).
// The webC_ forms return the number of bytes decoded.
const char *HexToText(const char *hex);
int webC_HexToText(const char *hex, char *buffer);
int webC_HexToTextN(const char *hex, char *buffer, int size);
