#include "webserver/api/api_settings.h"

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "webserver/api/module_settings.h"
#include "webserver/core/handler_params.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"

void APISetting(const char *params, int type) {
  LOGF(LOG_DETAIL, "Processing API-Setting request, type %d.", type);
  LogHandlerParams(params);
  HandlerParam key(params, "key"), value(params, "value"), module(params, "module");
  JsonAnswer answer;
  if (!answer.Ok() || key.Failed() || value.Failed() || module.Failed()) {
    LOGF(LOG_OPERATIONAL, "Error allocating memory for setting response.");
    return;
  }
  int result = SETTINGS_TOO_LONG;
  if (gHTTPpathCut) {
    // The request did not fit: its parameters are not whole.
    SettingsRefusedAnswer(&answer, type, key.ValueOrNull(), result, PVRDateToJSON(0, 0));
  } else {
    result = SettingsAnswer(&answer, type, module.Value(), key.ValueOrNull(),
                            type == SETTINGS_SET ? value.Value() : nullptr, PVRDateToJSON(0, 0));
  }
  if (result != SETTINGS_OK) LOGF(LOG_OPERATIONAL, "Setting not changed: %s.", SettingsErrorText(result));
  LOGF(LOG_NETWORK, "Sending settings response.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}

void APISettingList(const char *params) {
  LOGF(LOG_DETAIL, "API-Setting-List().");
  LogHandlerParams(params);
  HandlerParam module(params, "module");
  JsonAnswer answer;
  if (!answer.Ok() || module.Failed()) {
    LOGF(LOG_OPERATIONAL, "Error allocating memory for setting listing.");
    return;
  }
  int result = SettingsListAnswer(&answer, module.Value(), PVRDateToJSON(0, 0));
  if (result != SETTINGS_OK) LOGF(LOG_OPERATIONAL, "ERROR - %s.", SettingsErrorText(result));
  LOGF(LOG_DETAIL, "Sending settings list.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}
