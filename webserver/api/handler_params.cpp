#include "webserver/api/handler_params.h"

#include <string.h>

#include "common/text_helpers.h"
#include "webserver/core/logging.h"

void ScanHandlerParams(const char *text, int length, char separator, HandlerParamFunction take, void *context) {
  if (!text || length <= 0) return;
  size_t end = strnlen(text, (size_t)length);
  char keyword[HANDLER_PARAM_MAX + 1], value[HANDLER_PARAM_MAX + 1];
  for (size_t at = 0; at < end;) {
    const char *piece = text + at;
    const void *found = memchr(piece, separator, end - at);
    size_t pieceLength = found ? (size_t)(static_cast<const char *>(found) - piece) : end - at;
    at += pieceLength + 1;
    const void *equals = memchr(piece, '=', pieceLength);
    if (!equals) continue;
    size_t keywordLength = (size_t)(static_cast<const char *>(equals) - piece);
    CopyBounded(keyword, sizeof keyword, piece, keywordLength);
    CopyBounded(value, sizeof value, piece + keywordLength + 1, pieceLength - keywordLength - 1);
    LOGF(LOG_DETAIL, "theKeyword = [%s], theValue = [%s].", keyword, value);
    take(keyword, value, context);
  }
}
