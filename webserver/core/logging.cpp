#include "webserver/core/logging.h"

#include <string.h>

#include "platform/directory_stack.h"
#include "platform/support_log.h"

int gLoggingLevel;
char logEntry[LOG_ENTRY_SIZE];
char puffer[1024];
TYPE_File *logHandle;

namespace {
const char *const kAppFolder = "/ProgramFiles/Settings/Orvane";
const char *const kNetworkLog = "Orvane-Network.log";
}  // namespace

void LogWriteEntry(int level, const char *text) {
  if (!text) return;
  if (gLoggingLevel >= level) {
    PushedDir saved;
    if (HDD_ChangeDir(kAppFolder)) LogEntry("Orvane.log", "Orvane", true, 5, text);
  }
  if (level == LOG_NETWORK && gLoggingLevel >= LOG_NETWORK && logHandle) {
    TAP_Hdd_Fwrite(text, 1, (dword)strlen(text), logHandle);
    TAP_Hdd_Fwrite("\r\n", 1, 2, logHandle);
  }
}

void OpenNetworkLog() {
  if (TAP_Hdd_Exist(kNetworkLog)) TAP_Hdd_Delete(kNetworkLog);
  TAP_Hdd_Create(kNetworkLog, ATTR_NORMAL);
  logHandle = TAP_Hdd_Fopen(kNetworkLog);
}

void CloseNetworkLog() {
  if (logHandle) TAP_Hdd_Fclose(logHandle);
  logHandle = nullptr;
}
