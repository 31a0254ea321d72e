#include "config/key_handler.h"

#include <string.h>

namespace {

struct Binding {
  dword key;
  KeyHandlerFunction handler;
  int value;
};

struct Level {
  Binding keys[KH_KEYS_PER_LEVEL];
  int count;
};

Level gLevels[KH_LEVELS];
int gLevelCount;
byte gTranslation[KH_TRANSLATION_SIZE];
bool gTranslate = true;

}  // namespace

void khInitialise(int remoteType) {
  memset(gLevels, 0, sizeof gLevels);
  gLevelCount = 0;
  gTranslate = true;
  for (int i = 0; i < KH_TRANSLATION_SIZE; i++) gTranslation[i] = (byte)i;
  if (remoteType == 2) {
    const byte pairs[][2] = {{36, 72}, {37, 69}, {38, 70}, {63, 71}, {69, 68}, {71, 63}, {72, 36}, {73, 37}, {74, 38}};
    for (const auto &pair : pairs) gTranslation[pair[0]] = pair[1];
  }
}

dword KeyTranslate(dword key) {
  dword low = key & 0xFFFF;
  if (!gTranslate || low >= KH_TRANSLATION_SIZE) return key;
  return (key & 0xFFFF0000u) | gTranslation[low];
}

void khSetTranslation(bool on) { gTranslate = on; }

int khRegisterKey(dword key, KeyHandlerFunction handler, int value, bool newLevel) {
  if (newLevel || gLevelCount == 0) {
    if (gLevelCount == KH_LEVELS) return 0;
    memset(&gLevels[gLevelCount], 0, sizeof(Level));
    gLevelCount++;
  }
  Level &level = gLevels[gLevelCount - 1];
  if (level.count == KH_KEYS_PER_LEVEL) return 0;
  level.keys[level.count++] = {key, handler, value};
  return 1;
}

void khDeRegisterLevel() {
  if (gLevelCount > 0) gLevelCount--;
}

int khLevels() { return gLevelCount; }

dword khEventHandler(dword key) {
  if (gLevelCount == 0) return key;
  dword translated = KeyTranslate(key);
  const Level &level = gLevels[gLevelCount - 1];
  for (int i = 0; i < level.count; i++) {
    if (level.keys[i].key == translated && level.keys[i].handler) {
      return level.keys[i].handler(translated, level.keys[i].value);
    }
  }
  return key;
}
