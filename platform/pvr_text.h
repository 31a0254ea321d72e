// PVR text encodings: DVB texts with character-table selectors to and from UTF-8,
// recognising UTF-8, and cleaning names.
//
// pvr_text.cpp needs nothing but libc and the support layer's error log: it belongs to the
// support library that the EPG search program links too. StrMkUTF8 lives in
// pvr_text_tap.cpp because it needs the TAP API.
#pragma once

#include <stddef.h>

#include "platform/tap_api.h"

// The table used when a text carries no selector: ISO/IEC 8859-1.
extern byte gDefaultCharacterSet;

// The Unicode code point of byte c in character table `table` (1..11 and 13..16:
// ISO/IEC 8859-n; every other number: the DVB default Latin table, ISO/IEC 6937 with the
// euro sign at 0xA4 and the combining diacritical marks at 0xC1..0xCF). Bytes below 0xA0
// are their own code point; 0 marks an unassigned position.
word CharTableCodePoint(byte table, byte c);

// Converts a DVB text to UTF-8. out must hold 4 × strlen(text) + 1 bytes; nothing is
// written past that. Returns non-zero when at least one byte was converted (not merely
// copied); an empty text gives 1. Bytes that the table leaves unassigned are dropped.
int StrToUTF8(const char *text, char *out, byte defaultTable);
// Converts text in place; text's buffer holds size bytes. 1 on success; 0 when memory
// fails or the converted text does not fit in size bytes, and then text is unchanged.
int StrMkUTF8(char *text, size_t size, byte defaultTable);
// Converts UTF-8 to the PVR's single-byte text; out must hold strlen(text) + 1 bytes.
// Characters above U+00FF are dropped (and logged).
void StrToISO(const char *text, char *out);
// The first byte after a character-table selector (never past the terminating zero).
const char *SkipCharTableBytes(const char *text);
// Examines the text after its selector: whether a byte of 0xA0 or above stands alone
// (outside any UTF-8 sequence) and whether a multi-byte UTF-8 sequence occurs.
void GetStringEncoding(const char *text, bool *hasSingleByteHighChars, bool *hasUtf8Sequences);
// Non-zero when a well-formed multi-byte UTF-8 sequence starts at p; length gets its byte
// count (1 when none). Overlong forms, surrogates and values above U+10FFFF are not UTF-8.
int isUTF8Char(const char *p, byte *length);
// The code point at p: a sequence that isUTF8Char accepts is decoded, any other byte is
// returned as it is with length 1.
dword UTF8ToUTF32(const char *p, byte *length);
// Writes codePoint as 1 to 4 UTF-8 bytes (no terminating zero); length gets the count, 0
// for a surrogate or a value above U+10FFFF, which are not written.
void UTF32ToUTF8(dword codePoint, char *out, byte *length);

// Name cleaning; flags: 1 control characters, 2 line feeds, 4 characters not allowed in
// file names, 8 anything outside printable ASCII.
enum : int {
  NAME_MAX_BYTES = 126,    // a cleaned name holds at most this many bytes
  NAME_SCRATCH = 512,      // MakeValidFileName's working buffer
};
bool isLegalChar(const char *p, int flags);
// Copies the accepted characters of text (a UTF-8 sequence whole) to out, which holds size
// bytes; stops before a character that would take the copy past NAME_MAX_BYTES bytes or
// past out. out is always terminated (when size > 0).
void ValidFileName(const char *text, int flags, char *out, size_t size);
void MakeValidFileName(char *text, int flags);

