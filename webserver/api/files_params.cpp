#include "webserver/api/files_params.h"

#include <string.h>

#include "common/hex_text.h"
#include "common/text_helpers.h"
#include "common/url_params.h"
#include "platform/tap_api.h"
#include "webserver/core/logging.h"

void ScanFilesParams(const char *params, FilesParamFunction take, void *context) {
  if (!params) return;
  const char *end = params + strnlen(params, PARAMS_TEXT_LIMIT);
  for (const char *at = params; at < end;) {
    const char *amp = static_cast<const char *>(memchr(at, '&', (size_t)(end - at)));
    const char *pieceEnd = amp ? amp : end;
    const char *equals = static_cast<const char *>(memchr(at, '=', (size_t)(pieceEnd - at)));
    if (equals) {
      char keyword[FILES_KEYWORD_SIZE];
      size_t keywordLength = (size_t)(equals - at);
      if (keywordLength >= sizeof keyword) keywordLength = 0;   // matches no keyword
      CopyBounded(keyword, sizeof keyword, at, keywordLength);
      const char *value = equals + 1;
      size_t length = (size_t)(pieceEnd - value);
      LOGF(LOG_DETAIL, "theKeyword = [%s], theValue = [%.*s].", keyword,
           length > FILES_VALUE_LOG ? (int)FILES_VALUE_LOG : (int)length, value);
      if (keywordLength) take(context, keyword, value, length);
    }
    at = pieceEnd + 1;
  }
}

int TakeFilesValue(char *field, size_t size, const char *value, size_t length) {
  if (!field || size == 0) return 0;
  field[0] = '\0';
  if (length >= size || memchr(value, '\0', length)) return 0;
  memcpy(field, value, length);
  field[length] = '\0';
  return 1;
}

int TakeFilesURLValue(char *field, size_t size, const char *value, size_t length) {
  if (!field || size == 0) return 0;
  field[0] = '\0';
  if (length > PARAMS_TEXT_LIMIT) return 0;
  int decoded = URLndecode(value, nullptr, (int)length);
  if (decoded < 0) return TakeFilesValue(field, size, value, length);
  if ((size_t)decoded >= size) return 0;
  URLndecode(value, field, (int)length);
  // "%00" would cut the text short and name something else.
  if (strlen(field) != (size_t)decoded) {
    field[0] = '\0';
    return 0;
  }
  return 1;
}

int TakeFilesHexValue(char *field, size_t size, const char *value, size_t length) {
  if (!field || size == 0) return 0;
  field[0] = '\0';
  size_t bytes = length / 2;   // an odd last digit is ignored
  if (bytes >= size) return 0;
  for (size_t i = 0; i < bytes; i++) {
    int high = HexDigitValue(value[2 * i]), low = HexDigitValue(value[2 * i + 1]);
    field[i] = (char)((high < 0 ? 0 : high) << 4 | (low < 0 ? 0 : low));
    if (field[i] == '\0') {   // a zero byte would cut the text short
      field[0] = '\0';
      return 0;
    }
  }
  field[bytes] = '\0';
  return 1;
}

bool FilesKeywordIs(const char *keyword, const char *const *names) {
  for (; *names; names++) {
    if (strcmp(keyword, *names) == 0) return true;
  }
  return false;
}
