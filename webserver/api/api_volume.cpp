#include "webserver/api/api_volume.h"

#include <string.h>

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "common/text_helpers.h"
#include "common/url_params.h"
#include "webserver/api/handler_params.h"
#include "webserver/api/remote_keys.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"

namespace {

enum { VOLUME_ANSWER_LIMIT = 2048, MUTE_KEY_DELAY_TICKS = 50 };

struct LevelRequest {
  char level[HANDLER_PARAM_MAX + 1];
  bool given;
};

void TakeParameter(const char *keyword, const char *value, void *context) {
  LevelRequest *r = static_cast<LevelRequest *>(context);
  if (strcmp(keyword, "level") != 0) return;
  CopyBounded(r->level, sizeof r->level, value, strlen(value));
  r->given = true;
}

// The firmware changes the mute state on the mute key; it is given time to do so.
void PressMuteKey() {
  TAP_GenerateEvent(EVT_KEY, REMOTE_KEY_MUTE, 0);
  TAP_Delay(MUTE_KEY_DELAY_TICKS);
}

void Respond(JsonAnswer *answer) {
  answer->Printf("\"timestamp\":\"%s\"}\r\n", PVRDateToJSON(0, 0));
  LOGF(LOG_NETWORK, "Sending PVR volume.");
  NetHTTPRespond(answer->Data(), answer->Length(), "application/json", 0);
}

}  // namespace

void APIVolumeGet() {
  LOGF(LOG_DETAIL, "%s().", "APIVolumeGet");
  JsonAnswer answer(VOLUME_ANSWER_LIMIT, VOLUME_ANSWER_LIMIT);
  if (!answer.Ok()) return;
  int volume = TAP_GetSystemVar(SYSVAR_Volume);
  answer.Printf("{\"content\":\"volume\",\r\n\"level\":%d,\r\n\"mute\":%d,\r\n", VolumeLevelOf(volume),
                VolumeMutedOf(volume));
  Respond(&answer);
}

void APIVolumeSet(const char *params) {
  LOGF(LOG_DETAIL, "Processing API-Volume-Set request '%s'.", params ? params : "");
  LevelRequest request;
  memset(&request, 0, sizeof request);
  ScanHandlerParams(params, params ? (int)strnlen(params, PARAMS_TEXT_LIMIT) : 0, '&', TakeParameter, &request);
  int before = TAP_GetSystemVar(SYSVAR_Volume);
  int level = 0;
  switch (VolumeActionOf(request.given ? request.level : nullptr, before, &level)) {
    case VOLUME_SET_LEVEL:
      LOGF(LOG_OPERATIONAL, "Setting volume level to %d.", level);
      TAP_SetSystemVar(SYSVAR_Volume, level);
      break;
    case VOLUME_PRESS_MUTE:
      LOGF(LOG_OPERATIONAL, "Processing mute command.");
      PressMuteKey();
      break;
    case VOLUME_PRESS_UNMUTE:
      LOGF(LOG_OPERATIONAL, "Processing unmute command.");
      PressMuteKey();
      break;
    default:
      break;
  }
  int after = TAP_GetSystemVar(SYSVAR_Volume);
  JsonAnswer answer(VOLUME_ANSWER_LIMIT, VOLUME_ANSWER_LIMIT);
  if (!answer.Ok()) return;
  answer.Printf("{\"content\":\"volume_change\",\r\n\"level_before\":%d,\r\n\"mute_before\":%d,\r\n",
                VolumeLevelOf(before), VolumeMutedOf(before));
  answer.Printf("\"level_after\":%d,\r\n\"mute_after\":%d,\r\n", VolumeLevelOf(after), VolumeMutedOf(after));
  Respond(&answer);
}
