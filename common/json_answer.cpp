#include "common/json_answer.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "common/common_memory.h"
#include "common/text_helpers.h"

namespace {

const char kHexDigits[] = "0123456789abcdef";

size_t InputLength(const char *text, int count) {
  if (!text) return 0;
  return count > 0 ? strnlen(text, (size_t)count) : strlen(text);
}

}  // namespace

JsonAnswer::JsonAnswer(int limit, int initial) {
  limit_ = limit > 1 ? limit : 1;
  if (initial > limit_) initial = limit_;
  if (initial < 1) initial = 1;
  data_ = static_cast<char *>(CommonAlloc((size_t)initial));
  if (!data_) return;
  capacity_ = initial;
  data_[0] = '\0';
}

JsonAnswer::~JsonAnswer() { CommonFree(data_); }

bool JsonAnswer::Refuse() {
  failures_++;
  if (!inRecord_) cut_ = true;
  return false;
}

bool JsonAnswer::Reserve(int more) {
  if (!data_ || more < 0) return false;
  // Records leave the tail free for the members that close the document.
  int limit = inRecord_ ? limit_ - JSON_ANSWER_TAIL : limit_;
  if ((long)length_ + more + 1 > (long)limit) return false;
  int needed = length_ + more + 1;
  if (needed <= capacity_) return true;
  long grown = (long)capacity_ * 2;
  if (grown < needed) grown = needed;
  if (grown > limit_) grown = limit_;
  char *bigger = static_cast<char *>(CommonAlloc((size_t)grown));
  if (!bigger) return false;
  memcpy(bigger, data_, (size_t)length_ + 1);
  CommonFree(data_);
  data_ = bigger;
  capacity_ = (int)grown;
  return true;
}

bool JsonAnswer::Cat(const char *text, int count) {
  size_t n = InputLength(text, count);
  if (n > (size_t)limit_ || !Reserve((int)n)) return Refuse();
  memcpy(data_ + length_, text, n);
  length_ += (int)n;
  data_[length_] = '\0';
  return true;
}

bool JsonAnswer::Printf(const char *format, ...) {
  if (!data_) return Refuse();
  va_list args;
  va_start(args, format);
  int n = vsnprintf(data_ + length_, (size_t)(capacity_ - length_), format, args);
  va_end(args);
  bool formatted = n >= 0 && n < capacity_ - length_;
  if (n < 0 || !Reserve(n)) {
    data_[length_] = '\0';
    return Refuse();
  }
  if (!formatted) {
    // The first try was cut; the buffer has room now.
    va_start(args, format);
    vsnprintf(data_ + length_, (size_t)(capacity_ - length_), format, args);
    va_end(args);
  }
  length_ += n;
  return true;
}

bool JsonAnswer::Escaped(const char *text, int count) {
  size_t n = JsonEscapedLength(text, count > 0 ? (size_t)count : 0, true);
  if (n > (size_t)limit_ || !Reserve((int)n)) return Refuse();
  char *end = JsonEscapeInto(data_ + length_, text, count > 0 ? (size_t)count : 0, true);
  length_ = (int)(end - data_);
  return true;
}

bool JsonAnswer::EscapedAscii(const char *text, int count) {
  size_t n = JsonEscapedLength(text, count > 0 ? (size_t)count : 0, false);
  if (n > (size_t)limit_ || !Reserve((int)n)) return Refuse();
  char *end = JsonEscapeInto(data_ + length_, text, count > 0 ? (size_t)count : 0, false);
  length_ = (int)(end - data_);
  return true;
}

bool JsonAnswer::String(const char *text, int count) {
  int mark = length_;
  if (Cat("\"") && Escaped(text, count) && Cat("\"")) return true;
  length_ = mark;
  if (data_) data_[length_] = '\0';
  return false;
}

bool JsonAnswer::Hex(const void *bytes, int count) {
  if (count < 0 || (long)count * 2 > (long)limit_ || !Reserve(count * 2)) return Refuse();
  const unsigned char *in = static_cast<const unsigned char *>(bytes);
  for (int i = 0; i < count; i++) {
    data_[length_++] = kHexDigits[in[i] >> 4];
    data_[length_++] = kHexDigits[in[i] & 15];
  }
  data_[length_] = '\0';
  return true;
}

bool JsonAnswer::HexString(const char *text, int count) {
  int mark = length_;
  if (Cat("\"") && Hex(text, (int)InputLength(text, count)) && Cat("\"")) return true;
  length_ = mark;
  if (data_) data_[length_] = '\0';
  return false;
}

int JsonAnswer::BeginRecord() {
  inRecord_ = true;
  recordFailures_ = failures_;
  return length_;
}

bool JsonAnswer::EndRecord(int mark) {
  inRecord_ = false;
  if (failures_ == recordFailures_ && !full_) return true;
  Rewind(mark);
  full_ = true;
  return false;
}

void JsonAnswer::Rewind(int mark) {
  if (!data_ || mark < 0 || mark > length_) return;
  length_ = mark;
  data_[length_] = '\0';
}

bool JsonAnswer::InsertPrintf(int position, const char *format, ...) {
  if (!data_ || position < 0 || position > length_) return Refuse();
  char small[256];
  va_list args;
  va_start(args, format);
  int n = vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (n < 0 || n >= (int)sizeof small || !Reserve(n)) return Refuse();
  memmove(data_ + position + n, data_ + position, (size_t)(length_ - position) + 1);
  memcpy(data_ + position, small, (size_t)n);
  length_ += n;
  return true;
}
