#include "webserver/api/pvr_text_answer.h"

#include <string.h>

#include "common/json_answer.h"
#include "common/text_helpers.h"
#include "platform/pvr_text.h"
#include "platform/tap_api.h"

namespace {

// Copies text to out (twice its size suffices): a byte that does not belong to a UTF-8
// sequence (a text marked as UTF-8 keeps the PVR's line break 0x8A as a single byte)
// becomes its code point U+0080-U+00FF, as in the PVR's single-byte tables, so that the
// answer stays UTF-8.
void KeepValidUTF8(const char *text, char *out) {
  while (*text) {
    byte length = 1;
    if ((byte)*text < 0x80 || isUTF8Char(text, &length)) {
      memcpy(out, text, length);
      out += length;
      text += length;
      continue;
    }
    byte encoded = 0;
    UTF32ToUTF8((byte)*text++, out, &encoded);
    out += encoded;
  }
  *out = '\0';
}

// A PVR text of at most PVR_TEXT_ANSWER_MAX bytes, converted and escaped.
bool AppendConverted(JsonAnswer *answer, const char *text) {
  char utf8[4 * PVR_TEXT_ANSWER_MAX + 1];
  StrToUTF8(text, utf8, gDefaultCharacterSet);
  char valid[2 * sizeof utf8];
  KeepValidUTF8(utf8, valid);
  return answer->Escaped(valid);
}

}  // namespace

bool AppendPvrName(JsonAnswer *answer, const char *name, size_t length) {
  char raw[NAME_SCRATCH], clean[NAME_SCRATCH];
  CopyBounded(raw, sizeof raw, name, length);
  // The character-table selector in front is kept: cleaning would take it for control
  // characters, and the name would be read in the default table.
  size_t selector = (size_t)(SkipCharTableBytes(raw) - raw);
  memcpy(clean, raw, selector);
  ValidFileName(raw + selector, 1, clean + selector, sizeof clean - selector);
  return AppendConverted(answer, clean);
}

bool AppendPvrText(JsonAnswer *answer, const char *text, size_t length) {
  char raw[PVR_TEXT_ANSWER_MAX + 1];
  CopyBounded(raw, sizeof raw, text, length);
  return AppendConverted(answer, raw);
}
