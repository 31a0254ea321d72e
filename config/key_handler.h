// The key handler of the menu: a stack of levels, each binding up to 128 keys to a handler
// and a value. A message box or the keyboard pushes a level of its own; removing a level
// returns to the one below. Keys are translated first (KeyTranslate) for remotes whose
// firmware numbers some keys differently.
#pragma once

#include "platform/tap_api.h"

enum { KH_LEVELS = 8, KH_KEYS_PER_LEVEL = 128, KH_TRANSLATION_SIZE = 101 };

// A handler gets the key and the value it was registered with; it returns the key to pass
// on to the firmware (0 for a key it used).
typedef dword (*KeyHandlerFunction)(dword key, int value);

// Empties the stack and builds the translation table for the remote type (2: the other
// numbering of keys 36..38, 63, 69, 71..74).
void khInitialise(int remoteType);
// Binds key; with newLevel set a fresh level is pushed first. 0 when the stack or the
// level is full.
int khRegisterKey(dword key, KeyHandlerFunction handler, int value, bool newLevel);
// Removes the top level.
void khDeRegisterLevel();
int khLevels();
// Translates and dispatches a key to the top level; keys it does not bind pass on.
dword khEventHandler(dword key);
// Switches translation off (the keyboard reads the keys as they come) or on.
void khSetTranslation(bool on);

// The key with its low part translated; codes beyond the table pass unchanged.
dword KeyTranslate(dword key);
