// The metadata of a TAP file, read from the named sections of its ELF image.
#pragma once

#include "platform/tap_api.h"

struct TapFileInfo {
  dword id;
  char programName[64];
  char authorName[64];
  char description[128];
  char version[64];
  char etcInfo[64];
};

// Reads the TAP information of the file at a path of the machine running the code (map
// PVR paths with PvrPath first). 1 on success, 0 when the file is not a readable TAP.
int ReadTapFileInfo(const char *path, TapFileInfo *info);
