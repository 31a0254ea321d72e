// skimlet's writer of the support layer's error log "Rivlib.log": the text conversion
// reports there what it had to drop. Without the TAP API, the time comes from the C
// library's clock.
#include "search/rivlib_log.h"

#include <stdio.h>
#include <time.h>

#include "platform/pvr_path.h"
#include "platform/rivlib_log.h"
#include "search/skimlet.h"

void SkimletRivlibLogWrite(bool console, const char *text) {
  if (!text) return;
  char prefix[32] = "";
  time_t now = time(nullptr);
  struct tm local;
  if (localtime_r(&now, &local)) strftime(prefix, sizeof prefix, "%Y-%m-%d %H:%M:%S ", &local);

  // Only an existing log is written to.
  MappedPath path(RIVLIB_LOG_PATH);
  FILE *file = path.c_str() ? fopen(path.c_str(), "r+b") : nullptr;
  if (file) {
    fseek(file, 0, SEEK_END);
    fprintf(file, "%s%s\r\n", prefix, text);
    fclose(file);
  }
  if (console) PrintLine("%sRIVLIB - %s", prefix, text);
}
