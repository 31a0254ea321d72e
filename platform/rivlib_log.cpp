#include "platform/rivlib_log.h"

#include <stdarg.h>
#include <stdio.h>

namespace {
RivlibLogWriter gRivlibLogWriter = nullptr;
}  // namespace

void SetRivlibLog(RivlibLogWriter writer) { gRivlibLogWriter = writer; }

void LogEntryRivlibPrintf(bool console, const char *format, ...) {
  if (!gRivlibLogWriter) return;
  char text[RIVLIB_TEXT_MAX + 1];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  gRivlibLogWriter(console, text);
}
