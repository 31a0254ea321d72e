#include "platform/epg_text_fit.h"

#include <string.h>

namespace {

// Bytes of the UTF-8 sequence a lead byte begins (1 for anything that is not a lead).
size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 1;
}

}  // namespace

size_t EPGFitText(char *out, size_t size, const char *text, size_t length) {
  if (!out || size == 0) return 0;
  const void *zero = text ? memchr(text, 0, length) : nullptr;
  size_t n = !text ? 0 : zero ? (size_t)(static_cast<const char *>(zero) - text) : length;
  if (n > size - 1) {
    size_t cut = size - 1;
    const unsigned char *s = reinterpret_cast<const unsigned char *>(text);
    size_t lead = cut;
    while (lead > 0 && cut - lead < 3 && (s[lead] & 0xC0) == 0x80) lead--;
    if (lead < cut && lead + SequenceLength(s[lead]) > cut) cut = lead;
    n = cut;
  }
  if (n) memcpy(out, text, n);
  out[n] = '\0';
  return n;
}
