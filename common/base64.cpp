#include "common/base64.h"

#include <string.h>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int SextetOf(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Encodes one group of 1 to 3 bytes into four characters.
void EncodeGroup(const unsigned char *in, int n, char *out) {
  unsigned long bits = (unsigned long)in[0] << 16;
  if (n > 1) bits |= (unsigned long)in[1] << 8;
  if (n > 2) bits |= in[2];
  out[0] = kAlphabet[bits >> 18 & 63];
  out[1] = kAlphabet[bits >> 12 & 63];
  out[2] = n > 1 ? kAlphabet[bits >> 6 & 63] : '=';
  out[3] = n > 2 ? kAlphabet[bits & 63] : '=';
}

// Length of the text in out, or -1 when out has no NUL within size bytes.
int TextLength(const char *out, int size) {
  for (int i = 0; i < size; i++) {
    if (out[i] == '\0') return i;
  }
  return -1;
}

// Appends the first count bytes of a decoded group to the text in out; false when the
// text ends (a decoded NUL, or out is full).
bool AppendDecoded(const int *group, int count, char *out, int *length, int size) {
  unsigned char bytes[3] = {(unsigned char)(group[0] << 2 | group[1] >> 4),
                            (unsigned char)(group[1] << 4 | group[2] >> 2),
                            (unsigned char)(group[2] << 6 | group[3])};
  for (int i = 0; i < count; i++) {
    if (bytes[i] == 0 || *length >= size - 1) return false;
    out[(*length)++] = (char)bytes[i];
    out[*length] = '\0';
  }
  return true;
}

}  // namespace

int Base64Encode(const char *text, char *out, int size) {
  if (!text || !out || size < 1) return 0;
  int length = TextLength(out, size);
  if (length < 0) return 0;
  const unsigned char *in = (const unsigned char *)text;
  size_t remaining = strlen(text);
  while (remaining > 0 && length + 4 <= size - 1) {
    int n = remaining >= 3 ? 3 : (int)remaining;
    EncodeGroup(in, n, out + length);
    length += 4;
    out[length] = '\0';
    in += n;
    remaining -= (size_t)n;
  }
  return 0;
}

int Base64Decode(const char *text, char *out, int size) {
  if (!text || !out || size < 1) return 0;
  int length = TextLength(out, size);
  if (length < 0) return 0;
  int group[4] = {0, 0, 0, 0};
  int n = 0;
  const unsigned char *in = (const unsigned char *)text;
  for (; *in != '\0' && *in != '='; in++) {
    int sextet = SextetOf(*in);
    if (sextet < 0) continue;
    group[n++] = sextet;
    if (n == 4) {
      if (!AppendDecoded(group, 3, out, &length, size)) return 0;
      n = 0;
    }
  }
  // A short last group counts only when the padding marks it as the end.
  if (*in == '=' && n >= 2) AppendDecoded(group, n - 1, out, &length, size);
  return 0;
}

int b64encode(const void *bytes, char *out, int count) {
  const unsigned char *in = (const unsigned char *)bytes;
  int written = 0;
  for (int i = 0; i < count; i += 3) {
    EncodeGroup(in + i, count - i >= 3 ? 3 : count - i, out + written);
    written += 4;
  }
  out[written] = '\0';
  return written;
}

int b64decode(const char *text, void *out, int size) {
  if (!text || (!out && size > 0) || size < 0) return -1;
  unsigned char *bytes = static_cast<unsigned char *>(out);
  int written = 0;
  unsigned long bits = 0;
  int n = 0;
  for (const unsigned char *in = (const unsigned char *)text; *in != '\0' && *in != '='; in++) {
    int sextet = SextetOf(*in);
    if (sextet < 0) continue;
    bits = bits << 6 | (unsigned long)sextet;
    if (++n < 4) continue;
    if (written + 3 > size) return -1;
    bytes[written++] = (unsigned char)(bits >> 16);
    bytes[written++] = (unsigned char)(bits >> 8);
    bytes[written++] = (unsigned char)bits;
    bits = 0;
    n = 0;
  }
  if (n == 1) return -1;   // six bits make no byte
  if (n > 1) {
    bits <<= 6 * (4 - n);
    if (written + n - 1 > size) return -1;
    bytes[written++] = (unsigned char)(bits >> 16);
    if (n == 3) bytes[written++] = (unsigned char)(bits >> 8);
  }
  return written;
}
