// The handler parameter scan most handlers use instead of parseParams: a text of
// keyword=value pieces cut at a separator ("&" for the handler parameter text, LF for a
// POST body), each cut at its first "=" into a keyword and a value of at most
// HANDLER_PARAM_MAX characters (longer ones are cut), without URL decoding. Pieces without
// "=" are skipped; each pair is logged at level 2.
#pragma once

enum { HANDLER_PARAM_MAX = 127 };

typedef void (*HandlerParamFunction)(const char *keyword, const char *value, void *context);

// Scans length bytes of text (it need not be NUL-terminated; a NUL ends it early).
void ScanHandlerParams(const char *text, int length, char separator, HandlerParamFunction take, void *context);
