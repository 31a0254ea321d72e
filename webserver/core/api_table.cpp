#include "webserver/core/api_table.h"

// Each handler family adds its row here together with the handler itself, so that no row
// names a handler that does not exist.
const APIFunction *const kAPIFunctions = nullptr;
const int kAPIFunctionCount = 0;
