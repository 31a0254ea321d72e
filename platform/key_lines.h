// Texts of key=value lines, as the settings files of the browser and the logo list keep
// them. A key is matched whole at the start of a line, without regard to letter case: the
// key "name" is found in the line "name=x" but not in "username=x", "name2=x" or "#name=x".
// Lines end in CR LF or LF; the last line may lack its end.
#pragma once

#include <stddef.h>

// One line of a text: the key is the text before the first "=", the value the rest of the
// line without its end. A line without "=" has hasValue 0 and its whole text as key.
struct KeyLine {
  size_t start;         // offset of the line in the text
  size_t end;           // offset after the line and its line end
  const char *key;
  size_t keyLength;
  const char *value;
  size_t valueLength;
  int hasValue;
};

// Reads the line that begins at *at (below length) and moves *at to the next one.
// Returns 0 when no line is left.
int KeyLineNext(const char *text, size_t length, size_t *at, KeyLine *line);
// Finds the first line whose key is key (keyLength bytes). Returns 1 when found.
int KeyLineFind(const char *text, size_t length, const char *key, size_t keyLength, KeyLine *found);

// A text that can change, NUL-terminated, from the common allocator.
struct KeyText {
  char *text;
  size_t length;
  size_t capacity;
};

// Takes over data (length bytes from CommonAlloc, with room for a NUL after them); the
// text ends at the first NUL byte. data may be null for an empty text.
void KeyTextAdopt(KeyText *keys, char *data, size_t length);
void KeyTextFree(KeyText *keys);
// Sets key to value (valueLength bytes): the value of its first line is replaced, or the
// line key=value CR LF is added at the end (after a line end for a last line without
// one). Returns 0, or -1 when memory runs out (the text is then unchanged). The caller
// checks that key and value can be held by a line (see KeyLineCheckKey/Value).
int KeyTextSet(KeyText *keys, const char *key, size_t keyLength, const char *value, size_t valueLength);
// Appends n bytes of text as they are. Returns 0, or -1 when memory runs out.
int KeyTextAppend(KeyText *keys, const char *text, size_t n);
// Removes every line with key, line ends included. Returns the number of lines removed.
int KeyTextDelete(KeyText *keys, const char *key, size_t keyLength);

// Whether a key can stand in a line and be found again: not empty, no "=", no control
// bytes, and not beginning with a comment mark ("#", ";", "/", "'") or a blank.
int KeyLineKeyIsValid(const char *key, size_t keyLength);
// Whether a value can stand in a line: no CR, LF or NUL.
int KeyLineValueIsValid(const char *value, size_t valueLength);
