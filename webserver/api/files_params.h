// The keyword scan of the file and playback handlers: the parameter text is cut at each "&"
// into keyword=value pieces; a piece without "=" is skipped; each piece is logged at level 2
// ("theKeyword = [%s], theValue = [%s]."); a later piece overwrites an earlier one.
//
// A value is handed over as it stands in the text, with its length, so that the handler
// puts it into its field whole or refuses it: a value is never silently cut, since a cut
// path or name would name another file.
#pragma once

#include <stddef.h>

enum {
  FILES_KEYWORD_SIZE = 128,   // a longer keyword matches none
  FILES_VALUE_LOG = 2047,     // bytes of a value shown in the log
};

typedef void (*FilesParamFunction)(void *context, const char *keyword, const char *value, size_t length);
// Calls take for every piece, in order.
void ScanFilesParams(const char *params, FilesParamFunction take, void *context);

// A value copied into its field as it is: 1 when it fits with its terminating zero, else 0
// with the field empty.
int TakeFilesValue(char *field, size_t size, const char *value, size_t length);
// The value URL-decoded into its field: 1 when the decoded text fits and holds no zero
// byte, else 0 with the field empty. A value that holds a "%" without two hex digits after it is not an
// escaped text: it is taken as it is.
int TakeFilesURLValue(char *field, size_t size, const char *value, size_t length);
// The value hex-decoded into its field: 1 when all of it fits and holds no zero byte, else
// 0 with the field empty.
int TakeFilesHexValue(char *field, size_t size, const char *value, size_t length);

// The keyword test: whether keyword is one of the names (a null-terminated list).
bool FilesKeywordIs(const char *keyword, const char *const *names);
