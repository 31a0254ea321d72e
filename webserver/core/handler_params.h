// The handler parameter scan that most handlers use: the parameter text is cut at each "&"
// into keyword=value pieces, without URL decoding; a piece without "=" is skipped and the
// last piece of a keyword wins. Values are taken whole: a handler copies a value into its
// field or refuses it, it never gets a value silently cut.
#pragma once

#include <stddef.h>

// Logs every keyword and value at level 2 ("theKeyword = [%s], theValue = [%s].").
void LogHandlerParams(const char *params);

// Finds the value of the last piece named keyword: its start and length within params.
// False when no piece has that keyword.
bool FindHandlerParam(const char *params, const char *keyword, const char **value, size_t *length);

// A parameter's value as a text of its own (from the TAP heap, released with the object).
class HandlerParam {
 public:
  HandlerParam(const char *params, const char *keyword);
  ~HandlerParam();
  HandlerParam(const HandlerParam &) = delete;
  HandlerParam &operator=(const HandlerParam &) = delete;

  bool Given() const { return given_; }
  // Given, but the copy could not be had (no memory): the handler cannot go on.
  bool Failed() const { return given_ && !copy_; }
  // The value; "" when not given.
  const char *Value() const { return copy_ ? copy_ : ""; }
  // The value, or null when not given.
  const char *ValueOrNull() const { return copy_; }
  size_t Length() const { return length_; }

 private:
  bool given_ = false;
  char *copy_ = nullptr;
  size_t length_ = 0;
};
