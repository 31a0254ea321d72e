// Fuzzes the settings listing and key changes, and the decoder of the TAP parameter block,
// with arbitrary text: buffers are allocated to their exact size so the address sanitizer
// sees any overrun, and the relations below must hold.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "common/base64.h"
#include "common/json_answer.h"
#include "platform/key_lines.h"
#include "webserver/api/module_settings.h"

namespace {

void Check(bool condition) {
  if (!condition) abort();
}

int Occurrences(const char *text, int length, const char *pattern) {
  int n = 0;
  size_t p = strlen(pattern);
  for (int i = 0; i + (int)p <= length; i++) n += memcmp(text + i, pattern, p) == 0;
  return n;
}

void FuzzListing(const char *text, size_t length, int limit) {
  JsonAnswer answer(limit, 16);
  if (!answer.Ok()) return;
  int count = SettingsListEntries(&answer, text, length);
  Check(answer.Length() <= limit);
  // Entries are separated by CR LF tab comma; escaping keeps these out of the strings.
  const char *data = answer.Data();
  Check(Occurrences(data, answer.Length(), "\r\n\t,") == (count > 0 ? count - 1 : 0));
  for (int i = 0; i < answer.Length(); i++) {
    unsigned char c = (unsigned char)data[i];
    Check(c >= 0x20 || c == '\r' || c == '\n' || c == '\t');
  }
}

// The first line of the text is a key, the second a value: set, find, delete.
void FuzzChanges(const char *text, size_t length) {
  size_t at = 0;
  KeyLine first, second;
  if (!KeyLineNext(text, length, &at, &first) || !KeyLineNext(text, length, &at, &second)) return;
  const char *key = first.key;
  size_t keyLength = first.keyLength;
  if (!KeyLineKeyIsValid(key, keyLength) || !KeyLineValueIsValid(second.key, second.keyLength)) return;
  char *copy = (char *)malloc(length + 1);
  Check(copy != nullptr);
  memcpy(copy, text, length);
  KeyText keys;
  KeyTextAdopt(&keys, copy, length);
  size_t before = keys.length;
  Check(KeyTextSet(&keys, key, keyLength, second.key, second.keyLength) == 0);
  KeyLine found;
  Check(KeyLineFind(keys.text, keys.length, key, keyLength, &found) == 1);
  Check(found.valueLength == second.keyLength && memcmp(found.value, second.key, found.valueLength) == 0);
  Check(strlen(keys.text) == keys.length && keys.length < keys.capacity);
  Check(KeyTextDelete(&keys, key, keyLength) >= 1);
  Check(KeyLineFind(keys.text, keys.length, key, keyLength, nullptr) == 0);
  Check(keys.length <= before + 2 + keyLength + 1 + second.keyLength + 2);
  KeyTextFree(&keys);
}

void FuzzParameterBlock(const char *text, size_t length) {
  int room = b64decodedMax((int)length);
  unsigned char *block = (unsigned char *)malloc((size_t)room + 1);
  Check(block != nullptr);
  int n = b64decode(text, block, room);
  Check(n >= -1 && n <= room);
  if (n > 0) {
    // Encoded again and decoded into exactly n bytes, the block comes back; one byte less
    // is refused.
    char *encoded = (char *)malloc(4 * ((size_t)n + 2) / 3 + 5);
    Check(encoded != nullptr);
    b64encode(block, encoded, n);
    unsigned char *again = (unsigned char *)malloc((size_t)n);
    Check(again != nullptr);
    Check(b64decode(encoded, again, n) == n && memcmp(again, block, (size_t)n) == 0);
    Check(b64decode(encoded, again, n - 1) == -1);
    free(again);
    free(encoded);
  }
  free(block);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  int limit = 2100 + data[0] * 16;
  char *text = (char *)malloc(size);
  Check(text != nullptr);
  memcpy(text, data + 1, size - 1);
  text[size - 1] = '\0';
  FuzzListing(text, size - 1, limit);
  FuzzChanges(text, size - 1);
  FuzzParameterBlock(text, strlen(text));
  free(text);
  return 0;
}
