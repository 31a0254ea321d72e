#include "webserver/core/handler_params.h"

#include <string.h>

#include "common/url_params.h"
#include "webserver/core/logging.h"

void LogHandlerParams(const char *params) {
  if (!params || gLoggingLevel < LOG_DETAIL) return;
  HandlerParamPiece piece;
  for (const char *at = params; NextHandlerParam(&at, &piece);) {
    LOGF(LOG_DETAIL, "theKeyword = [%.*s], theValue = [%.*s].", (int)piece.keywordLength, piece.keyword,
         (int)piece.valueLength, piece.value);
  }
}

HandlerParam::HandlerParam(const char *params, const char *keyword) {
  const char *value;
  if (!FindHandlerParam(params, keyword, &value, &length_)) return;
  given_ = true;
  copy_ = static_cast<char *>(TAP_MemAlloc((dword)length_ + 1));
  if (!copy_) return;
  memcpy(copy_, value, length_);
  copy_[length_] = '\0';
}

HandlerParam::~HandlerParam() {
  if (copy_) TAP_MemFree(copy_);
}
