// The dialogs of the menu on the OSD: the on-screen keyboard for texts and the message box.
// Each draws into a region of its own over the menu; the caller redraws the menu when the
// dialog closes (deleting a region clears its pixels).
#pragma once

#include "platform/tap_api.h"

enum { KEYBOARD_LIMIT = 128 };

// Key codes of the remote the dialogs and the menu use.
enum : dword {
  RKEY_0 = 0x10000, RKEY_9 = 0x10009, RKEY_Recall = 0x1000B, RKEY_Left = 0x1000F, RKEY_Up = 0x10012,
  RKEY_Right = 0x10015, RKEY_Exit = 0x10017, RKEY_Menu = 0x1001C, RKEY_Down = 0x1001D, RKEY_Ok = 0x1001E,
  RKEY_Green = 0x10024, RKEY_Yellow = 0x10025, RKEY_Blue = 0x10026, RKEY_Rewind = 0x10038, RKEY_Forward = 0x1003A,
  RKEY_Record = 0x1003D,
};

enum KeyboardState { KEYBOARD_OPEN = 0, KEYBOARD_DONE = 1, KEYBOARD_CANCELLED = 2 };

// Opens the keyboard with a title and the text to edit (cut to limit bytes, at most
// KEYBOARD_LIMIT, on a character boundary), and its legend.
void OsdKeyboardOpen(const char *title, const char *text, int limit, const char *const legend[4]);
bool OsdKeyboardIsOpen();
// A key while the keyboard is open: arrows move, OK types the character or acts on
// "Space", "Delete", "OK"; digits type digits; Exit cancels; green the next character set,
// yellow capitals on and off, blue clears the text.
int OsdKeyboardKey(dword key);
// The text typed (UTF-8), valid until the next open.
const char *OsdKeyboardText();
void OsdKeyboardClose();

// A message box with a title, text (lines split at "\n") and one button "OK".
void OsdMessageOpen(const char *title, const char *text);
bool OsdMessageIsOpen();
void OsdMessageClose();
