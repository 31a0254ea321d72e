// Settings files of key=value lines ending CR LF. One file is held in memory at a time:
// locate and load it, read keys, change or remove keys in the copy, write the copy back.
#pragma once

#include <stddef.h>

// Where a settings file was found (result of locating, argument of saving).
enum IniLocation {
  INILOCATION_NotFound = 0,
  INILOCATION_NewFile = 1,        // not found; an empty text was prepared
  INILOCATION_AtCurrentDir = 2,
  INILOCATION_AtAppDir = 3,       // "/ProgramFiles/Settings/" + application folder
  INILOCATION_AtSettingsDir = 4,  // "/ProgramFiles/Settings"
  INILOCATION_AtProgramsDir = 5,  // "/ProgramFiles"
};

extern char *INIBuffer;      // the text of the open file, NUL-terminated
extern size_t BufferSize;    // its capacity in bytes

// Finds key followed by "=" in text, without regard to letter case, skipping occurrences
// preceded by "#" or ";". Returns the start of the key, or null.
const char *INIFindKey(const char *text, const char *key);
// Reads an integer value from text: digits with an optional leading "-", at most 11
// characters, clamped to [minValue, maxValue]; defaultValue when absent or malformed.
int INIReadInt(const char *text, const char *key, int defaultValue, int minValue, int maxValue);
// Reads a string value into out (size bytes, always terminated); defaultValue when the key
// is absent or its value empty. Returns 1 when the key had a value.
int INIReadString(const char *text, const char *key, char *out, const char *defaultValue, size_t size);

int INILocateFile(const char *name, const char *appFolder);
int INIOpenFile(const char *name, const char *appFolder);
int INIGetInt(const char *key, int defaultValue, int minValue, int maxValue);
int INIGetString(const char *key, char *out, const char *defaultValue, size_t size);
// Changes and removals match the key whole at the start of a line, letter case ignored.
int INISetString(const char *key, const char *value);
int INISetInt(const char *key, int value);
int INIKillKey(const char *key);
// Writes the text into the folder of location (created when missing) through a temporary
// file renamed over name. 1 when the whole text was written.
int INISaveFile(const char *name, int location, const char *appFolder);
void INICloseFile();
