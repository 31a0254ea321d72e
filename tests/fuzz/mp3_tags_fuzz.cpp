// Fuzzes the MP3 tag reader (the frame walk and libid3tag behind it) with arbitrary files
// read through an in-memory stream: every value must stay terminated within its field
// and be well-formed UTF-8, and whatever the reader allocates must be freed (the leak
// checker of the sanitizer tells).
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/mp3_tags.h"
#include "platform/pvr_text.h"
#include "platform/support_log.h"
#include "tests/fuzz/fuzz_helpers.h"

// The text conversion's error log is not wanted here.
void LogEntryRivlibPrintf(bool, const char *, ...) {}

using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  static Mp3Tags tags;
  int result = Mp3ReadTagsFromFile(fuzz::MemoryFile(data, size).get(), &tags);
  Check(result == 0 || result == 1);
  Check(result == 0 ? tags.version == 0 : tags.version >= 2 && tags.version <= 4);
  for (const Mp3TagFrame &frame : tags.frame) {
    Check(memchr(frame.text, 0, sizeof frame.text) != nullptr);
    Check(frame.present || frame.text[0] == '\0');
    Check(frame.encoding >= 0 && frame.encoding <= 3);
    // Latin-1 values pass through the PVR text conversion, which keeps other bytes as
    // they are; Unicode values are UTF-8 throughout.
    if (frame.encoding == 0) continue;
    for (const char *p = frame.text; *p;) {
      byte length = 1;
      Check((unsigned char)*p < 0x80 || isUTF8Char(p, &length));
      p += length;
    }
  }
  return 0;
}
