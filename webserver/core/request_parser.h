// The one request being served, parsed from the received text into global buffers. The
// parser reads no settings of its own: the server passes them, so it also runs alone.
#pragma once

// The body of the request being served.
struct HTTPPost {
  char *body;            // first body byte inside the receive buffer, or null
  int bodyBytes;         // body bytes in that buffer
  int contentLength;     // the Content-Length value (0 when missing or not a number)
  int headerEndMissing;  // set when the blank line after the headers was not found
  int contentLengthSet;  // set when Content-Length held a number 0..2147483647
};

extern char gHTTPmethod[16];
extern char gHTTPpath[512];
extern int gHTTPpathCut;   // set when the target did not fit gHTTPpath and was cut
extern char gHTTPhost[512];
extern char gHTTPauthorisation[512];
extern char gHTTPauthMode[128];
extern char gHTTPauthCredentials[128];
extern char gHTTPetag[512];   // in: If-None-Match; out: the entity tag to send
extern HTTPPost gHTTPpost;

// What the parser does depends on these settings of the server.
struct RequestParserSettings {
  int authentication;   // >= 1: the Host and Authorization headers are read
  int cacheControl;     // bit 0 set: the If-None-Match header is read
  int loggingLevel;     // entries of a higher level are not made
  void (*log)(int level, const char *text);   // where entries go; null: nowhere
};

// Fills the request globals from a received request of length bytes (NUL-terminated).
// Values longer than their buffers are cut.
void NetParseRequest(char *request, int length, const RequestParserSettings &settings);
