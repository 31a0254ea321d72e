#include "webserver/core/handler_params.h"

#include <string.h>

#include "webserver/core/logging.h"

namespace {

// The piece of params at *at: keyword and value (when it has "="); moves *at past it.
// False at the end of the text.
bool NextPiece(const char **at, const char **keyword, size_t *keywordLength, const char **value,
               size_t *valueLength, bool *hasValue) {
  const char *start = *at;
  if (!*start) return false;
  const char *end = strchr(start, '&');
  if (!end) end = start + strlen(start);
  *at = *end ? end + 1 : end;
  const char *equals = static_cast<const char *>(memchr(start, '=', (size_t)(end - start)));
  *hasValue = equals != nullptr;
  *keyword = start;
  *keywordLength = equals ? (size_t)(equals - start) : (size_t)(end - start);
  *value = equals ? equals + 1 : end;
  *valueLength = equals ? (size_t)(end - equals - 1) : 0;
  return true;
}

}  // namespace

void LogHandlerParams(const char *params) {
  if (!params || gLoggingLevel < LOG_DETAIL) return;
  const char *at = params, *keyword, *value;
  size_t keywordLength, valueLength;
  bool hasValue;
  while (NextPiece(&at, &keyword, &keywordLength, &value, &valueLength, &hasValue)) {
    if (!hasValue) continue;
    LOGF(LOG_DETAIL, "theKeyword = [%.*s], theValue = [%.*s].", (int)keywordLength, keyword, (int)valueLength,
         value);
  }
}

bool FindHandlerParam(const char *params, const char *keyword, const char **value, size_t *length) {
  if (!params || !keyword) return false;
  size_t wanted = strlen(keyword);
  bool found = false;
  const char *at = params, *name, *text;
  size_t nameLength, textLength;
  bool hasValue;
  while (NextPiece(&at, &name, &nameLength, &text, &textLength, &hasValue)) {
    if (!hasValue || nameLength != wanted || memcmp(name, keyword, wanted) != 0) continue;
    *value = text;
    *length = textLength;
    found = true;
  }
  return found;
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
