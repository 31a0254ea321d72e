// Fuzzes the TAP file reader with arbitrary files (read through an in-memory stream): no
// read may leave the file's bytes, and every text must stay terminated in its field.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/tap_file_info.h"
#include "tests/fuzz/fuzz_helpers.h"

using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  TapFileInfo info;
  int result = ReadTapFileInfoFromFile(fuzz::MemoryFile(data, size).get(), &info);
  Check(result == 0 || result == 1);
  Check(memchr(info.programName, 0, sizeof info.programName) && memchr(info.authorName, 0, sizeof info.authorName) &&
        memchr(info.description, 0, sizeof info.description) && memchr(info.version, 0, sizeof info.version) &&
        memchr(info.etcInfo, 0, sizeof info.etcInfo));
  Check(info.buildDate == ParseTapBuildDate(info.etcInfo));
  return 0;
}
