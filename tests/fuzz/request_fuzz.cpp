// Fuzzes the parsing of received requests: the request line, the headers read into fixed
// buffers, the POST body fields and the API target's dispatch words.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "webserver/core/api_target.h"
#include "webserver/core/logging.h"
#include "webserver/core/request_parser.h"
#include "webserver/core/settings.h"

// The run state the parser reads; every log line is formatted but goes nowhere.
int gLoggingLevel = 3;
char logEntry[LOG_ENTRY_SIZE];
int gAuthentication, gCacheControl;
void LogWriteEntry(int, const char *) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  // The first byte chooses the settings that switch header parsing on.
  gAuthentication = data[0] % 3;
  gCacheControl = data[0] >> 2;
  data++;
  size--;
  // The server's receive buffer: the request followed by 2048 zero bytes.
  char *buffer = static_cast<char *>(calloc(size + 2048, 1));
  memcpy(buffer, data, size);
  NetParseRequest(buffer, (int)size);
  if (gHTTPpost.body) {
    if (gHTTPpost.body < buffer || gHTTPpost.body > buffer + size || gHTTPpost.bodyBytes < 0 ||
        gHTTPpost.body + gHTTPpost.bodyBytes > buffer + size)
      abort();
  }
  APIWords words;
  SplitAPITarget(gHTTPpath, &words);
  SplitAPITarget(buffer, &words);
  free(buffer);
  return 0;
}
