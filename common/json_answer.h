// The answer builder: every JSON answer of the API is built in one of these. It knows its
// capacity, grows (through the allocator of common_memory.h, TAP_MemAlloc in a TAP) up to
// a limit, escapes through the one table of text_helpers, and takes records whole or not
// at all: when a record does not fit it is taken back and the answer reports itself full,
// so the handler stops adding records, closes the document and still tells a true count.
//
//   JsonAnswer answer;
//   if (!answer.Ok()) { log "unable to allocate"; return; }    // no answer is sent
//   answer.Cat("{");
//   int count = 0;
//   for (each record) {
//     int mark = answer.BeginRecord();
//     ... answer.Printf / String / HexString ...
//     if (!answer.EndRecord(mark)) break;                     // full: stop adding records
//     count++;
//   }
//   answer.Printf("\"timestamp\":\"%s\"}\r\n", ...);           // the tail always fits
//   answer.InsertPrintf(1, "\"count\":%d,\r\n", count);        // first member, known now
#pragma once

#include <stddef.h>

enum {
  JSON_ANSWER_INITIAL = 4096,              // first reservation
  JSON_ANSWER_LIMIT = 16 * 1024 * 1024,    // no answer grows beyond this
  JSON_ANSWER_TAIL = 2048,                 // kept free by records for the closing members
};

class JsonAnswer {
 public:
  explicit JsonAnswer(int limit = JSON_ANSWER_LIMIT, int initial = JSON_ANSWER_INITIAL);
  ~JsonAnswer();
  JsonAnswer(const JsonAnswer &) = delete;
  JsonAnswer &operator=(const JsonAnswer &) = delete;

  // False when even the first reservation failed: there is nothing to send.
  bool Ok() const { return data_ != nullptr; }
  const char *Data() const { return data_; }
  int Length() const { return length_; }
  // A record was refused for lack of room: add no more records.
  bool Full() const { return full_; }
  // Something outside a record did not fit (the tail was too small): the document is cut.
  bool Cut() const { return cut_; }

  // Appending. Each appends all of its text or nothing and returns whether it did.
  // Cat: count bytes of text verbatim (count 0: up to its NUL).
  bool Cat(const char *text, int count = 0);
  bool Printf(const char *format, ...) __attribute__((format(printf, 2, 3)));
  // The body of a JSON string: escaped by the rules of stringCatEscape (UTF-8 bytes kept).
  // Reads at most count bytes and stops at a NUL (count 0: up to the NUL), so a fixed
  // field without a terminating zero is read with its size as count.
  bool Escaped(const char *text, int count = 0);
  // The same by the rules of jsonEscape (every byte 0x80-0xFF dropped as well).
  bool EscapedAscii(const char *text, int count = 0);
  // A quoted, escaped JSON string (rules of Escaped).
  bool String(const char *text, int count = 0);
  // Two lower-case hex digits for each of count bytes (NUL bytes included), unquoted.
  bool Hex(const void *bytes, int count);
  // The hex form of a text up to its NUL or count bytes, quoted.
  bool HexString(const char *text, int count = 0);

  // Records. BeginRecord returns a mark; EndRecord keeps the record when all of it fitted
  // below the limit less the tail, else takes it back to the mark, marks the answer full
  // and returns false.
  int BeginRecord();
  bool EndRecord(int mark);
  // Takes everything after mark back.
  void Rewind(int mark);

  // Puts formatted text at position, moving what follows (the first member, once the
  // records are counted). False when it does not fit.
  bool InsertPrintf(int position, const char *format, ...) __attribute__((format(printf, 3, 4)));

 private:
  bool Reserve(int more);    // room for more bytes and a NUL, within the current limit
  bool Refuse();             // notes an append that did not fit; returns false
  char *data_ = nullptr;
  int length_ = 0;
  int capacity_ = 0;
  int limit_ = 0;
  bool inRecord_ = false;
  int recordFailures_ = 0;
  int failures_ = 0;
  bool full_ = false;
  bool cut_ = false;
};
