// The JSON API: "/api?" dispatch words "!" handler parameters. Requests are forwarded to
// another TAP or handed to the built-in handler chosen by function and action.
#pragma once

#include "webserver/core/api_target.h"

// One row of the dispatch table: the function words it answers to (null-terminated lists)
// and the handler for each action.
typedef void (*APIHandler)(const char *params);
struct APIAction {
  const char *const *actions;   // null-terminated list of action words
  APIHandler handler;
  int action;                   // stored in gCommand.action when the family has a number
};
struct APIFunction {
  const char *const *functions; // null-terminated list of function words
  int command;                  // the family number stored in gCommand.command, or 0
  const APIAction *actions;
  int actionCount;
};

// Calls the handler that table names for the words; 0 when the function word is known
// (whether or not an action matched), -1 when not.
int DispatchAPI(const APIFunction *table, int count, const APIWords &words);

// Handles an "/api?" target: 0 when handled or forwarded, -1 for an unknown function word.
int NetProcessAPI(const char *path);
