#include "webserver/core/api_target.h"

#include <stdio.h>
#include <string.h>

#include "common/text_helpers.h"

namespace {

// Stores one name=value pair of the dispatch part.
void TakePair(const char *pair, size_t length, APIWords *words) {
  const char *equals = static_cast<const char *>(memchr(pair, '=', length));
  if (!equals) return;
  size_t nameLength = (size_t)(equals - pair);
  const char *value = equals + 1;
  size_t valueLength = length - nameLength - 1;
  char *target = nullptr;
  if (nameLength == 8 && strncmp(pair, "function", 8) == 0) target = words->function;
  if (nameLength == 6 && strncmp(pair, "action", 6) == 0) target = words->action;
  if ((nameLength == 3 && strncmp(pair, "tap", 3) == 0) || (nameLength == 6 && strncmp(pair, "module", 6) == 0))
    target = words->tap;
  if (nameLength == 7 && strncmp(pair, "session", 7) == 0) target = words->session;
  if (target) CopyBounded(target, API_WORD_SIZE, value, valueLength);
}

}  // namespace

void SplitAPITarget(const char *path, APIWords *words) {
  memset(words, 0, sizeof *words);
  snprintf(words->tap, sizeof words->tap, "default");
  const char *bang = strchr(path, '!');
  words->params = bang ? bang + 1 : "";
  if (!bang || strncmp(path, "/api?", 5) != 0) return;
  const char *at = path + 5;
  while (at < bang) {
    const char *end = static_cast<const char *>(memchr(at, '&', (size_t)(bang - at)));
    if (!end) end = bang;
    TakePair(at, (size_t)(end - at), words);
    at = end + 1;
  }
}
