#include "common/hex_text.h"

#include <string.h>

namespace {

char gTextToHexResult[HEX_TEXT_RESULT_SIZE];
char gHexToTextResult[TEXT_HEX_RESULT_SIZE];

const char kHexDigits[] = "0123456789abcdef";

// A character that is not a hex digit counts as 0.
int HexValue(char c) {
  int value = HexDigitValue((unsigned char)c);
  return value < 0 ? 0 : value;
}

// Writes the hex form of at most limit bytes of text (limit < 0: all) and a NUL.
int EncodeHex(const char *text, char *out, long limit) {
  int written = 0;
  const unsigned char *in = (const unsigned char *)(text ? text : "");
  for (long i = 0; in[i] != 0 && (limit < 0 || i < limit); i++) {
    out[written++] = kHexDigits[in[i] >> 4];
    out[written++] = kHexDigits[in[i] & 15];
  }
  out[written] = '\0';
  return written;
}

// Decodes at most limit bytes (limit < 0: all) and writes a NUL after them. Reading stays
// ahead of writing, so out may equal hex.
int DecodeHex(const char *hex, char *out, long limit) {
  int written = 0;
  if (hex) {
    for (long i = 0; (limit < 0 || written < limit) && hex[i] != 0 && hex[i + 1] != 0; i += 2) {
      char byte = (char)(HexValue(hex[i]) << 4 | HexValue(hex[i + 1]));
      out[written++] = byte;
    }
  }
  out[written] = '\0';
  return written;
}

}  // namespace

int HexDigitValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

const char *TextToHex(const char *text) {
  EncodeHex(text, gTextToHexResult, (HEX_TEXT_RESULT_SIZE - 1) / 2);
  return gTextToHexResult;
}

int webC_TextToHex(const char *text, char *buffer) {
  return EncodeHex(text, buffer, -1);
}

const char *HexToText(const char *hex) {
  DecodeHex(hex, gHexToTextResult, TEXT_HEX_RESULT_SIZE - 1);
  return gHexToTextResult;
}

int webC_HexToText(const char *hex, char *buffer) {
  return DecodeHex(hex, buffer, -1);
}

int webC_HexToTextN(const char *hex, char *buffer, int size) {
  if (!buffer || size < 1) return 0;
  return DecodeHex(hex, buffer, size - 1);
}
