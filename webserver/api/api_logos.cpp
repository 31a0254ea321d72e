#include "webserver/api/api_logos.h"

#include <string.h>

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "platform/directory_stack.h"
#include "platform/tap_tasks.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/lifecycle.h"
#include "webserver/core/logging.h"
#include "webserver/core/static_files.h"

namespace {

const char kDocumentRoot[] = "/ProgramFiles/Settings/Orvane/public_html";
const char *const kLogoFiles[] = {"service-logos.css", "service-logos.log", "service-logos.png",
                                  "service-logos.txt"};
const char kLogoIndex[] = "service-logos.txt";

// Whether the document root holds the file (the current folder is kept).
bool InDocumentRoot(const char *name) {
  PushedDir saved;
  return HDD_ChangeDir(kDocumentRoot) && TAP_Hdd_Exist(name);
}

// Orvane-Config.tap in batch mode builds the files and ends. HDD_TAP_Start's result.
int StartRebuild() {
  dword id = 0;
  return StartTapFile("/ProgramFiles", "Orvane-Config.tap", true, nullptr, &id);
}

}  // namespace

void checkLogos() {
  for (const char *name : kLogoFiles) {
    if (InDocumentRoot(name)) continue;
    LOGF(LOG_DETAIL, "Logo file '%s' missing, starting Orvane-Config in batch mode.", name);
    if (!StartRebuild()) LOGF(LOG_OPERATIONAL, "Unable to start Orvane-Config.tap.");
    return;
  }
}

void APILogoRebuild() {
  LOGF(LOG_DETAIL, "APILogoRebuild().");
  int started = StartRebuild();
  if (!started) LOGF(LOG_OPERATIONAL, "Unable to start Orvane-Config.tap.");
  JsonAnswer answer;
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Error allocating memory for logo rebuild response.");
    return;
  }
  answer.Printf("{\"content\":\"logo_rebuild_requested\",\r\n\"return_code\":%d,\r\n\"error\":%d,\r\n"
                "\"error_text\":\"%s\",\r\n\"timestamp\":\"%s\"}\r\n",
                started, started ? 0 : 1,
                started ? "Start request succeeded" : TapStartFailureText(HDD_TAP_StartFailure()),
                PVRDateToJSON(0, 0));
  LOGF(LOG_NETWORK, "Requesting logo rebuild.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}

void APILogoGet() {
  LOGF(LOG_DETAIL, "APILogoGet().");
  if (InDocumentRoot(kLogoIndex)) {
    NetServeFile(kLogoIndex, (int)strlen(kLogoIndex));
  } else {
    NetSend404();
  }
}
