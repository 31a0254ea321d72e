// Fuzzes the settings listing and key changes, the handler parameter scan, module names,
// and the decoder of the TAP parameter block (Base64 alone and as the start request reads
// it) with arbitrary text: buffers are allocated to their exact size so the address
// sanitizer sees any overrun, and the relations below must hold.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "common/base64.h"
#include "common/common_memory.h"
#include "common/json_answer.h"
#include "common/url_params.h"
#include "platform/key_lines.h"
#include "tests/fuzz/fuzz_helpers.h"
#include "webserver/api/module_settings.h"
#include "webserver/api/tap_parameter_block.h"

using fuzz::Check;

namespace {

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

// The text as handler parameters: every piece lies within the text, keywords hold no "="
// and no piece holds "&"; the last piece of a keyword is what the lookup finds.
void FuzzHandlerParams(const char *text, size_t length) {
  const char *end = text + length;
  HandlerParamPiece piece, last = {nullptr, 0, nullptr, 0};
  for (const char *at = text; NextHandlerParam(&at, &piece);) {
    Check(piece.keyword >= text && piece.value + piece.valueLength <= end);
    Check(piece.value == piece.keyword + piece.keywordLength + 1 && piece.value[-1] == '=');
    Check(!memchr(piece.keyword, '=', piece.keywordLength) && !memchr(piece.keyword, '&', piece.keywordLength));
    Check(!memchr(piece.value, '&', piece.valueLength));
    if (piece.keywordLength == 3 && memcmp(piece.keyword, "key", 3) == 0) last = piece;
  }
  const char *value = nullptr;
  size_t valueLength = 0;
  bool found = FindHandlerParam(text, "key", &value, &valueLength);
  Check(found == (last.keyword != nullptr));
  Check(!found || (value == last.value && valueLength == last.valueLength));
}

// A module name that is accepted names a folder right below the modules folder.
void FuzzModuleName(const char *text) {
  char path[1200];
  int valid = IsValidModuleName(text);
  Check(!valid || (!strchr(text, '/') && !strstr(text, "..") && strcmp(text, ".") != 0));
  if (valid && SettingsFilePath(text, path, sizeof path) == SETTINGS_OK) {
    const char prefix[] = "/mnt/hd/ProgramFiles/Settings/Orvane/public_html/modules/";
    Check(strncmp(path, prefix, sizeof prefix - 1) == 0);
    Check(strcmp(path + strlen(path) - 13, "/settings.ini") == 0);
  }
}

// The start request's block: whole bytes or nothing, never more than the text can make.
void FuzzStartBlock(const char *text) {
  unsigned char *block = nullptr;
  int length = -1;
  int result = TapParameterBlock(text, &block, &length);
  Check(result >= TAP_BLOCK_INVALID && result <= TAP_BLOCK_GIVEN);
  Check(length >= 0 && (block != nullptr) == (length > 0));
  Check(result == TAP_BLOCK_GIVEN || length == 0);
  Check(length <= b64decodedMax(TAP_PARAMS_MAX));
  if (length > 0) memset(block, 0, (size_t)length);   // every byte reported is there
  CommonFree(block);
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
  FuzzHandlerParams(text, strlen(text));
  FuzzModuleName(text);
  FuzzStartBlock(text);
  free(text);
  return 0;
}
