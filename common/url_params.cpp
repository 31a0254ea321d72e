#include "common/url_params.h"

#include <stdio.h>
#include <string.h>

#include "common/common_log.h"
#include "common/hex_text.h"
#include "common/text_helpers.h"

RequestCommand gCommand;

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A digit of base 10 or 16, or -1.
int DigitValue(char c, int base) {
  int value = HexDigitValue((unsigned char)c);
  return value < base ? value : -1;
}

// Reads a number from at most length characters of text the way scanf's integer
// conversions do: blanks skipped, an optional sign, then the digits of base ("0x" before
// hex digits allowed). The magnitude saturates at 2^32. False when no digit follows.
bool ScanNumber(const char *text, long length, int base, bool *negative, uint64_t *magnitude) {
  long i = 0;
  while (i < length && IsBlank(text[i])) i++;
  *negative = false;
  if (i < length && (text[i] == '+' || text[i] == '-')) *negative = text[i++] == '-';
  if (base == 16 && i + 2 < length && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
      DigitValue(text[i + 2], 16) >= 0) {
    i += 2;
  }
  uint64_t value = 0;
  bool any = false;
  for (; i < length; i++) {
    int digit = DigitValue(text[i], base);
    if (digit < 0) break;
    any = true;
    value = value * (uint64_t)base + (uint64_t)digit;
    if (value > 0x100000000ull) value = 0x100000000ull;
  }
  *magnitude = value;
  return any;
}

int ClampToInt(bool negative, uint64_t magnitude) {
  if (negative) return magnitude >= 0x80000000ull ? (int)(-2147483647 - 1) : -(int)magnitude;
  return magnitude > 0x7FFFFFFFull ? 2147483647 : (int)magnitude;
}

// An unsigned 32-bit conversion: too large magnitudes give 0xFFFFFFFF, a minus sign
// negates modulo 2^32.
uint32_t ClampToDword(bool negative, uint64_t magnitude) {
  if (magnitude > 0xFFFFFFFFull) return 0xFFFFFFFFu;
  return negative ? (uint32_t)(0u - (uint32_t)magnitude) : (uint32_t)magnitude;
}

// Decimal value of a text span as atoi reads it, 0 when there is no number.
int DecimalOf(const char *text, long length) {
  bool negative;
  uint64_t magnitude;
  if (!ScanNumber(text, length, 10, &negative, &magnitude)) return 0;
  return ClampToInt(negative, magnitude);
}

uint32_t DwordOf(const char *text, long length, int base) {
  bool negative;
  uint64_t magnitude;
  if (!ScanNumber(text, length, base, &negative, &magnitude)) return 0;
  return ClampToDword(negative, magnitude);
}

// Finds the value of the first segment named name: start and length. False when absent.
bool FindParam(const char *params, const char *name, const char **value, long *length) {
  if (!params || !name) return false;
  size_t nameLength = strlen(name);
  const char *segment = params;
  while (true) {
    const char *p = segment;
    while (*p && *p != '=' && *p != '&') p++;
    if (*p == '=' && (size_t)(p - segment) == nameLength && memcmp(segment, name, nameLength) == 0) {
      const char *end = p + 1;
      while (*end && *end != '&') end++;
      *value = p + 1;
      *length = end - (p + 1);
      return true;
    }
    while (*p && *p != '&') p++;
    if (!*p) return false;
    segment = p + 1;
  }
}

bool KeywordIs(const char *keyword, long length, const char *name) {
  return (size_t)length == strlen(name) && memcmp(keyword, name, (size_t)length) == 0;
}

// Stores a file name given URL-encoded or hex-encoded; false (and no name) when it is
// malformed or does not fit the field.
bool TakeFileName(const char *value, long length, bool hex) {
  gCommand.fileNameSet = 0;
  gCommand.fileName[0] = '\0';
  if (hex) {
    if (length / 2 > COMMAND_FILE_NAME_SIZE - 1) return false;
    webC_HexToTextN(value, gCommand.fileName, (int)(length / 2) + 1);
  } else {
    int decoded = URLndecode(value, nullptr, (int)length);
    if (decoded < 0 || decoded > COMMAND_FILE_NAME_SIZE - 1) return false;
    URLndecode(value, gCommand.fileName, (int)length);
  }
  gCommand.fileNameSet = 1;
  return true;
}

// Stores one keyword=value pair; true when the keyword was recognised.
bool StoreParam(const char *keyword, long keywordLength, const char *value, long length) {
  RequestCommand &c = gCommand;
  if (KeywordIs(keyword, keywordLength, "epgsource") || KeywordIs(keyword, keywordLength, "source")) {
    CopyBounded(c.source, sizeof c.source, value, (size_t)length);
    c.sourceSet = 1;
  } else if (KeywordIs(keyword, keywordLength, "genre_source")) {
    CopyBounded(c.genreSource, sizeof c.genreSource, value, (size_t)length);
    c.genreSourceSet = 1;
  } else if (KeywordIs(keyword, keywordLength, "filename")) {
    return TakeFileName(value, length, false);
  } else if (KeywordIs(keyword, keywordLength, "filename_hex")) {
    return TakeFileName(value, length, true);
  } else if (KeywordIs(keyword, keywordLength, "index")) {
    c.index = DecimalOf(value, length);
    c.indexSet = 1;
  } else if (KeywordIs(keyword, keywordLength, "tapid")) {
    c.tapId = DwordOf(value, length, 10);
    c.tapIdSet = 1;
  } else if (KeywordIs(keyword, keywordLength, "tapid_hex")) {
    c.tapId = DwordOf(value, length, 16);
    c.tapIdSet = 1;
  } else if (KeywordIs(keyword, keywordLength, "sat") || KeywordIs(keyword, keywordLength, "satindex")) {
    c.satIndex = DecimalOf(value, length);
    c.satIndexSet = 1;
  } else if (KeywordIs(keyword, keywordLength, "language") || KeywordIs(keyword, keywordLength, "lang") ||
             KeywordIs(keyword, keywordLength, "lan")) {
    CopyBounded(c.language, sizeof c.language, value, (size_t)length);
    c.languageSet = 1;
  } else if (KeywordIs(keyword, keywordLength, "cache")) {
    c.cache = (uint32_t)DecimalOf(value, length);
    c.cacheSet = 1;
  } else if (KeywordIs(keyword, keywordLength, "append")) {
    c.append = (uint32_t)DecimalOf(value, length);
    c.appendSet = 1;
  } else {
    return false;
  }
  return true;
}

}  // namespace

int URLishex(int c) { return HexDigitValue(c) >= 0 ? 1 : 0; }

int URLdecode(const char *text, char *buffer) {
  if (!text) text = "";
  int written = 0;
  for (long i = 0;; i++) {
    char c = text[i];
    if (c == '%') {
      if (!URLishex((unsigned char)text[i + 1]) || !URLishex((unsigned char)text[i + 2])) {
        if (buffer) buffer[written] = '\0';
        return -1;
      }
      c = (char)(HexDigitValue(text[i + 1]) << 4 | HexDigitValue(text[i + 2]));
      i += 2;
    } else if (c == '+') {
      c = ' ';
    }
    if (buffer) buffer[written] = c;
    written++;
    if (text[i] == '\0') return written;
  }
}

int URLndecode(const char *text, char *buffer, int n) {
  if (!text) text = "";
  int written = 0;
  int result = 0;
  for (long i = 0; i < n && text[i] != '\0'; i++) {
    char c = text[i];
    if (c == '%') {
      // Both digits must lie within the n bytes.
      if (i + 2 >= n || !URLishex((unsigned char)text[i + 1]) || !URLishex((unsigned char)text[i + 2])) {
        result = -1;
        break;
      }
      c = (char)(HexDigitValue(text[i + 1]) << 4 | HexDigitValue(text[i + 2]));
      i += 2;
    } else if (c == '+') {
      c = ' ';
    }
    if (buffer) buffer[written] = c;
    written++;
  }
  if (buffer) buffer[written] = '\0';
  return result < 0 ? -1 : written;
}

bool NextHandlerParam(const char **at, HandlerParamPiece *piece) {
  while (at && *at && **at) {
    const char *start = *at;
    const char *end = strchr(start, '&');
    if (!end) end = start + strlen(start);
    *at = *end ? end + 1 : end;
    const char *equals = static_cast<const char *>(memchr(start, '=', (size_t)(end - start)));
    if (!equals) continue;
    piece->keyword = start;
    piece->keywordLength = (size_t)(equals - start);
    piece->value = equals + 1;
    piece->valueLength = (size_t)(end - equals - 1);
    return true;
  }
  return false;
}

bool FindHandlerParam(const char *params, const char *keyword, const char **value, size_t *length) {
  if (!params || !keyword) return false;
  size_t wanted = strlen(keyword);
  bool found = false;
  HandlerParamPiece piece;
  for (const char *at = params; NextHandlerParam(&at, &piece);) {
    if (piece.keywordLength != wanted || memcmp(piece.keyword, keyword, wanted) != 0) continue;
    *value = piece.value;
    *length = piece.valueLength;
    found = true;
  }
  return found;
}

int webC_paramExists(const char *params, const char *name) {
  const char *value;
  long length;
  return FindParam(params, name, &value, &length) ? 1 : 0;
}

int webC_getStrParam(const char *params, const char *name, char *out, int size) {
  if (!out || size < 1) return 0;
  memset(out, 0, (size_t)size);
  const char *value;
  long length;
  if (!FindParam(params, name, &value, &length)) return 0;
  if (length > size - 1) {
    // Cut the value to what fits, but never through an escape.
    length = size - 1;
    if (length >= 1 && value[length - 1] == '%') {
      length -= 1;
    } else if (length >= 2 && value[length - 2] == '%') {
      length -= 2;
    }
  }
  if (URLndecode(value, out, (int)length) < 0) {
    memset(out, 0, (size_t)size);
    return 0;
  }
  return 1;
}

int webC_getHexStrParam(const char *params, const char *name, char *out, int size) {
  if (!webC_getStrParam(params, name, out, size)) return 0;
  webC_HexToTextN(out, out, size);
  return 1;
}

namespace {

// The value of a numeric parameter: its first 15 characters, non-empty.
bool NumberText(const char *params, const char *name, char (&text)[16]) {
  return webC_getStrParam(params, name, text, sizeof text) && text[0] != '\0';
}

// A numeric parameter read in base 10 or 16; false when absent or not a number.
bool NumberParam(const char *params, const char *name, int base, bool *negative, uint64_t *magnitude) {
  char text[16];
  return NumberText(params, name, text) && ScanNumber(text, (long)strlen(text), base, negative, magnitude);
}

}  // namespace

int webC_getIntParam(const char *params, const char *name, int *value) {
  bool negative;
  uint64_t magnitude;
  if (!NumberParam(params, name, 10, &negative, &magnitude)) return 0;
  *value = ClampToInt(negative, magnitude);
  return 1;
}

int webC_getDwordParam(const char *params, const char *name, uint32_t *value) {
  bool negative;
  uint64_t magnitude;
  if (!NumberParam(params, name, 10, &negative, &magnitude)) return 0;
  *value = ClampToDword(negative, magnitude);
  return 1;
}

int webC_getHexDwordParam(const char *params, const char *name, uint32_t *value) {
  bool negative;
  uint64_t magnitude;
  if (!NumberParam(params, name, 16, &negative, &magnitude)) return 0;
  *value = ClampToDword(negative, magnitude);
  return 1;
}

int parseParams(const char *params, int clear) {
  if (clear) memset(&gCommand, 0, sizeof gCommand);
  if (!params) return 0;
  long total = 0;
  while (total < PARAMS_TEXT_LIMIT && params[total] != '\0') total++;

  int recognised = 0;
  for (long start = 0; start < total;) {
    long end = start;
    while (end < total && params[end] != '&') end++;
    long equals = start;
    while (equals < end && params[equals] != '=') equals++;
    if (equals < end) {
      const char *keyword = params + start;
      long keywordLength = equals - start;
      const char *value = params + equals + 1;
      long valueLength = end - equals - 1;
      if (CommonLogEnabled(2)) {
        char line[1024];
        snprintf(line, sizeof line, "theKeyword = [%.*s], theValue = [%.*s].", (int)(keywordLength > 400 ? 400 : keywordLength),
                 keyword, (int)(valueLength > 560 ? 560 : valueLength), value);
        CommonLogWrite(2, line);
      }
      if (StoreParam(keyword, keywordLength, value, valueLength)) recognised++;
    }
    start = end + 1;
  }
  return recognised;
}
