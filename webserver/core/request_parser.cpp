#include "webserver/core/request_parser.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common/text_helpers.h"
#include "webserver/core/logging.h"

char gHTTPmethod[16];
char gHTTPpath[512];
int gHTTPpathCut;
char gHTTPhost[512];
char gHTTPauthorisation[512];
char gHTTPauthMode[128];
char gHTTPauthCredentials[128];
char gHTTPetag[512];
HTTPPost gHTTPpost;

namespace {

enum { PARSER_LOG_LINE = 640 };   // the longest entry: a whole target in "Path: '%s'."

void ParserLog(const RequestParserSettings &settings, int level, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
void ParserLog(const RequestParserSettings &settings, int level, const char *format, ...) {
  if (!settings.log || settings.loggingLevel < level) return;
  char line[PARSER_LOG_LINE];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  settings.log(level, line);
}

// Copies the next blank-separated word of *text into out and moves *text past it. False
// when the word was cut to fit.
bool NextWord(const char **text, char *out, size_t size) {
  const char *p = *text;
  while (*p == ' ') p++;
  const char *start = p;
  while (*p && *p != ' ' && *p != '\r' && *p != '\n') p++;
  *text = p;
  return CopyBounded(out, size, start, (size_t)(p - start)) == (size_t)(p - start);
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

// A Content-Length value: blanks, decimal digits, blanks. False for anything else (a sign,
// other characters, no digit) and for values above 2147483647.
bool ParseContentLength(const char *text, int *value) {
  while (*text == ' ' || *text == '\t') text++;
  long long parsed = 0;
  const char *digits = text;
  for (; *text >= '0' && *text <= '9'; text++) {
    parsed = parsed * 10 + (*text - '0');
    if (parsed > 0x7FFFFFFF) return false;
  }
  if (text == digits) return false;
  while (*text == ' ' || *text == '\t') text++;
  if (*text) return false;
  *value = (int)parsed;
  return true;
}

void ParsePostBody(char *request, int length, const RequestParserSettings &settings) {
  char *end = strstr(request, "\r\n\r\n");
  if (!end) {
    ParserLog(settings, LOG_OPERATIONAL, "ERROR: HTTP Header end not found.");
    gHTTPpost.headerEndMissing = 1;
    return;
  }
  int headerLength = (int)(end + 4 - request);
  gHTTPpost.body = end + 4;
  gHTTPpost.bodyBytes = length > headerLength ? length - headerLength : 0;
  const char *found = strstr(request, "Content-Length:");
  if (!found) {
    ParserLog(settings, LOG_DETAIL, "Warning: Content-Length not found.");
    return;
  }
  char value[128];
  if (!HeaderValue(found, "Content-Length:", 15, value, sizeof value)) {
    ParserLog(settings, LOG_DETAIL, "Warning: reading Content-Length value failed.");
    return;
  }
  int parsed;
  if (!ParseContentLength(value, &parsed)) {
    ParserLog(settings, LOG_DETAIL, "Warning: reading Content-Length value failed.");
    return;
  }
  gHTTPpost.contentLength = parsed;
  gHTTPpost.contentLengthSet = 1;
}

}  // namespace

void NetParseRequest(char *request, int length, const RequestParserSettings &settings) {
  gHTTPmethod[0] = gHTTPpath[0] = gHTTPhost[0] = '\0';
  gHTTPauthorisation[0] = gHTTPauthMode[0] = gHTTPauthCredentials[0] = '\0';
  const char *at = request;
  NextWord(&at, gHTTPmethod, sizeof gHTTPmethod);
  gHTTPpathCut = NextWord(&at, gHTTPpath, sizeof gHTTPpath) ? 0 : 1;

  if (settings.authentication >= 1) {
    HeaderValue(request, "Host:", 6, gHTTPhost, sizeof gHTTPhost);
    if (HeaderValue(request, "Authorization:", 14, gHTTPauthorisation, sizeof gHTTPauthorisation)) {
      const char *words = gHTTPauthorisation;
      NextWord(&words, gHTTPauthMode, sizeof gHTTPauthMode);
      NextWord(&words, gHTTPauthCredentials, sizeof gHTTPauthCredentials);
    }
  }
  ParserLog(settings, LOG_DETAIL, "NetReadCommand:");
  ParserLog(settings, LOG_DETAIL, "Method: '%s'.", gHTTPmethod);
  ParserLog(settings, LOG_DETAIL, "Path: '%s'.", gHTTPpath);
  ParserLog(settings, LOG_DETAIL, "Host: '%s'.", gHTTPhost);

  gHTTPetag[0] = '\0';
  if (settings.cacheControl & 1) HeaderValue(request, "If-None-Match: ", 15, gHTTPetag, sizeof gHTTPetag);

  memset(&gHTTPpost, 0, sizeof gHTTPpost);
  if (strcmp(gHTTPmethod, "POST") == 0) ParsePostBody(request, length, settings);
}
