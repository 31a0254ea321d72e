// Base64 with the standard alphabet (A-Z a-z 0-9 + /) and "=" padding.
#pragma once

// Appends the Base64 form of a NUL-terminated text to the NUL-terminated text in out,
// whole groups of four characters only, while out stays within size - 1 characters.
// Returns 0.
int Base64Encode(const char *text, char *out, int size);

// Decodes Base64 text, skipping characters outside the alphabet and stopping at the first
// "=", and appends the bytes to the NUL-terminated text in out (a decoded NUL ends them),
// while out stays within size - 1 characters. A last group of two or three characters is
// decoded only when "=" follows it. Returns 0.
int Base64Decode(const char *text, char *out, int size);

// Base64 form of count bytes (NUL bytes allowed) into out, which must hold
// 4 * ((count + 2) / 3) + 1 bytes; NUL-terminated. Returns the characters written.
int b64encode(const void *bytes, char *out, int count);

// Decodes Base64 text into bytes (NUL bytes included), skipping characters outside the
// alphabet and stopping at the first "=". A last group of two or three characters gives
// one or two bytes, padded or not. Returns the number of bytes written to out, or -1 when
// they do not all fit in size bytes or a lone character is left over; nothing is cut.
int b64decode(const char *text, void *out, int size);
// The most bytes b64decode can make from a text of length characters.
inline int b64decodedMax(int length) { return length < 0 ? 0 : length / 4 * 3 + 2; }
