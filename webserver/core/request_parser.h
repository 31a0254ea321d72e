// The one request being served, parsed from the received text into global buffers.
#pragma once

// The body of the request being served.
struct HTTPPost {
  char *body;            // first body byte inside the receive buffer, or null
  int bodyBytes;         // body bytes in that buffer
  int contentLength;     // the Content-Length value
  int headerEndMissing;  // set when the blank line after the headers was not found
};

extern char gHTTPmethod[16];
extern char gHTTPpath[512];
extern char gHTTPhost[512];
extern char gHTTPauthorisation[512];
extern char gHTTPauthMode[128];
extern char gHTTPauthCredentials[128];
extern char gHTTPetag[512];   // in: If-None-Match; out: the entity tag to send
extern HTTPPost gHTTPpost;

// Fills the request globals from a received request of length bytes (NUL-terminated).
// Values longer than their buffers are cut.
void NetParseRequest(char *request, int length);
