// The remote control's key words and codes, the character event and the volume rules, as
// pure functions: the remote and volume handlers ask these, then talk to the firmware.
#pragma once

#include <stdint.h>

enum {
  REMOTE_KEY_WORD_SIZE = 32,              // a key word has at most 31 characters
  REMOTE_KEY_EVENTS_MAX = 3,              // key events of one press at most
  REMOTE_KEY_LONG_ADD = 0x01000000,       // added to the code for the middle event of a long press
  REMOTE_KEY_END_ADD = 0x02000000,        // added to the code for the last event of every press
  REMOTE_CHARACTER_EVENT = 0x0FFD,        // a typed character, sent to every loaded TAP
  REMOTE_KEY_POWER = 0x1000A,
  REMOTE_KEY_MUTE = 0x1000C,
};

// Power actions a key word can ask for, the values of gPowerFlag.
enum {
  POWER_ACTION_NONE = 0,
  POWER_ACTION_OFF = 1,
  POWER_ACTION_REBOOT = 2,          // only while no recording runs
  POWER_ACTION_FORCE_REBOOT = 3,
};

// The key word of a "key" parameter value: at most REMOTE_KEY_WORD_SIZE - 1 characters of
// value (a longer value is cut), without a leading "long-", which sets *longPress to 1
// (else 0). word has REMOTE_KEY_WORD_SIZE bytes; a null value gives "".
void RemoteKeyWordOf(const char *value, char *word, int *longPress);

// The key code of a key word (already without "long-") on a remote of remoteType (1, 2 or
// 3; any other value is taken as 1), compared exactly and case-sensitively; 0 when no key
// has that word. *powerAction (may be null) gets the power action the word asks for.
uint32_t KeyCodeOf(const char *word, int remoteType, int *powerAction);

// The key event codes of one press of code, in the order they are generated: the code, for
// a long press the code plus REMOTE_KEY_LONG_ADD, then the code plus REMOTE_KEY_END_ADD.
// Returns their number (2 or 3). A code of 0 still gives its events.
int KeyEventsOf(uint32_t code, int longPress, uint32_t events[REMOTE_KEY_EVENTS_MAX]);

// The character code of a "char" parameter value, read as a decimal integer (blanks
// skipped, optional sign, digits up to the first other character; 0 for none or a null
// value); values beyond the int range are clamped to it.
int CharacterCodeOf(const char *value);

// The volume system variable: bit VOLUME_MUTE_BIT set means muted, the rest is the level.
enum {
  VOLUME_MUTE_BIT = 128,
  VOLUME_LEVEL_MAX = 17,
};
int VolumeLevelOf(int variable);
int VolumeMutedOf(int variable);   // 1 when muted, else 0

// What a "level" parameter value asks of the volume in the state variable.
enum {
  VOLUME_KEEP = 0,          // nothing to change
  VOLUME_SET_LEVEL = 1,     // write the level to the volume variable
  VOLUME_PRESS_MUTE = 2,    // press the mute key to mute
  VOLUME_PRESS_UNMUTE = 3,  // press the mute key to unmute
};
// "mute" mutes an unmuted PVR, "unmute" unmutes a muted one, otherwise nothing changes
// for those two words; any other text (null: none given, VOLUME_KEEP) is a level, read
// like a character code and clamped to 0..VOLUME_LEVEL_MAX into *level (may be null).
int VolumeActionOf(const char *value, int variable, int *level);
// The level a value other than "mute" and "unmute" sets: clamped to 0..VOLUME_LEVEL_MAX.
int VolumeLevelToSet(const char *value);
