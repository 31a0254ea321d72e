#include "webserver/api/api_log.h"

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "platform/directory_stack.h"
#include "platform/support_log.h"
#include "webserver/core/handler_params.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"

namespace {
const char kDefaultSource[] = "ZEL5 Web";
}  // namespace

void APILogWrite(const char *params) {
  LOGF(LOG_DETAIL, "Processing API-Log-Write request, '%s'.", params);
  LogHandlerParams(params);
  HandlerParam module(params, "module");
  JsonAnswer answer;
  if (!answer.Ok() || module.Failed()) {
    LOGF(LOG_OPERATIONAL, "Error allocating memory for log response.");
    return;
  }
  const char *source = module.Given() ? module.Value() : kDefaultSource;
  int written = 0;
  if (!gHTTPpost.headerEndMissing && gHTTPpost.body) {
    PushedDir saved;
    if (HDD_ChangeDir("/ProgramFiles/Settings/Orvane")) LogEntry("Orvane.log", source, true, 5, gHTTPpost.body);
    written = gHTTPpost.bodyBytes;
  }
  answer.Printf("{\"timestamp\":\"%s\",\r\n\"content\":\"log_response\",\r\n\"requested_module\":",
                PVRDateToJSON(0, 0));
  answer.String(source);
  answer.Printf(",\r\n\"bytes_written\":%d\r\n}\r\n", written);
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}
