// The built-in API handlers by function and action word.
#pragma once

#include "webserver/core/api_dispatch.h"

extern const APIFunction *const kAPIFunctions;
extern const int kAPIFunctionCount;
