#include "webserver/api/api_remote.h"

#include <string.h>

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "common/text_helpers.h"
#include "common/url_params.h"
#include "webserver/api/handler_params.h"
#include "platform/recording_slots.h"
#include "platform/tap_tasks.h"
#include "webserver/api/remote_keys.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

namespace {

enum { REMOTE_ANSWER_LIMIT = 2048 };

struct RemoteRequest {
  char key[HANDLER_PARAM_MAX + 1];      // the "key" value as sent
  char character[HANDLER_PARAM_MAX + 1];  // the "char" value as sent
  bool characterGiven;
};

void TakeParameter(const char *keyword, const char *value, void *context) {
  RemoteRequest *r = static_cast<RemoteRequest *>(context);
  if (strcmp(keyword, "key") == 0) {
    CopyBounded(r->key, sizeof r->key, value, strlen(value));
  } else if (strcmp(keyword, "char") == 0) {
    CopyBounded(r->character, sizeof r->character, value, strlen(value));
    r->characterGiven = true;
  }
}

// Presses the key of a key word. A reboot while a recording runs is refused before
// anything is pressed; the other power words leave their action for after the answer.
// Returns the key code.
uint32_t PressKey(const char *keyWord, int longPress) {
  int powerAction = POWER_ACTION_NONE;
  uint32_t code = KeyCodeOf(keyWord, gRemoteType, &powerAction);
  if (powerAction == POWER_ACTION_REBOOT && AnyRecordingRuns(gRecordingStreams)) {
    LOGF(LOG_OPERATIONAL, "Reboot refused: a recording is running.");
    return code;
  }
  uint32_t events[REMOTE_KEY_EVENTS_MAX];
  int count = KeyEventsOf(code, longPress, events);
  for (int i = 0; i < count; i++) TAP_GenerateEvent(EVT_KEY, events[i], 0);
  if (powerAction != POWER_ACTION_NONE) gPowerFlag = powerAction;
  return code;
}

void AnswerKey(const char *keyWord, uint32_t code) {
  JsonAnswer answer(REMOTE_ANSWER_LIMIT, REMOTE_ANSWER_LIMIT);
  if (!answer.Ok()) return;
  answer.Printf("{\"count\":0,\r\n\"timestamp\":\"%s\",\r\n\"content\":\"remote\",\r\n\"requested_key\":",
                PVRDateToJSON(0, 0));
  answer.String(keyWord, REMOTE_KEY_WORD_SIZE);
  answer.Printf(",\r\n\"code_generated\":\"0x%06lx\"\r\n}\r\n", (unsigned long)code);
  LOGF(LOG_OPERATIONAL, "Sending API remote: '%s', 0x%08lx.", keyWord, (unsigned long)code);
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}

void AnswerCharacter(const char *keyWord, const RemoteRequest &r, int character) {
  JsonAnswer answer(REMOTE_ANSWER_LIMIT, REMOTE_ANSWER_LIMIT);
  if (!answer.Ok()) return;
  answer.Printf("{\"count\":0,\r\n\"timestamp\":\"%s\",\r\n\"content\":\"ascii\",\r\n\"requested_char\":",
                PVRDateToJSON(0, 0));
  answer.String(r.characterGiven ? r.character : "", (int)sizeof r.character);
  answer.Printf(",\r\n\"char_generated\":\"%ld\"\r\n}\r\n", (long)character);
  LOGF(LOG_OPERATIONAL, "Sending API ASCII: '%s', 0x%08lx.", keyWord, (unsigned long)(uint32_t)character);
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}

}  // namespace

void APIRemoteSend(const char *params, int mode) {
  LOGF(LOG_DETAIL, "Processing API-Remote-Send request '%s'.", params ? params : "");
  RemoteRequest request;
  memset(&request, 0, sizeof request);
  ScanHandlerParams(params, params ? (int)strnlen(params, PARAMS_TEXT_LIMIT) : 0, '&', TakeParameter, &request);
  char keyWord[REMOTE_KEY_WORD_SIZE];
  int longPress = 0;
  RemoteKeyWordOf(request.key, keyWord, &longPress);
  if (mode == REMOTE_MODE_CHARACTER) {
    int character = CharacterCodeOf(request.characterGiven ? request.character : nullptr);
    // Every loaded TAP gets the character; no key reaches the firmware.
    HDD_TAP_SendEvent(0, false, REMOTE_CHARACTER_EVENT, (TapParam)(uint32_t)character, 0);
    AnswerCharacter(keyWord, request, character);
    return;
  }
  AnswerKey(keyWord, PressKey(keyWord, longPress));
}
