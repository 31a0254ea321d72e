#include "platform/key_lines.h"

#include <ctype.h>
#include <string.h>

#include "common/common_memory.h"

namespace {

bool SameKey(const char *a, const char *b, size_t n) {
  for (size_t i = 0; i < n; i++) {
    if (tolower((unsigned char)a[i]) != tolower((unsigned char)b[i])) return false;
  }
  return true;
}

// Makes room for a text of length bytes and its NUL.
bool Reserve(KeyText *keys, size_t length) {
  if (length < keys->capacity) return true;
  size_t capacity = (length / 1024 + 1) * 1024;
  char *grown = static_cast<char *>(CommonAlloc(capacity));
  if (!grown) return false;
  if (keys->length) memcpy(grown, keys->text, keys->length);
  grown[keys->length] = '\0';
  CommonFree(keys->text);
  keys->text = grown;
  keys->capacity = capacity;
  return true;
}

// Replaces count bytes at offset with n bytes of with.
bool Splice(KeyText *keys, size_t offset, size_t count, const char *with, size_t n) {
  size_t length = keys->length - count + n;
  if (!Reserve(keys, length)) return false;
  char *at = keys->text + offset;
  memmove(at + n, at + count, keys->length - offset - count + 1);
  if (n) memcpy(at, with, n);
  keys->length = length;
  return true;
}

}  // namespace

int KeyLineNext(const char *text, size_t length, size_t *at, KeyLine *line) {
  if (!text || !at || !line || *at >= length) return 0;
  size_t start = *at, end = start;
  while (end < length && text[end] != '\n') end++;
  size_t next = end < length ? end + 1 : end;
  if (end > start && text[end - 1] == '\r') end--;
  const char *equals = static_cast<const char *>(memchr(text + start, '=', end - start));
  line->start = start;
  line->end = next;
  line->key = text + start;
  line->hasValue = equals != nullptr;
  line->keyLength = equals ? (size_t)(equals - line->key) : end - start;
  line->value = equals ? equals + 1 : text + end;
  line->valueLength = equals ? (size_t)(text + end - line->value) : 0;
  *at = next;
  return 1;
}

int KeyLineFind(const char *text, size_t length, const char *key, size_t keyLength, KeyLine *found) {
  if (!key || keyLength == 0) return 0;
  size_t at = 0;
  KeyLine line;
  while (KeyLineNext(text, length, &at, &line)) {
    if (line.hasValue && line.keyLength == keyLength && SameKey(line.key, key, keyLength)) {
      if (found) *found = line;
      return 1;
    }
  }
  return 0;
}

void KeyTextAdopt(KeyText *keys, char *data, size_t length) {
  keys->text = data;
  keys->length = data ? strnlen(data, length) : 0;
  keys->capacity = data ? length + 1 : 0;
  if (data) data[keys->length] = '\0';
}

void KeyTextFree(KeyText *keys) {
  CommonFree(keys->text);
  keys->text = nullptr;
  keys->length = keys->capacity = 0;
}

int KeyTextAppend(KeyText *keys, const char *text, size_t n) {
  return Splice(keys, keys->length, 0, text, n) ? 0 : -1;
}

int KeyTextSet(KeyText *keys, const char *key, size_t keyLength, const char *value, size_t valueLength) {
  KeyLine line;
  if (KeyLineFind(keys->text, keys->length, key, keyLength, &line)) {
    size_t offset = (size_t)(line.value - keys->text);
    return Splice(keys, offset, line.valueLength, value, valueLength) ? 0 : -1;
  }
  bool needsEnd = keys->length > 0 && keys->text[keys->length - 1] != '\n';
  size_t added = (needsEnd ? 2 : 0) + keyLength + 1 + valueLength + 2;
  size_t offset = keys->length;
  if (!Reserve(keys, keys->length + added)) return -1;
  char *at = keys->text + offset;
  if (needsEnd) at = static_cast<char *>(memcpy(at, "\r\n", 2)) + 2;
  memcpy(at, key, keyLength);
  at += keyLength;
  *at++ = '=';
  if (valueLength) memcpy(at, value, valueLength);
  at += valueLength;
  memcpy(at, "\r\n", 3);
  keys->length += added;
  return 0;
}

int KeyTextDelete(KeyText *keys, const char *key, size_t keyLength) {
  int removed = 0;
  KeyLine line;
  while (KeyLineFind(keys->text, keys->length, key, keyLength, &line)) {
    Splice(keys, line.start, line.end - line.start, nullptr, 0);   // shrinking needs no memory
    removed++;
  }
  return removed;
}

int KeyLineKeyIsValid(const char *key, size_t keyLength) {
  if (!key || keyLength == 0) return 0;
  if (strchr("#;/' \t", key[0])) return 0;
  for (size_t i = 0; i < keyLength; i++) {
    unsigned char c = (unsigned char)key[i];
    if (c < 0x20 || c == 0x7F || c == '=') return 0;
  }
  return 1;
}

int KeyLineValueIsValid(const char *value, size_t valueLength) {
  if (!value && valueLength) return 0;
  for (size_t i = 0; i < valueLength; i++) {
    if (value[i] == '\r' || value[i] == '\n' || value[i] == '\0') return 0;
  }
  return 1;
}
