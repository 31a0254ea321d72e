// Request parameters: URL decoding, lookups in a "name=value&name=value" parameter text,
// and the request-parameter record gCommand that parseParams fills.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum {
  COMMAND_SOURCE_SIZE = 516,
  COMMAND_GENRE_SOURCE_SIZE = 544,
  COMMAND_FILE_NAME_SIZE = 516,
  COMMAND_LANGUAGE_SIZE = 516,
  PARAMS_TEXT_LIMIT = 8195,   // parseParams reads at most this many characters
};

// API families and actions kept in gCommand.command / gCommand.action.
enum {
  COMMAND_EPG = 12,
  COMMAND_TAP = 13,
  COMMAND_SATELLITE = 16,
  ACTION_GET = 1,
  ACTION_STOP = 11,
  ACTION_START = 19,
  ACTION_GENRE = 21,
  ACTION_TRANSPONDERS = 22,
  ACTION_SEARCH = 23,
};

struct RequestCommand {
  int command;                                // set by the dispatcher
  int action;                                 // set by the dispatcher
  int sourceSet;                              // "epgsource" or "source", verbatim
  char source[COMMAND_SOURCE_SIZE];
  int genreSourceSet;                         // "genre_source", verbatim
  char genreSource[COMMAND_GENRE_SOURCE_SIZE];
  int fileNameSet;                            // "filename" or "filename_hex" (in fileName)
  int indexSet;                               // "index", decimal
  int index;
  int tapIdSet;                               // "tapid" decimal, "tapid_hex" hexadecimal
  uint32_t tapId;
  int satIndexSet;                            // "sat" or "satindex", decimal
  int satIndex;
  char fileName[COMMAND_FILE_NAME_SIZE];      // "filename" URL-decoded, "filename_hex" hex-decoded
  int languageSet;                            // "language", "lang" or "lan", verbatim
  char language[COMMAND_LANGUAGE_SIZE];
  int cacheSet;                               // "cache", decimal
  uint32_t cache;
  int appendSet;                              // "append", decimal
  uint32_t append;
};

extern RequestCommand gCommand;

// 1 when c is 0-9, A-F or a-f.
int URLishex(int c);

// Decodes text up to and including its NUL: '+' becomes a blank, '%' with two hex digits
// (either case) that byte, every other byte is copied. buffer (strlen(text) + 1 bytes
// suffice) may be null to only count. Returns the bytes written including the NUL, or -1
// when a '%' is not followed by two hex digits; the bytes decoded before it are kept and
// NUL-terminated.
int URLdecode(const char *text, char *buffer);

// Like URLdecode, reading at most n bytes of text (an escape must lie wholly within
// them). buffer (n + 1 bytes suffice) is always NUL-terminated and may be null to only
// count. Returns the bytes written without the NUL, or -1 on a bad escape.
int URLndecode(const char *text, char *buffer, int n);

// Lookups in a parameter text of '&'-separated segments "name=value". A segment matches
// when its text up to its first '=' is exactly name (case-sensitive); the first match
// wins; a segment without '=' never matches. Each returns 1 when found, else 0.
int webC_paramExists(const char *params, const char *name);
// Clears out (size bytes), then stores the value URL-decoded, reading at most size - 1
// bytes of it (fewer when that would cut an escape in two). A value with a bad escape
// counts as absent (out stays empty).
int webC_getStrParam(const char *params, const char *name, char *out, int size);
// The value as by webC_getStrParam, hex-decoded into out (at most size - 1 bytes).
int webC_getHexStrParam(const char *params, const char *name, char *out, int size);
// The first 15 characters of the value read as a number ("%d", "%lu", "%lx" rules: blanks
// skipped, optional sign, at least one digit; "0x" allowed for hex; too large values are
// clamped). value is changed only on success.
int webC_getIntParam(const char *params, const char *name, int *value);
int webC_getDwordParam(const char *params, const char *name, uint32_t *value);
int webC_getHexDwordParam(const char *params, const char *name, uint32_t *value);

// The handler parameter scan (most handlers use it instead of parseParams): the text is
// cut at each '&' into keyword=value pieces, without URL decoding; pieces without '=' are
// skipped. NextHandlerParam reads the piece at *at and moves *at past it; false at the end.
// FindHandlerParam finds the last piece of keyword (the last one wins): its value's start
// and length within params. Values are never cut: the caller takes them whole or refuses.
struct HandlerParamPiece {
  const char *keyword;
  size_t keywordLength;
  const char *value;
  size_t valueLength;
};
bool NextHandlerParam(const char **at, HandlerParamPiece *piece);
bool FindHandlerParam(const char *params, const char *keyword, const char **value, size_t *length);

// Fills gCommand from the parameter text (at most PARAMS_TEXT_LIMIT characters), zeroing
// it first when clear is non-zero. Pieces without '=' and unknown keywords are ignored; a
// keyword given twice keeps the later value. Text fields are cut to their size; a file
// name that is malformed or does not fit is not taken (fileNameSet 0, fileName empty).
// Each pair is logged at level 2. Returns the number of recognised parameters.
int parseParams(const char *params, int clear);
