// Fuzzes the settings files: arbitrary file text is located and loaded through the TAP
// file API of the emulated PVR, its keys read as integers and strings, changed, removed
// and saved. Reads must stay within the text and the given sizes, values read back must
// be those just set, and the saved file must be the text in memory.
//
// Input: one byte of choices (where the file lies in bits 0-1), a key of up to 12 bytes
// ended by "=", a value ended by a line end, then the file text.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <sstream>
#include <string>

#include "emulator/emulator.h"
#include "platform/ini_file.h"
#include "platform/tap_api.h"
#include "tests/fuzz/fuzz_root.h"
#include "tests/fuzz/fuzz_helpers.h"

using fuzz::Check;

namespace {

const char kName[] = "Fuzz.ini";
const char kApp[] = "Orvane";
const char *const kFolders[] = {"/ProgramFiles/Settings/Orvane", "/ProgramFiles", "/ProgramFiles/Settings"};
const char *const kKeys[] = {"port", "PVRName", "logginglevel", "credentials", "a", ""};

dword IdleHandler(word, TapParam param1, TapParam) { return (dword)param1; }

std::string DiskPath(const char *folder) { return fuzz::HostPath("/mnt/hd") + folder + "/" + kName; }

// The key: letters and digits made of the input's bytes, up to the first "=".
std::string TakeKey(const uint8_t **data, size_t *size) {
  static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
  std::string key;
  while (*size > 0 && key.size() < 12 && **data != '=') {
    key += kAlphabet[**data % (sizeof kAlphabet - 1)];
    (*data)++;
    (*size)--;
  }
  if (*size > 0 && **data == '=') {
    (*data)++;
    (*size)--;
  }
  return key.empty() ? "k" : key;
}

// The value: the bytes up to the first line end (NUL bytes left out).
std::string TakeValue(const uint8_t **data, size_t *size) {
  std::string value;
  while (*size > 0 && **data != '\r' && **data != '\n') {
    if (**data) value += (char)**data;
    (*data)++;
    (*size)--;
  }
  if (*size > 0) {
    (*data)++;
    (*size)--;
  }
  return value;
}

void ReadKeys(const std::string &key) {
  Check(strnlen(INIBuffer, BufferSize) < BufferSize);
  for (const char *k : kKeys) {
    int v = INIGetInt(k, -7, -100, 100000);
    Check(v == -7 || (v >= -100 && v <= 100000));
    for (size_t size : {1, 8, 80}) {
      char out[80];
      memset(out, 'x', sizeof out);
      INIGetString(k, out, "default", size);
      Check(strnlen(out, size) < size);
    }
  }
  char out[600];
  INIReadString(INIBuffer, key.c_str(), out, "", sizeof out);
  Check(strnlen(out, sizeof out) < sizeof out);
  INIReadInt(INIBuffer, key.c_str(), 0, -2147483647 - 1, 2147483647);
}

// The writer matches whole keys, the reader finds "key=" anywhere and in any case: a round
// trip holds while the text names the key only once.
bool NamedOnce(const std::string &key) {
  std::string needle = key + "=";
  int found = 0;
  for (const char *p = INIBuffer; (p = strcasestr(p, needle.c_str())) != nullptr; p++) found++;
  return found == 1;
}

void ChangeAndSave(const std::string &key, const std::string &value) {
  if (INISetString(key.c_str(), value.c_str()) && NamedOnce(key)) {
    char out[8192];
    INIGetString(key.c_str(), out, "", sizeof out);
    if (value.size() < sizeof out) Check(value == out);
  }
  Check(strnlen(INIBuffer, BufferSize) < BufferSize);
  INISetInt("port", (int)value.size() - 5);
  if (NamedOnce("port")) Check(INIGetInt("port", 0, -2147483647 - 1, 2147483647) == (int)value.size() - 5);
  INIKillKey(key.c_str());
  INIKillKey("port");
  Check(strnlen(INIBuffer, BufferSize) < BufferSize);

  std::string text = INIBuffer;
  Check(INISaveFile(kName, INILOCATION_AtCurrentDir, kApp) == 1);
  std::ifstream saved(DiskPath(kFolders[0]), std::ios::binary);
  std::stringstream content;
  content << saved.rdbuf();
  Check(content.str() == text);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  const char *folders[] = {"/mnt/hd/ProgramFiles/Settings/Orvane", "/dev/pts"};
  const std::string &root = fuzz::MakeRoot(folders, 2);
  std::string error;
  if (!emu::Start(root, &error)) abort();
  if (emu::AttachLinkedTap(0x514B570F, "/ProgramFiles/Settings/Orvane", IdleHandler) != 0) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  int place = data[0] % 4;   // 3: no file at all
  data++;
  size--;
  std::string key = TakeKey(&data, &size);
  std::string value = TakeValue(&data, &size);
  for (const char *folder : kFolders) remove(DiskPath(folder).c_str());
  if (place < 3) {
    FILE *file = fopen(DiskPath(kFolders[place]).c_str(), "wb");
    Check(file != nullptr);
    if (size) Check(fwrite(data, 1, size, file) == size);
    fclose(file);
  }

  int location = INIOpenFile(kName, kApp);
  static const int kExpected[] = {INILOCATION_AtCurrentDir, INILOCATION_AtProgramsDir, INILOCATION_AtSettingsDir,
                                  INILOCATION_NewFile};
  Check(location == kExpected[place]);
  size_t length = strlen(INIBuffer);
  Check(length < BufferSize);
  if (place < 3) Check(length > 0 && (INIBuffer[length - 1] == '\r' || INIBuffer[length - 1] == '\n'));
  ReadKeys(key);
  ChangeAndSave(key, value);
  INICloseFile();
  return 0;
}
