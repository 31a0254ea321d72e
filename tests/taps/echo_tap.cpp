// A TAP for the tests: it serves API requests that Orvane.tap forwards to it. Its answer
// echoes what it received, with a content type of its own; it releases the answer buffer on
// the second event (status 9999). Both steps are reported on the console.
//
// Started by another TAP it reports its start on the console: the parameter block (a
// 16-bit little-endian length, then that many bytes) in hex, and in batch mode it ends at
// once, as a TAP does that has done its work.
#include <stdio.h>
#include <string.h>

#include "platform/support_log.h"
#include "platform/tap_header.h"
#include "platform/tap_tasks.h"
#include "webserver/core/api_forward.h"

enum : dword { ECHO_TAP_ID = 0x54455354 };

TAP_HEADER(ECHO_TAP_ID, "Echo Test 1.0", "Orvane tests", "Answers forwarded API requests.", "1.0")

namespace {

char *gAnswer;
int gServed;

void Answer(APIForwardMessage *message) {
  int size = 1024 + message->postLength;
  gAnswer = static_cast<char *>(TAP_MemAlloc((dword)size));
  if (!gAnswer) return;
  int n = snprintf(gAnswer, (size_t)size,
                   "echo function=%s action=%s tap=%s session=%s params=%s post=%d:",
                   message->function, message->action, message->tap, message->session,
                   message->parameters, message->postLength);
  if (message->postData) memcpy(gAnswer + n, message->postData, (size_t)message->postLength);
  message->answer = gAnswer;
  message->answerLength = n + message->postLength;
  message->returnStatus = 42;
  snprintf(message->contentType, sizeof message->contentType, "text/x-echo");
  message->status = 1;
  char line[64];
  snprintf(line, sizeof line, "echo-tap: answered request %d\n", ++gServed);
  PrintNet(line);
}

void Release(APIForwardMessage *message) {
  if (message->answer != gAnswer || !gAnswer) return;
  TAP_MemFree(gAnswer);
  gAnswer = nullptr;
  char line[64];
  snprintf(line, sizeof line, "echo-tap: released answer %d\n", gServed);
  PrintNet(line);
}

// "echo-tap: started[ in batch mode][, parameter block <hex>]".
void ReportStart(bool batch) {
  char line[1024];
  int n = snprintf(line, sizeof line, "echo-tap: started%s", batch ? " in batch mode" : "");
  const byte *block = static_cast<const byte *>(HDD_TAP_GetStartParameter(ECHO_TAP_ID));
  if (block) {
    int length = block[0] | block[1] << 8;
    n += snprintf(line + n, sizeof line - (size_t)n, ", parameter block ");
    for (int i = 0; i < length + 2 && n + 3 < (int)sizeof line; i++) n += snprintf(line + n, 3, "%02x", block[i]);
  }
  snprintf(line + n, sizeof line - (size_t)n, "\n");
  PrintNet(line);
}

}  // namespace

TAP_EXPORT int TAP_Main(void) {
  bool batch = HDD_TAP_isBatchMode() != 0;
  ReportStart(batch);
  return batch ? 0 : 1;
}

TAP_EXPORT dword TAP_EventHandler(word event, TapParam param1, TapParam param2) {
  if (event != EVT_API_FORWARD || param2 != 0x514B570F || !param1) return (dword)param1;
  auto *message = reinterpret_cast<APIForwardMessage *>(param1);
  // The session word "silent" asks for no answer, to test the failure object.
  if (message->status == API_FORWARD_SENT) {
    Release(message);
  } else if (strcmp(message->session, "silent") != 0) {
    Answer(message);
  } else {
    message->returnStatus = 7;
  }
  return 0;
}
