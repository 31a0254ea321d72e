// skimlet's own entry into the support layer's error log "Rivlib.log": the text
// conversion reports what it had to drop there. Without the TAP API, the time comes
// from the C library's clock.
#include <stdarg.h>
#include <stdio.h>
#include <time.h>

#include "platform/pvr_path.h"
#include "platform/support_log.h"
#include "search/skimlet.h"

void LogEntryRivlibPrintf(bool console, const char *format, ...) {
  char text[RIVLIB_TEXT_MAX + 1];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);

  char prefix[32] = "";
  time_t now = time(nullptr);
  struct tm local;
  if (localtime_r(&now, &local)) strftime(prefix, sizeof prefix, "%Y-%m-%d %H:%M:%S ", &local);

  // Only an existing log is written to.
  MappedPath path("/mnt/hd/ProgramFiles/Settings/Rivlib.log");
  FILE *file = path.c_str() ? fopen(path.c_str(), "r+b") : nullptr;
  if (file) {
    fseek(file, 0, SEEK_END);
    fprintf(file, "%s%s\r\n", prefix, text);
    fclose(file);
  }
  if (console) PrintLine("%sRIVLIB - %s", prefix, text);
}
