#include "common/text_helpers.h"

#include <string.h>

int instr(const char *text, const char *pattern) {
  if (!text || !pattern) return -1;
  const char *found = strstr(text, pattern);
  return found ? (int)(found - text) : -1;
}

char *stringCat(char *buffer, int *length, const char *text, int count) {
  if (!text) text = "";
  size_t n = count > 0 ? (size_t)count : strlen(text);
  memcpy(buffer + *length, text, n);
  *length += (int)n;
  buffer[*length] = '\0';
  return buffer + *length;
}

namespace {

// The escape letter of a byte that JSON writes as backslash + letter, or 0.
char EscapeLetter(unsigned char c) {
  switch (c) {
    case '\b': return 'b';
    case '\t': return 't';
    case '\n': return 'n';
    case '\f': return 'f';
    case '\r': return 'r';
    case '"': return '"';
    case '/': return '/';
    case '\\': return '\\';
    default: return 0;
  }
}

// Writes text escaped for a JSON string at out and returns the new end (terminated). Stops
// at the NUL or after count bytes (count 0: no limit); control bytes without an escape are
// dropped, and so are bytes 0x80-0xFF unless keepHigh is set.
char *EscapeInto(char *out, const char *text, int count, bool keepHigh) {
  if (text) {
    const unsigned char *in = (const unsigned char *)text;
    for (int i = 0; (count <= 0 || i < count) && in[i] != 0; i++) {
      unsigned char c = in[i];
      char letter = EscapeLetter(c);
      if (letter) {
        *out++ = '\\';
        *out++ = letter;
      } else if (c >= 32 && (keepHigh || c < 0x80)) {
        *out++ = (char)c;
      }
    }
  }
  *out = '\0';
  return out;
}

}  // namespace

char *stringCatEscape(char *buffer, int *length, const char *text, int count) {
  char *out = EscapeInto(buffer + *length, text, count, true);
  *length = (int)(out - buffer);
  return out;
}

void jsonEscape(char **out, const char *text, int count) { *out = EscapeInto(*out, text, count, false); }

char *rtrim(char *text) {
  if (!text) return text;
  size_t n = strlen(text);
  while (n > 0 && text[n - 1] == ' ') n--;
  text[n] = '\0';
  return text;
}

char *ltrim(char *text) {
  if (!text) return text;
  size_t skip = 0;
  while (text[skip] == ' ' || text[skip] == '\t') skip++;
  if (skip) memmove(text, text + skip, strlen(text + skip) + 1);
  return text;
}

char *trim(char *text) {
  if (!text) return text;
  rtrim(text);
  if (text[0]) ltrim(text);
  return text;
}

void makeUpper(char *text) {
  if (!text) return;
  for (; *text; text++) {
    if (*text >= 'a' && *text <= 'z') *text = (char)(*text - 'a' + 'A');
  }
}
