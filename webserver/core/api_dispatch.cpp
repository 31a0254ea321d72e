#include "webserver/core/api_dispatch.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/url_params.h"
#include "platform/tap_tasks.h"
#include "webserver/core/api_forward.h"
#include "webserver/core/api_table.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/lifecycle.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

namespace {

bool InList(const char *const *list, const char *word) {
  for (; *list; list++) {
    if (strcmp(*list, word) == 0) return true;
  }
  return false;
}

// A copy of length bytes with a NUL after them, or null.
char *Duplicate(const char *text, size_t length) {
  char *copy = static_cast<char *>(TAP_MemAlloc((dword)length + 1));
  if (!copy) return nullptr;
  memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

void FreeCopies(APIForwardMessage *message) {
  char *copies[] = {message->function, message->action, message->tap, message->session,
                    message->parameters, message->postData};
  for (char *copy : copies) {
    if (copy) TAP_MemFree(copy);
  }
}

void SendForwardFailure(APIForwardMessage *message, dword tapId) {
  char answer[512];
  int length = snprintf(answer, sizeof answer,
                        "{\"content\":\"tap_response\",\r\n\"tap\":%lu,\r\n\"tap_hex\":\"%08lx\",\r\n"
                        "\"retstatus\":%d,\r\n\"status\":%d}\r\n",
                        (unsigned long)tapId, (unsigned long)tapId, message->returnStatus, 0);
  LOGF(LOG_OPERATIONAL, "Sending external TAP failure status.");
  NetHTTPRespond(answer, length, "application/json", 0);
}

void ForwardToTap(const APIWords &words) {
  LOGF(LOG_DETAIL, "Processing request to external TAP.");
  dword tapId = (dword)strtoul(words.tap, nullptr, 10);
  APIForwardMessage message;
  memset(&message, 0, sizeof message);
  message.sender = ORVANE_TAP_ID;
  message.function = Duplicate(words.function, strlen(words.function));
  message.action = Duplicate(words.action, strlen(words.action));
  message.tap = Duplicate(words.tap, strlen(words.tap));
  message.session = Duplicate(words.session, strlen(words.session));
  message.parameters = Duplicate(words.params, strnlen(words.params, API_PARAMS_SIZE - 1));
  snprintf(message.contentType, sizeof message.contentType, "application/json");
  if (gHTTPpost.body && gHTTPpost.bodyBytes > 0 && !gHTTPpost.headerEndMissing) {
    message.postData = Duplicate(gHTTPpost.body, (size_t)gHTTPpost.bodyBytes);
    if (message.postData) {
      message.postLength = gHTTPpost.bodyBytes;
    } else {
      LOGF(LOG_OPERATIONAL, "Failed to allocate %d bytes for gHTTPpost.", gHTTPpost.bodyBytes + 1);
    }
  }

  int socket = gInboundSocket;
  HDD_TAP_SendEvent(tapId, false, EVT_API_FORWARD, (TapParam)&message, ORVANE_TAP_ID);
  gInboundSocket = socket;
  if (message.status != 0) {
    LOGF(LOG_DETAIL, "Sending external TAP response, %d bytes.", message.answerLength);
    message.contentType[sizeof message.contentType - 1] = '\0';
    NetHTTPRespond(message.answer, message.answer ? message.answerLength : 0, message.contentType, 0);
    message.status = API_FORWARD_SENT;
    HDD_TAP_SendEvent(tapId, false, EVT_API_FORWARD, (TapParam)&message, ORVANE_TAP_ID);
    gInboundSocket = socket;
    FreeCopies(&message);
    return;
  }
  SendForwardFailure(&message, tapId);
  FreeCopies(&message);
  if (message.answer) TAP_MemFree(message.answer);
}

}  // namespace

int DispatchAPI(const APIFunction *table, int count, const APIWords &words) {
  for (int i = 0; i < count; i++) {
    if (!InList(table[i].functions, words.function)) continue;
    if (table[i].command) gCommand.command = table[i].command;
    for (int k = 0; k < table[i].actionCount; k++) {
      const APIAction &row = table[i].actions[k];
      if (!InList(row.actions, words.action)) continue;
      if (table[i].command) gCommand.action = row.action;
      row.handler(words.params);
      return 0;
    }
    return 0;
  }
  return -1;
}

int NetProcessAPI(const char *path) {
  LOGF(LOG_DETAIL, "NetProcessAPI: theCommand = [%s].", path);
  APIWords words;
  SplitAPITarget(path, &words);
  LOGF(LOG_DETAIL, "Function = [%s], Action = [%s], TAP = [%s], Session = [%s].", words.function,
       words.action, words.tap, words.session);
  if (strcmp(words.tap, "default") != 0) {
    ForwardToTap(words);
    return 0;
  }
  return DispatchAPI(kAPIFunctions, kAPIFunctionCount, words);
}
