// Fuzzes the parsing of received requests: the request line, the headers read into fixed
// buffers, the POST body fields and the API target's dispatch words.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "webserver/core/api_target.h"
#include "webserver/core/request_parser.h"

namespace {
// Every log line is formatted but goes nowhere.
void DropLogEntry(int, const char *) {}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  // The first byte chooses the settings that switch header parsing on.
  RequestParserSettings settings = {data[0] % 3, data[0] >> 2, 3, DropLogEntry};
  data++;
  size--;
  // The server's receive buffer: the request followed by 2048 zero bytes.
  char *buffer = static_cast<char *>(calloc(size + 2048, 1));
  memcpy(buffer, data, size);
  NetParseRequest(buffer, (int)size, settings);
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
