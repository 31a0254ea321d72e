#include "webserver/api/remote_keys.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kLongPrefix[] = "long-";

struct Key {
  const char *word;
  uint32_t code;
};

// Keys that are the same on every remote.
constexpr Key kFixedKeys[] = {
    {"menu", 0x1001C}, {"exit", 0x10017}, {"ok", 0x1001E}, {"enter", 0x1001E},
};

// The coloured, channel and volume keys, whose codes differ between the three remote types.
struct LayoutKey {
  const char *word;
  uint32_t code[3];   // remote types 1, 2, 3
};

constexpr LayoutKey kLayoutKeys[] = {
    {"f1", {0x1003F, 0x10047, 0x10023}},      {"red", {0x1003F, 0x10047, 0x10023}},
    {"green", {0x10024, 0x10048, 0x10024}},   {"f2", {0x10024, 0x10048, 0x10024}},
    {"yellow", {0x10025, 0x10049, 0x10025}},  {"f3", {0x10025, 0x10049, 0x10025}},
    {"blue", {0x10026, 0x1004A, 0x10026}},    {"f4", {0x10026, 0x1004A, 0x10026}},
    {"chup", {0x10045, 0x10025, 0x10045}},    {"chdown", {0x10046, 0x10026, 0x10046}},
    {"volup", {0x10047, 0x1003F, 0x10047}},   {"voldown", {0x10048, 0x10024, 0x10048}},
    {"vformat", {0x10044, 0x10045, 0x10044}}, {"option", {0x10049, 0x1003E, 0x10049}},
    {"white", {0x10049, 0x1003E, 0x10049}},
};

// The other keys, common to all remote types; the digits follow from their value.
constexpr Key kCommonKeys[] = {
    {"up", 0x10012},       {"down", 0x1001D},      {"left", 0x1000F},       {"right", 0x10015},
    {"guide", 0x10016},    {"info", 0x10014},      {"playlist", 0x10042},   {"recall", 0x1000B},
    {"play", 0x10039},     {"pause", 0x1001A},     {"stop", 0x1003C},       {"record", 0x1003D},
    {"rec", 0x1003D},      {"next", 0x10043},      {"prev", 0x10041},       {"ab", 0x1003E},
    {"mute", REMOTE_KEY_MUTE}, {"uhf", 0x1000E},   {"sleep", 0x10010},      {"easy", 0x10011},
    {"audiotrk", 0x10013}, {"audiotrack", 0x10013}, {"tvradio", 0x10018},   {"fav", 0x10020},
    {"subt", 0x10021},     {"subtitle", 0x10021},  {"tvsat", 0x10022},      {"teletext", 0x10037},
    {"ttx", 0x10037},      {"rewind", 0x10038},    {"rew", 0x10038},        {"forward", 0x1003A},
    {"fwd", 0x1003A},      {"sat", 0x10040},       {"slow", 0x1003B},       {"m", 0x10050},
    {"nouse", 0x1000D},    {"nouse4", 0x10019},    {"nouse5", 0x1001B},
};
constexpr uint32_t kDigitZero = 0x10000;

// The power key under three words, each asking for its own power action.
struct PowerKey {
  const char *word;
  int action;
};
constexpr PowerKey kPowerKeys[] = {
    {"power", POWER_ACTION_OFF},
    {"reboot", POWER_ACTION_REBOOT},
    {"forcereboot", POWER_ACTION_FORCE_REBOOT},
};

template <size_t N>
uint32_t Find(const Key (&keys)[N], const char *word) {
  for (const Key &key : keys) {
    if (strcmp(key.word, word) == 0) return key.code;
  }
  return 0;
}

uint32_t LayoutCode(const char *word, int remoteType) {
  int column = (remoteType == 2 || remoteType == 3) ? remoteType - 1 : 0;
  for (const LayoutKey &key : kLayoutKeys) {
    if (strcmp(key.word, word) == 0) return key.code[column];
  }
  return 0;
}

// A decimal number as atoi reads it, clamped to the int range (atoi's overflow is undefined
// and differs between 32- and 64-bit platforms).
int DecimalOf(const char *value) {
  if (!value) return 0;
  long long number = strtoll(value, nullptr, 10);
  if (number > INT_MAX) return INT_MAX;
  if (number < INT_MIN) return INT_MIN;
  return (int)number;
}

}  // namespace

void RemoteKeyWordOf(const char *value, char *word, int *longPress) {
  size_t length = value ? strnlen(value, REMOTE_KEY_WORD_SIZE - 1) : 0;
  size_t prefix = sizeof kLongPrefix - 1;
  int isLong = length >= prefix && strncmp(value, kLongPrefix, prefix) == 0;
  size_t skip = isLong ? prefix : 0;
  memcpy(word, value ? value + skip : "", length - skip);
  word[length - skip] = '\0';
  if (longPress) *longPress = isLong;
}

uint32_t KeyCodeOf(const char *word, int remoteType, int *powerAction) {
  if (powerAction) *powerAction = POWER_ACTION_NONE;
  if (!word) return 0;
  uint32_t code = Find(kFixedKeys, word);
  if (!code) code = LayoutCode(word, remoteType);
  if (!code) code = Find(kCommonKeys, word);
  if (!code && word[0] >= '0' && word[0] <= '9' && word[1] == '\0') code = kDigitZero + (uint32_t)(word[0] - '0');
  if (code) return code;
  for (const PowerKey &key : kPowerKeys) {
    if (strcmp(key.word, word) == 0) {
      if (powerAction) *powerAction = key.action;
      return REMOTE_KEY_POWER;
    }
  }
  return 0;
}

int KeyEventsOf(uint32_t code, int longPress, uint32_t events[REMOTE_KEY_EVENTS_MAX]) {
  int count = 0;
  events[count++] = code;
  if (longPress) events[count++] = code + REMOTE_KEY_LONG_ADD;
  events[count++] = code + REMOTE_KEY_END_ADD;
  return count;
}

int CharacterCodeOf(const char *value) { return DecimalOf(value); }

int VolumeLevelOf(int variable) { return variable >= VOLUME_MUTE_BIT ? variable - VOLUME_MUTE_BIT : variable; }

int VolumeMutedOf(int variable) { return variable >= VOLUME_MUTE_BIT ? 1 : 0; }

int VolumeLevelToSet(const char *value) {
  int level = DecimalOf(value);
  if (level < 0) return 0;
  return level > VOLUME_LEVEL_MAX ? VOLUME_LEVEL_MAX : level;
}

int VolumeActionOf(const char *value, int variable, int *level) {
  if (level) *level = 0;
  if (!value) return VOLUME_KEEP;
  int muted = VolumeMutedOf(variable);
  if (strcmp(value, "mute") == 0) return muted ? VOLUME_KEEP : VOLUME_PRESS_MUTE;
  if (strcmp(value, "unmute") == 0) return muted ? VOLUME_PRESS_UNMUTE : VOLUME_KEEP;
  if (level) *level = VolumeLevelToSet(value);
  return VOLUME_SET_LEVEL;
}
