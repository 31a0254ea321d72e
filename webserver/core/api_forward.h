// The message with which Orvane.tap forwards an API request to another TAP (event 0x0C01,
// param1 = the message's address, param2 = Orvane.tap's TAP ID). The serving TAP puts its
// answer into the message and sets status; a second event with status 9999 tells it that
// the answer was sent and its buffer may be released.
#pragma once

#include "platform/tap_api.h"

enum { API_FORWARD_SENT = 9999 };

struct APIForwardMessage {
  dword sender;          // Orvane.tap's TAP ID
  int status;            // 0 on sending; non-zero once the serving TAP answered
  char *function;
  char *action;
  char *tap;
  char *session;
  char *parameters;      // the handler parameter text
  char *postData;        // the POST body received with the request (NUL after it), or null
  int postLength;
  int returnStatus;      // the serving TAP's own status number
  char *answer;          // set by the serving TAP
  int answerLength;
  char contentType[128]; // "application/json" on sending; the serving TAP may replace it
};
