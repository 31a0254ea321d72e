// Small text helpers for building answers: searching, appending to an answer buffer with
// or without JSON escaping, trimming and upper-casing.
//
// stringCat and stringCatEscape append to a buffer owned by the caller and keep an int
// length beside it; they do not know the buffer's capacity: the caller sizes the buffer
// for its worst case (escaping at most doubles the text).
#pragma once

#include <stddef.h>

// Index of the first occurrence of pattern in text (case-sensitive); -1 when absent or
// when either argument is null. An empty pattern is found at 0.
int instr(const char *text, const char *pattern);

// Copies count bytes of text (count 0: the whole NUL-terminated text) to buffer + *length,
// adds them to *length and writes a NUL after them. Returns the new end (buffer + *length).
char *stringCat(char *buffer, int *length, const char *text, int count);

// Like stringCat, escaping for a JSON string: backspace, tab, line feed, form feed and
// carriage return become \b \t \n \f \r; '"', '/' and '\' get a backslash; the other
// control bytes (1-7, 11, 14-31) are dropped; every other byte, 0x80-0xFF included, is
// copied as is. The text ends at its NUL or after count bytes (count 0: at its NUL).
char *stringCatEscape(char *buffer, int *length, const char *text, int count);

// Writes text escaped for a JSON string at *out and advances *out past it; ends at the
// NUL or after count input bytes (count 0: no limit). Escapes like stringCatEscape, but
// drops every other byte below 32 and every byte 0x80-0xFF. A NUL is always written after
// the text (*out points at it).
void jsonEscape(char **out, const char *text, int count);

// The one JSON escaping both of the above use (and the answer builder): the escaped form of
// at most count bytes of text up to its NUL (count 0: up to the NUL), written at out and
// terminated; bytes 0x80-0xFF are kept when keepHigh is set, else dropped. Returns the end.
char *JsonEscapeInto(char *out, const char *text, size_t count, bool keepHigh);
// The bytes JsonEscapeInto writes for the same arguments (without the NUL).
size_t JsonEscapedLength(const char *text, size_t count, bool keepHigh);

// Copies at most length bytes of text, stopping at a NUL, into out of size bytes; cut to
// fit and always terminated (size > 0). Returns the bytes copied. The one bounded copy of
// a span or a fixed field into a text buffer.
size_t CopyBounded(char *out, size_t size, const char *text, size_t length);

// In place: rtrim removes trailing spaces, ltrim leading spaces and tabs, trim both.
// Each returns text.
char *rtrim(char *text);
char *ltrim(char *text);
char *trim(char *text);

// ASCII a-z to A-Z in place.
void makeUpper(char *text);
