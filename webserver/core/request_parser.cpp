#include "webserver/core/request_parser.h"

#include <stdlib.h>
#include <string.h>

#include "common/text_helpers.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

char gHTTPmethod[16];
char gHTTPpath[512];
char gHTTPhost[512];
char gHTTPauthorisation[512];
char gHTTPauthMode[128];
char gHTTPauthCredentials[128];
char gHTTPetag[512];
HTTPPost gHTTPpost;

namespace {

// Copies the next blank-separated word of *text into out and moves *text past it.
void NextWord(const char **text, char *out, size_t size) {
  const char *p = *text;
  while (*p == ' ') p++;
  const char *start = p;
  while (*p && *p != ' ' && *p != '\r' && *p != '\n') p++;
  CopyBounded(out, size, start, (size_t)(p - start));
  *text = p;
}

// Finds name in the request and copies the text from `skip` characters after its start up
// to the next CR. False when the name is missing or no CR follows.
bool HeaderValue(const char *request, const char *name, size_t skip, char *out, size_t size) {
  const char *found = strstr(request, name);
  if (!found) return false;
  const char *cr = strchr(found, '\r');
  if (!cr) return false;
  const char *start = found + skip;
  CopyBounded(out, size, start, start < cr ? (size_t)(cr - start) : 0);
  return true;
}

void ParsePostBody(char *request, int length) {
  char *end = strstr(request, "\r\n\r\n");
  if (!end) {
    LOGF(LOG_OPERATIONAL, "ERROR: HTTP Header end not found.");
    gHTTPpost.headerEndMissing = 1;
    return;
  }
  int headerLength = (int)(end + 4 - request);
  gHTTPpost.body = end + 4;
  gHTTPpost.bodyBytes = length > headerLength ? length - headerLength : 0;
  const char *found = strstr(request, "Content-Length:");
  if (!found) {
    LOGF(LOG_DETAIL, "Warning: Content-Length not found.");
    return;
  }
  char value[128];
  if (!HeaderValue(found, "Content-Length:", 15, value, sizeof value)) {
    LOGF(LOG_DETAIL, "Warning: reading Content-Length value failed.");
    return;
  }
  long parsed = strtol(value, nullptr, 10);
  gHTTPpost.contentLength = parsed < 0 ? 0 : parsed > 0x7FFFFFFF ? 0x7FFFFFFF : (int)parsed;
}

}  // namespace

void NetParseRequest(char *request, int length) {
  gHTTPmethod[0] = gHTTPpath[0] = gHTTPhost[0] = '\0';
  gHTTPauthorisation[0] = gHTTPauthMode[0] = gHTTPauthCredentials[0] = '\0';
  const char *at = request;
  NextWord(&at, gHTTPmethod, sizeof gHTTPmethod);
  NextWord(&at, gHTTPpath, sizeof gHTTPpath);

  if (gAuthentication >= 1) {
    HeaderValue(request, "Host:", 6, gHTTPhost, sizeof gHTTPhost);
    if (HeaderValue(request, "Authorization:", 14, gHTTPauthorisation, sizeof gHTTPauthorisation)) {
      const char *words = gHTTPauthorisation;
      NextWord(&words, gHTTPauthMode, sizeof gHTTPauthMode);
      NextWord(&words, gHTTPauthCredentials, sizeof gHTTPauthCredentials);
    }
  }
  LOGF(LOG_DETAIL, "NetReadCommand:");
  LOGF(LOG_DETAIL, "Method: '%s'.", gHTTPmethod);
  LOGF(LOG_DETAIL, "Path: '%s'.", gHTTPpath);
  LOGF(LOG_DETAIL, "Host: '%s'.", gHTTPhost);

  gHTTPetag[0] = '\0';
  if (gCacheControl & 1) HeaderValue(request, "If-None-Match: ", 15, gHTTPetag, sizeof gHTTPetag);

  memset(&gHTTPpost, 0, sizeof gHTTPpost);
  if (strcmp(gHTTPmethod, "POST") == 0) ParsePostBody(request, length);
}
