#include "platform/drive_identity.h"

#include <stdio.h>
#include <string.h>

#include "common/hex_text.h"
#include "platform/pvr_path.h"

namespace {

const char kIdentityFile[] = "/proc/ide/hda/identify";
enum { IDENTIFY_TEXT_MAX = 4096 };   // 256 words of "%04x" and a separator each is 1280 bytes
enum { WORDS_NEEDED = ATA_MODEL_WORD + ATA_MODEL_SIZE / 2 };

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Reads up to max hexadecimal words of at most four digits; returns how many, or -1 when a
// word is malformed.
int ReadWords(const char *text, size_t length, unsigned *words, int max) {
  int count = 0;
  size_t at = 0;
  while (count < max) {
    while (at < length && IsBlank(text[at])) at++;
    if (at >= length) break;
    unsigned value = 0;
    int digits = 0;
    for (; at < length && !IsBlank(text[at]); at++, digits++) {
      int digit = HexDigitValue((unsigned char)text[at]);
      if (digit < 0 || digits == 4) return -1;
      value = value << 4 | (unsigned)digit;
    }
    words[count++] = value;
  }
  return count;
}

// The characters of count words from first, high byte first, into out (2 * count + 1
// bytes), ended at the first NUL and without trailing blanks.
void TextOfWords(const unsigned *words, int first, int count, char *out) {
  for (int i = 0; i < count; i++) {
    out[2 * i] = (char)(words[first + i] >> 8);
    out[2 * i + 1] = (char)(words[first + i] & 0xFF);
  }
  out[2 * count] = '\0';
  size_t end = strlen(out);
  while (end > 0 && out[end - 1] == ' ') out[--end] = '\0';
}

}  // namespace

bool DecodeDriveIdentity(const char *text, size_t length, DriveIdentity *identity) {
  memset(identity, 0, sizeof *identity);
  unsigned words[ATA_IDENTIFY_WORDS];
  if (!text || ReadWords(text, length, words, ATA_IDENTIFY_WORDS) < WORDS_NEEDED) return false;
  TextOfWords(words, ATA_MODEL_WORD, ATA_MODEL_SIZE / 2, identity->model);
  TextOfWords(words, ATA_FIRMWARE_WORD, ATA_FIRMWARE_SIZE / 2, identity->firmware);
  char serial[ATA_SERIAL_SIZE + 1];
  TextOfWords(words, ATA_SERIAL_WORD, ATA_SERIAL_SIZE / 2, serial);
  size_t lead = strspn(serial, " ");
  memcpy(identity->serial, serial + lead, strlen(serial + lead) + 1);
  return true;
}

bool ReadDriveIdentity(DriveIdentity *identity) {
  memset(identity, 0, sizeof *identity);
  MappedPath path(kIdentityFile);
  FILE *file = path.c_str() ? fopen(path.c_str(), "r") : nullptr;
  if (!file) return false;
  char text[IDENTIFY_TEXT_MAX];
  size_t length = fread(text, 1, sizeof text, file);
  fclose(file);
  return DecodeDriveIdentity(text, length, identity);
}
