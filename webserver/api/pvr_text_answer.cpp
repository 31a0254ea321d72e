#include "webserver/api/pvr_text_answer.h"

#include <string.h>

#include "common/json_answer.h"
#include "common/text_helpers.h"
#include "platform/pvr_text.h"

bool AppendPvrName(JsonAnswer *answer, const char *name, size_t length) {
  char raw[NAME_SCRATCH], clean[NAME_SCRATCH];
  CopyBounded(raw, sizeof raw, name, length);
  // The character-table selector in front is kept: cleaning would take it for control
  // characters, and the name would be read in the default table.
  size_t selector = (size_t)(SkipCharTableBytes(raw) - raw);
  memcpy(clean, raw, selector);
  ValidFileName(raw + selector, 1, clean + selector, sizeof clean - selector);
  char utf8[4 * (NAME_SCRATCH + 1)];
  StrToUTF8(clean, utf8, gDefaultCharacterSet);
  return answer->Escaped(utf8);
}

bool AppendPvrText(JsonAnswer *answer, const char *text, size_t length) {
  char raw[PVR_TEXT_ANSWER_MAX + 1];
  CopyBounded(raw, sizeof raw, text, length);
  char utf8[4 * PVR_TEXT_ANSWER_MAX + 1];
  StrToUTF8(raw, utf8, gDefaultCharacterSet);
  return answer->Escaped(utf8);
}
