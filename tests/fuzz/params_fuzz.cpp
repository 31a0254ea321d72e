// Fuzzes the request-parameter and text helpers with arbitrary input: every helper must
// stay within its buffers (the buffers here are allocated to their exact size, so the
// address sanitizer sees any overrun) and keep the relations checked below.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "common/base64.h"
#include "common/hex_text.h"
#include "common/packed_date.h"
#include "common/text_helpers.h"
#include "common/url_params.h"
#include "tests/fuzz/fuzz_helpers.h"

using fuzz::Check;

namespace {

char *Allocate(size_t size) {
  char *p = (char *)malloc(size ? size : 1);
  Check(p != nullptr);
  memset(p, 0x5A, size ? size : 1);
  return p;
}

const char *const kNames[] = {"filename", "filename_hex", "file", "index", "tapid", "tapid_hex", "k", "", "a=b"};

void FuzzDecoding(const char *text, size_t length, unsigned pick) {
  char *whole = Allocate(length + 1);
  int result = URLdecode(text, whole);
  Check(result == -1 || (result >= 1 && (size_t)result <= length + 1));
  Check(URLdecode(text, nullptr) == result);
  int window = (int)(pick % (length + 2));
  char *part = Allocate((size_t)window + 1);
  int partResult = URLndecode(text, part, window);
  Check(partResult == -1 || partResult <= window);
  Check(strlen(part) <= (size_t)window);
  // Decoding all of it through the window gives what the whole decode gives.
  char *again = Allocate(length + 1);
  int againResult = URLndecode(text, again, (int)length);
  Check((result == -1) == (againResult == -1));
  if (result >= 0) Check(againResult == result - 1 && memcmp(again, whole, (size_t)result) == 0);
  free(whole);
  free(part);
  free(again);
}

void FuzzLookups(const char *text, unsigned pick) {
  const char *name = kNames[pick % (sizeof kNames / sizeof kNames[0])];
  static const int kSizes[] = {1, 2, 3, 16, 513};
  int size = kSizes[(pick >> 4) % 5];
  char *out = Allocate((size_t)size);
  int found = webC_getStrParam(text, name, out, size);
  Check(strlen(out) < (size_t)size);
  if (found) Check(webC_paramExists(text, name) == 1);
  if (!webC_paramExists(text, name)) Check(found == 0 && out[0] == '\0');
  webC_getHexStrParam(text, name, out, size);
  Check(strlen(out) < (size_t)size);
  free(out);
  int value = 0;
  uint32_t dword = 0;
  webC_getIntParam(text, name, &value);
  webC_getDwordParam(text, name, &dword);
  webC_getHexDwordParam(text, name, &dword);
}

void FuzzParse(const char *text, unsigned pick) {
  int count = parseParams(text, 1);
  Check(count >= 0);
  Check(strlen(gCommand.source) < sizeof gCommand.source);
  Check(strlen(gCommand.genreSource) < sizeof gCommand.genreSource);
  Check(strlen(gCommand.language) < sizeof gCommand.language);
  Check(gCommand.fileNameSet || gCommand.fileName[0] == '\0');
  parseParams(text, (int)(pick & 1));
}

void FuzzHex(const char *text, size_t length, unsigned pick) {
  const char *decoded = HexToText(text);
  Check(strlen(decoded) < TEXT_HEX_RESULT_SIZE);
  Check(strlen(TextToHex(text)) < HEX_TEXT_RESULT_SIZE);
  char *buffer = Allocate(length / 2 + 1);
  int n = webC_HexToText(text, buffer);
  Check((size_t)n == length / 2);
  free(buffer);
  int size = (int)(pick % 9);
  char *small = Allocate((size_t)size);
  int m = webC_HexToTextN(text, small, size);
  Check(m <= (size > 0 ? size - 1 : 0));
  free(small);
  // The hex form of the text decodes back to the text.
  char *hex = Allocate(2 * length + 1);
  Check(webC_TextToHex(text, hex) == (int)(2 * length));
  char *back = Allocate(length + 1);
  Check(webC_HexToText(hex, back) == (int)length && memcmp(back, text, length + 1) == 0);
  free(hex);
  free(back);
}

void FuzzBase64(const char *text, const uint8_t *data, size_t size, unsigned pick) {
  int outSize = (int)(pick % 64);
  char *out = Allocate((size_t)outSize);
  if (outSize > 0) out[0] = '\0';
  Base64Decode(text, out, outSize);
  if (outSize > 0) Check(strlen(out) < (size_t)outSize);
  if (outSize > 0) out[0] = '\0';
  Base64Encode(text, out, outSize);
  if (outSize > 0) Check(strlen(out) < (size_t)outSize && strlen(out) % 4 == 0);
  free(out);
  // Raw bytes encoded and decoded again come back up to their first NUL.
  size_t encodedSize = 4 * ((size + 2) / 3) + 1;
  char *encoded = Allocate(encodedSize);
  Check((size_t)b64encode(data, encoded, (int)size) == encodedSize - 1);
  char *decoded = Allocate(size + 1);
  decoded[0] = '\0';
  Base64Decode(encoded, decoded, (int)size + 1);
  size_t textLength = strnlen((const char *)data, size);
  Check(strlen(decoded) == textLength && memcmp(decoded, data, textLength) == 0);
  free(encoded);
  free(decoded);
}

void FuzzText(const char *text, size_t length, const uint8_t *data, size_t size) {
  char *escaped = Allocate(2 * length + 1);
  int used = 0;
  stringCatEscape(escaped, &used, text, 0);
  Check((size_t)used <= 2 * length);
  char *json = Allocate(2 * length + 1);
  char *end = json;
  jsonEscape(&end, text, 0);
  Check((size_t)(end - json) <= 2 * length && *end == '\0');
  free(escaped);
  free(json);
  char *copy = Allocate(length + 1);
  memcpy(copy, text, length + 1);
  trim(copy);
  makeUpper(copy);
  Check(instr(text, copy) >= -1);
  free(copy);
  uint32_t date = JSONToPVRDate(text);
  if (date) Check(JSONToPVRDate(PVRDateToJSON(date, 0)) == date);
  uint32_t packed = 0;
  memcpy(&packed, data, size < 4 ? size : 4);
  Check(strlen(PVRDateToJSON(packed, (int)packed)) < PVR_DATE_TEXT_SIZE);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  char *text = Allocate(size + 1);
  memcpy(text, data, size);
  text[size] = '\0';
  size_t length = strlen(text);
  unsigned pick = size > 0 ? data[0] * 257u + data[size - 1] : 0;
  FuzzDecoding(text, length, pick);
  FuzzLookups(text, pick);
  FuzzParse(text, pick);
  FuzzHex(text, length, pick);
  FuzzBase64(text, data, size, pick);
  FuzzText(text, length, data, size);
  free(text);
  return 0;
}
