// The remote control's key words and codes per remote type, long presses, power words,
// character codes and the volume rules.
#include "webserver/api/remote_keys.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Every key word with its code on remote types 1, 2 and 3 (hex, without 0x), and the power
// action it asks for: typed as one row per word, independent of how the module groups them.
const char kExpectedKeys[] = R"(
menu 1001C 1001C 1001C 0
exit 10017 10017 10017 0
ok 1001E 1001E 1001E 0
enter 1001E 1001E 1001E 0
f1 1003F 10047 10023 0
red 1003F 10047 10023 0
green 10024 10048 10024 0
f2 10024 10048 10024 0
yellow 10025 10049 10025 0
f3 10025 10049 10025 0
blue 10026 1004A 10026 0
f4 10026 1004A 10026 0
chup 10045 10025 10045 0
chdown 10046 10026 10046 0
volup 10047 1003F 10047 0
voldown 10048 10024 10048 0
vformat 10044 10045 10044 0
option 10049 1003E 10049 0
white 10049 1003E 10049 0
up 10012 10012 10012 0
down 1001D 1001D 1001D 0
left 1000F 1000F 1000F 0
right 10015 10015 10015 0
guide 10016 10016 10016 0
info 10014 10014 10014 0
playlist 10042 10042 10042 0
recall 1000B 1000B 1000B 0
play 10039 10039 10039 0
pause 1001A 1001A 1001A 0
stop 1003C 1003C 1003C 0
record 1003D 1003D 1003D 0
rec 1003D 1003D 1003D 0
next 10043 10043 10043 0
prev 10041 10041 10041 0
ab 1003E 1003E 1003E 0
mute 1000C 1000C 1000C 0
uhf 1000E 1000E 1000E 0
sleep 10010 10010 10010 0
easy 10011 10011 10011 0
audiotrk 10013 10013 10013 0
audiotrack 10013 10013 10013 0
tvradio 10018 10018 10018 0
fav 10020 10020 10020 0
subt 10021 10021 10021 0
subtitle 10021 10021 10021 0
tvsat 10022 10022 10022 0
teletext 10037 10037 10037 0
ttx 10037 10037 10037 0
rewind 10038 10038 10038 0
rew 10038 10038 10038 0
forward 1003A 1003A 1003A 0
fwd 1003A 1003A 1003A 0
sat 10040 10040 10040 0
slow 1003B 1003B 1003B 0
0 10000 10000 10000 0
1 10001 10001 10001 0
2 10002 10002 10002 0
3 10003 10003 10003 0
4 10004 10004 10004 0
5 10005 10005 10005 0
6 10006 10006 10006 0
7 10007 10007 10007 0
8 10008 10008 10008 0
9 10009 10009 10009 0
m 10050 10050 10050 0
nouse 1000D 1000D 1000D 0
nouse4 10019 10019 10019 0
nouse5 1001B 1001B 1001B 0
power 1000A 1000A 1000A 1
reboot 1000A 1000A 1000A 2
forcereboot 1000A 1000A 1000A 3
)";

struct ExpectedKey {
  std::string word;
  uint32_t code[3];
  int power;
};

std::vector<ExpectedKey> ExpectedKeys() {
  std::vector<ExpectedKey> keys;
  std::istringstream in(kExpectedKeys);
  ExpectedKey key;
  while (in >> key.word >> std::hex >> key.code[0] >> key.code[1] >> key.code[2] >> std::dec >> key.power) {
    keys.push_back(key);
  }
  return keys;
}

std::string Word(const char *value, int *longPress) {
  char word[REMOTE_KEY_WORD_SIZE];
  memset(word, 'x', sizeof word);
  RemoteKeyWordOf(value, word, longPress);
  return word;
}

TEST(RemoteKeys, EveryWordHasItsCodeOnEachRemoteType) {
  std::vector<ExpectedKey> keys = ExpectedKeys();
  ASSERT_EQ(keys.size(), 71u);
  for (const ExpectedKey &key : keys) {
    for (int type = 1; type <= 3; type++) {
      int power = -1;
      EXPECT_EQ(KeyCodeOf(key.word.c_str(), type, &power), key.code[type - 1]) << key.word << " type " << type;
      EXPECT_EQ(power, key.power) << key.word << " type " << type;
    }
    // Any remote type but 2 and 3 has the layout of type 1.
    for (int type : {0, 4, -1, 99}) {
      EXPECT_EQ(KeyCodeOf(key.word.c_str(), type, nullptr), key.code[0]) << key.word << " type " << type;
    }
  }
}

TEST(RemoteKeys, WordsOutsideTheTablesHaveNoCodeAndNoPowerAction) {
  std::set<std::string> known;
  for (const ExpectedKey &key : ExpectedKeys()) known.insert(key.word);
  // Letter case, blanks, prefixes and near misses of the key words match nothing.
  std::vector<std::string> others = {"", "OK", "Menu", "RED", "ok ", " ok", "10", "00", "-1", "f5", "f0",
                                     "long-ok", "lon", "nouse1", "nouse6", "reboo", "Power", "volume",
                                     "channelup", "a", "M", "\t", "forcereboot!"};
  for (const ExpectedKey &key : ExpectedKeys()) others.push_back(key.word + "x");
  for (const std::string &word : others) {
    if (known.count(word)) continue;
    for (int type = 1; type <= 3; type++) {
      int power = -1;
      EXPECT_EQ(KeyCodeOf(word.c_str(), type, &power), 0u) << "'" << word << "' type " << type;
      EXPECT_EQ(power, 0) << word;
    }
  }
  EXPECT_EQ(KeyCodeOf(nullptr, 1, nullptr), 0u);
}

TEST(RemoteKeys, LongPrefixAndWordLength) {
  int longPress = -1;
  EXPECT_EQ(Word("long-ok", &longPress), "ok");
  EXPECT_EQ(longPress, 1);
  EXPECT_EQ(Word("ok", &longPress), "ok");
  EXPECT_EQ(longPress, 0);
  EXPECT_EQ(Word("long-", &longPress), "");
  EXPECT_EQ(longPress, 1);
  EXPECT_EQ(Word("long-long-ok", &longPress), "long-ok");   // only one prefix is removed
  EXPECT_EQ(longPress, 1);
  EXPECT_EQ(Word("Long-ok", &longPress), "Long-ok");
  EXPECT_EQ(longPress, 0);
  EXPECT_EQ(Word("long", &longPress), "long");
  EXPECT_EQ(longPress, 0);
  EXPECT_EQ(Word(nullptr, &longPress), "");
  EXPECT_EQ(longPress, 0);

  // A value longer than the field is cut to 31 characters before the prefix is removed.
  std::string thirtyOne(31, 'k'), long40(40, 'k');
  EXPECT_EQ(Word(thirtyOne.c_str(), &longPress), thirtyOne);
  EXPECT_EQ(Word(long40.c_str(), &longPress), thirtyOne);
  EXPECT_EQ(Word(("long-" + long40).c_str(), &longPress), std::string(26, 'k'));
  EXPECT_EQ(longPress, 1);
  EXPECT_EQ(Word(("reboot" + std::string(30, ' ')).c_str(), nullptr), "reboot" + std::string(25, ' '));
}

TEST(RemoteKeys, EventsOfShortAndLongPresses) {
  uint32_t events[REMOTE_KEY_EVENTS_MAX] = {};
  ASSERT_EQ(KeyEventsOf(0x1001E, 1, events), 3);
  EXPECT_EQ(events[0], 0x1001Eu);
  EXPECT_EQ(events[1], 0x101001Eu);
  EXPECT_EQ(events[2], 0x201001Eu);
  ASSERT_EQ(KeyEventsOf(0x1003F, 0, events), 2);
  EXPECT_EQ(events[0], 0x1003Fu);
  EXPECT_EQ(events[1], 0x201003Fu);
  // An unknown word still presses code 0.
  ASSERT_EQ(KeyEventsOf(0, 0, events), 2);
  EXPECT_EQ(events[0], 0u);
  EXPECT_EQ(events[1], 0x2000000u);
}

TEST(RemoteKeys, CharacterCodesReadAsDecimalAndClamped) {
  EXPECT_EQ(CharacterCodeOf("65"), 65);
  EXPECT_EQ(CharacterCodeOf("  -3"), -3);
  EXPECT_EQ(CharacterCodeOf("+7x"), 7);
  EXPECT_EQ(CharacterCodeOf("0x41"), 0);
  EXPECT_EQ(CharacterCodeOf("A"), 0);
  EXPECT_EQ(CharacterCodeOf(""), 0);
  EXPECT_EQ(CharacterCodeOf(nullptr), 0);
  EXPECT_EQ(CharacterCodeOf("4294967362"), INT_MAX);   // not 66 on one platform and INT_MAX on another
  EXPECT_EQ(CharacterCodeOf("-99999999999999999999999"), INT_MIN);
}

TEST(RemoteKeys, VolumeVariableAndMuteBit) {
  EXPECT_EQ(VolumeLevelOf(140), 12);
  EXPECT_EQ(VolumeMutedOf(140), 1);
  EXPECT_EQ(VolumeLevelOf(128), 0);
  EXPECT_EQ(VolumeMutedOf(128), 1);
  EXPECT_EQ(VolumeLevelOf(127), 127);
  EXPECT_EQ(VolumeMutedOf(127), 0);
  EXPECT_EQ(VolumeLevelOf(9), 9);
  EXPECT_EQ(VolumeMutedOf(0), 0);
}

TEST(RemoteKeys, VolumeLevelsAreClampedAtBothEnds) {
  const struct {
    const char *value;
    int level;
  } cases[] = {{"0", 0},   {"9", 9},   {"17", 17},  {"18", 17}, {"25", 17}, {"-1", 0},
               {"-40", 0}, {"abc", 0}, {"", 0},     {"12db", 12}, {" 5", 5}, {"99999999999", 17},
               {"-99999999999", 0}};
  for (const auto &c : cases) {
    EXPECT_EQ(VolumeLevelToSet(c.value), c.level) << c.value;
    int level = -1;
    EXPECT_EQ(VolumeActionOf(c.value, 140, &level), VOLUME_SET_LEVEL) << c.value;
    EXPECT_EQ(level, c.level) << c.value;
  }
}

TEST(RemoteKeys, MuteAndUnmuteOnlyChangeWhatNeedsChanging) {
  int level = -1;
  EXPECT_EQ(VolumeActionOf("mute", 10, &level), VOLUME_PRESS_MUTE);
  EXPECT_EQ(VolumeActionOf("mute", 138, &level), VOLUME_KEEP);
  EXPECT_EQ(VolumeActionOf("unmute", 138, &level), VOLUME_PRESS_UNMUTE);
  EXPECT_EQ(VolumeActionOf("unmute", 10, &level), VOLUME_KEEP);
  EXPECT_EQ(VolumeActionOf(nullptr, 10, &level), VOLUME_KEEP);   // no "level" parameter
  EXPECT_EQ(level, 0);
  // Only the exact words: anything else is a level.
  EXPECT_EQ(VolumeActionOf("Mute", 10, &level), VOLUME_SET_LEVEL);
  EXPECT_EQ(VolumeActionOf("mute ", 10, nullptr), VOLUME_SET_LEVEL);
}

}  // namespace
