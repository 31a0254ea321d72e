// The metadata of a TAP file, read from the named sections of its ELF image. A TAP file in
// a listed folder is untrusted input: every offset, size and count it states is checked
// against the file's size before anything is read.
#pragma once

#include <stdio.h>

#include "platform/tap_api.h"

struct TapFileInfo {
  dword id;
  char programName[64];
  char authorName[64];
  char description[128];
  char version[64];
  char etcInfo[64];     // the build date as the builder wrote it ("Jun  7 2024")
  word buildDate;       // that date as an MJD, 0 when it cannot be read
};

// Reads the TAP information of the file at a path of the machine running the code. 1 on
// success, 0 when the file is not a readable TAP (no ELF section "._tap_id"). Sections that
// are missing or do not lie within the file leave their fields empty.
int ReadTapFileInfo(const char *path, TapFileInfo *info);
// The same from an open file (read from its start; its position is not restored).
int ReadTapFileInfoFromFile(FILE *file, TapFileInfo *info);

// The same for a PVR path ("/mnt/hd/ProgramFiles/x.tap"), mapped with PvrPath.
int HDD_TAP_GetInfo(const char *pvrPath, TapFileInfo *info);

// The MJD of a build date given as day, English month name (its first three letters are
// enough, any case) and four-digit year, in any order ("Jun  7 2024", "7 June 2024");
// other words and later numbers (a time) are passed over. 0 when the text names no valid
// date between 1900-03-01 and 2038-04-22 (the MJDs that fit in 16 bits).
word ParseTapBuildDate(const char *text);
