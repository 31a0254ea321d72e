// The handler parameter scan (common/url_params.h) with the web server's logging and the
// TAP heap: each keyword and value logged, values as texts of their own.
#pragma once

#include <stddef.h>

// Logs every keyword and value at level 2 ("theKeyword = [%s], theValue = [%s].").
void LogHandlerParams(const char *params);

// A parameter's value (the last piece of its keyword) as a text of its own, from the TAP
// heap and released with the object. Values are whole: a handler takes one into its field
// or refuses it.
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
