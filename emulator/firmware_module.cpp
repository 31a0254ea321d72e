// One optional firmware symbol, built as a module of its own so that the model profile
// decides whether the symbol exists. FIRMWARE_MODULE selects the symbol.
#include <stdint.h>

#include "emulator/emulator.h"

#define EXPORTED __attribute__((visibility("default")))

#if FIRMWARE_MODULE == 1
// "_isAnalogMode": 1 while the analogue input is shown.
extern "C" EXPORTED byte _isAnalogMode;
byte _isAnalogMode = 0;
#elif FIRMWARE_MODULE == 2
EXPORTED int Appl_GetAnalogEncoderState() { return 0; }
#elif FIRMWARE_MODULE == 3
EXPORTED void Appl_AnalogChangeAction() { emu::Effect("analog input change"); }
#elif FIRMWARE_MODULE == 4
EXPORTED void Appl_SetAnalogEncoderMode(unsigned char mode) { emu::Effect("analog encoder mode %d", mode); }
#elif FIRMWARE_MODULE == 5
EXPORTED unsigned char Appl_GetAnalogEncoderMode() { return 0; }
#elif FIRMWARE_MODULE == 6
// Replaces every byte that does not belong to a well-formed UTF-8 sequence with '?'.
EXPORTED int Appl_ConvertToValidUTF8Str(unsigned char *text, int size) {
  if (!text) return 0;
  int i = 0;
  while (i < size && text[i]) {
    int length = text[i] < 0x80 ? 1 : (text[i] >> 5) == 6 ? 2 : (text[i] >> 4) == 14 ? 3 : (text[i] >> 3) == 30 ? 4 : 0;
    bool ok = length > 0 && i + length <= size;
    for (int k = 1; ok && k < length; k++) ok = (text[i + k] & 0xC0) == 0x80;
    if (!ok) {
      text[i++] = '?';
      continue;
    }
    i += length;
  }
  return i;
}
#elif FIRMWARE_MODULE == 7
// The genre texts of the Australian firmware.
extern "C" EXPORTED const char *_contentDesStr_AUS[16];
const char *_contentDesStr_AUS[16] = {
    "",          "Movie",   "News",           "Entertainment", "Sport",     "Children's",
    "Music",     "Arts",    "Current Affairs", "Education",    "Infotainment", "Special",
    "Comedy",    "Drama",   "Documentary",    ""};
#else
#error "unknown FIRMWARE_MODULE"
#endif
