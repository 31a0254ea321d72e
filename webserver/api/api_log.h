// The browser's entries in the server's log.
#pragma once

// "log"/"logger" "write"/"set": the request body becomes one entry of "Orvane.log", the
// "module" parameter (default "ZEL5 Web") its source on the console.
void APILogWrite(const char *params);
