// "Logos.lil" in the logo folder: which logo name each channel has (key: the logo ID as
// 16 hex digits, value: the logo name), the list the logo store looks IDs up in.
#pragma once

#include "config/logo_sprite_sheet.h"

// Appends, for every channel whose logo ID is not yet a key, a block "\n\n# Added
// YYYY-MM-DD\n" with one "<ID>=<PC-safe name>\n" line each (the name cut to 23 bytes,
// "r_" before it for radio). The list is made when missing. Returns the number of lines
// added, or -1 when the list cannot be read or written.
int LogoListUpdate(const char *folder, const LogoChannel *channels, int count, int year, int month, int day);

// Takes every "*.add" file of folder into the list: each of its lines that begins with
// "0x", 16 hex digits and "=", lower-cased, sets key (the digits) = value (the rest). Each
// file taken is deleted, and "Logo.cache" with it. Returns the number of files taken, or
// -1 when the list cannot be written.
int LogoListMergeAddFiles(const char *folder);
