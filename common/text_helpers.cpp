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

// The one JSON escaping table: for every byte, 0 to drop it, 1 to copy it, or the letter
// written after a backslash. Bytes 0x80-0xFF are copied (UTF-8); the callers that must
// drop them say so.
struct JsonEscapeTable {
  unsigned char action[256];
  constexpr JsonEscapeTable() : action() {
    for (int c = 0; c < 256; c++) action[c] = c >= 32 ? 1 : 0;
    action[(unsigned char)'\b'] = 'b';
    action[(unsigned char)'\t'] = 't';
    action[(unsigned char)'\n'] = 'n';
    action[(unsigned char)'\f'] = 'f';
    action[(unsigned char)'\r'] = 'r';
    action[(unsigned char)'"'] = '"';
    action[(unsigned char)'/'] = '/';
    action[(unsigned char)'\\'] = '\\';
  }
};
constexpr JsonEscapeTable kJsonEscape;

unsigned char EscapeAction(unsigned char c, bool keepHigh) {
  if (c >= 0x80 && !keepHigh) return 0;
  return kJsonEscape.action[c];
}

size_t InputLength(const char *text, size_t count) {
  if (!text) return 0;
  return count ? strnlen(text, count) : strlen(text);
}

}  // namespace

size_t JsonEscapedLength(const char *text, size_t count, bool keepHigh) {
  size_t n = InputLength(text, count), length = 0;
  const unsigned char *in = (const unsigned char *)text;
  for (size_t i = 0; i < n; i++) {
    unsigned char action = EscapeAction(in[i], keepHigh);
    length += action == 0 ? 0 : action == 1 ? 1 : 2;
  }
  return length;
}

char *JsonEscapeInto(char *out, const char *text, size_t count, bool keepHigh) {
  size_t n = InputLength(text, count);
  const unsigned char *in = (const unsigned char *)text;
  for (size_t i = 0; i < n; i++) {
    unsigned char action = EscapeAction(in[i], keepHigh);
    if (action == 1) {
      *out++ = (char)in[i];
    } else if (action) {
      *out++ = '\\';
      *out++ = (char)action;
    }
  }
  *out = '\0';
  return out;
}

size_t CopyBounded(char *out, size_t size, const char *text, size_t length) {
  if (!out || size == 0) return 0;
  size_t n = text ? strnlen(text, length < size - 1 ? length : size - 1) : 0;
  if (n) memcpy(out, text, n);
  out[n] = '\0';
  return n;
}

char *stringCatEscape(char *buffer, int *length, const char *text, int count) {
  char *out = JsonEscapeInto(buffer + *length, text, count > 0 ? (size_t)count : 0, true);
  *length = (int)(out - buffer);
  return out;
}

void jsonEscape(char **out, const char *text, int count) {
  *out = JsonEscapeInto(*out, text, count > 0 ? (size_t)count : 0, false);
}

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
