#include "webserver/api/pvr_names.h"

#include "common/json_answer.h"
#include "common/text_helpers.h"
#include "platform/pvr_text.h"

namespace {

// The name is converted before it is cleaned: cleaning drops the bytes below 32, among
// them the character-table selector that the conversion needs.
bool AppendConverted(JsonAnswer *answer, const char *name, size_t field, bool clean) {
  char text[PVR_NAME_FIELD];
  CopyBounded(text, sizeof text, name ? name : "", field);
  char utf8[4 * PVR_NAME_FIELD + 1];
  StrToUTF8(text, utf8, gDefaultCharacterSet);
  if (clean) MakeValidFileName(utf8, 1);
  return answer->Escaped(utf8);
}

}  // namespace

bool AppendPVRName(JsonAnswer *answer, const char *name, size_t field) {
  return AppendConverted(answer, name, field, true);
}

bool AppendPVRText(JsonAnswer *answer, const char *name, size_t field) {
  return AppendConverted(answer, name, field, false);
}
