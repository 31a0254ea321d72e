// Text helpers: searching, appending with and without JSON escaping, trimming, upper case.
// Escaped texts are checked by Python's json module parsing them back.
#include "common/text_helpers.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "tests/unit/python_oracle.h"

namespace {

std::string EscapeAll(const std::string &text, int count = 0) {
  std::string buffer(text.size() * 2 + 16, 'Z');
  int length = 0;
  char *end = stringCatEscape(&buffer[0], &length, text.c_str(), count);
  EXPECT_EQ(end, &buffer[0] + length);
  EXPECT_EQ(buffer[length], '\0');
  return buffer.substr(0, length);
}

std::string JsonEscapeAll(const std::string &text, int count = 0) {
  std::string buffer(text.size() * 2 + 16, 'Z');
  char *out = &buffer[0];
  jsonEscape(&out, text.c_str(), count);
  EXPECT_EQ(*out, '\0');
  return buffer.substr(0, out - &buffer[0]);
}

}  // namespace

TEST(TextHelpersInstr, FindsFirstOccurrenceCaseSensitively) {
  EXPECT_EQ(instr("abcabc", "bc"), 1);
  EXPECT_EQ(instr("abcabc", "cab"), 2);
  EXPECT_EQ(instr("abcabc", "abcabc"), 0);
  EXPECT_EQ(instr("abcabc", "BC"), -1);
  EXPECT_EQ(instr("abc", "abcd"), -1);
  EXPECT_EQ(instr("abc", "x"), -1);
  EXPECT_EQ(instr("", "x"), -1);
}

TEST(TextHelpersInstr, EmptyPatternIsFoundAtZeroAndNullIsAbsent) {
  EXPECT_EQ(instr("abc", ""), 0);
  EXPECT_EQ(instr("", ""), 0);
  EXPECT_EQ(instr(nullptr, "a"), -1);
  EXPECT_EQ(instr("a", nullptr), -1);
}

TEST(TextHelpersStringCat, AppendsWholeTextOrCountBytesAndTerminates) {
  char buffer[64];
  memset(buffer, 'Z', sizeof buffer);
  int length = 0;
  char *end = stringCat(buffer, &length, "{\"a\":", 0);
  EXPECT_EQ(length, 5);
  EXPECT_EQ(end, buffer + 5);
  end = stringCat(buffer, &length, "123456", 3);
  EXPECT_EQ(length, 8);
  EXPECT_EQ(end, buffer + 8);
  EXPECT_STREQ(buffer, "{\"a\":123");
  EXPECT_EQ(buffer[9], 'Z');
  stringCat(buffer, &length, "", 0);
  EXPECT_EQ(length, 8);
  EXPECT_STREQ(buffer, "{\"a\":123");
}

TEST(TextHelpersStringCat, CountCopiesNulBytesToo) {
  char buffer[16];
  int length = 2;
  memcpy(buffer, "ab", 2);
  stringCat(buffer, &length, "x\0y", 3);
  EXPECT_EQ(length, 5);
  EXPECT_EQ(std::string(buffer, 6), std::string("abx\0y\0", 6));
}

TEST(TextHelpersStringCatEscape, EscapesQuoteSlashTabAndKeepsUtf8) {
  EXPECT_EQ(EscapeAll("a\t\"/\xC3\xA9\x01z"), "a\\t\\\"\\/\xC3\xA9z");
  EXPECT_EQ(EscapeAll("\b\n\f\r\\"), "\\b\\n\\f\\r\\\\");
}

TEST(TextHelpersStringCatEscape, DropsOtherControlBytesAndKeepsDel) {
  std::string all;
  for (int c = 1; c < 32; c++) all += (char)c;
  EXPECT_EQ(EscapeAll(all), "\\b\\t\\n\\f\\r");
  EXPECT_EQ(EscapeAll("\x7f\x80\xff"), "\x7f\x80\xff");
}

TEST(TextHelpersStringCatEscape, CountLimitsInputAndTextEndsAtNul) {
  EXPECT_EQ(EscapeAll("\"\"\"\"", 2), "\\\"\\\"");
  // A field longer than its text: the text ends at its NUL.
  char field[8] = {'a', 'b', 0, 'c', 'd', 0, 0, 0};
  std::string buffer(32, 'Z');
  int length = 0;
  stringCatEscape(&buffer[0], &length, field, sizeof field);
  EXPECT_EQ(length, 2);
  EXPECT_EQ(buffer.substr(0, 3), std::string("ab\0", 3));
}

TEST(TextHelpersStringCatEscape, AppendsAfterExistingLength) {
  char buffer[32] = "{\"n\":\"";
  int length = (int)strlen(buffer);
  stringCatEscape(buffer, &length, "a/b", 0);
  stringCat(buffer, &length, "\"}", 0);
  EXPECT_STREQ(buffer, "{\"n\":\"a\\/b\"}");
  EXPECT_EQ(length, (int)strlen(buffer));
}

TEST(TextHelpersJsonEscape, DropsHighBytesUnlikeStringCatEscape) {
  EXPECT_EQ(JsonEscapeAll("a\t\"/\xC3\xA9\x01z"), "a\\t\\\"\\/z");
  EXPECT_EQ(JsonEscapeAll("\b\n\f\r\\\x7f"), "\\b\\n\\f\\r\\\\\x7f");
}

TEST(TextHelpersJsonEscape, CountLimitsInputAndOutAdvancesToTheNul) {
  EXPECT_EQ(JsonEscapeAll("abcdef", 3), "abc");
  EXPECT_EQ(JsonEscapeAll("", 0), "");
  char buffer[32];
  char *out = buffer;
  jsonEscape(&out, "ab", 0);
  jsonEscape(&out, "/c", 0);
  EXPECT_EQ(out, buffer + 5);
  EXPECT_STREQ(buffer, "ab\\/c");
}

// Random texts, escaped by both helpers, must parse back with json.loads into the input
// minus the bytes each helper drops.
TEST(TextHelpersEscapeOracle, EscapedTextsParseBackWithPythonJson) {
  TestRandom random(7);
  static const char *pieces[] = {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\"", "/", "\\", "\t", "\n",
                                 "\r", "\b", "\f", "\x01", "\x0b", "\x1f", "\x7f", "a", "Z", " ", "{", "}"};
  std::string data;
  for (int n = 0; n < 400; n++) {
    std::string text;
    int parts = (int)random.Below(40);
    for (int i = 0; i < parts; i++) text += pieces[random.Below(sizeof pieces / sizeof pieces[0])];
    std::string raw;   // arbitrary bytes for jsonEscape
    int rawLength = (int)random.Below(60);
    for (int i = 0; i < rawLength; i++) raw += (char)(1 + random.Below(255));
    data += ToHex(text) + " " + ToHex(EscapeAll(text)) + " " + ToHex(raw) + " " + ToHex(JsonEscapeAll(raw)) + "\n";
  }
  std::string script = R"PY(
import sys, json
bad = 0
for number, line in enumerate(sys.stdin):
    text, escaped, raw, rawEscaped = [bytes.fromhex(f) for f in line.split(" ")]
    dropped = set(range(1, 8)) | {11} | set(range(14, 32))
    want = bytes(b for b in text if b not in dropped).decode("utf-8")
    if json.loads(b'"' + escaped + b'"') != want:
        bad += 1; print("stringCatEscape", number, text, escaped)
    if any(b >= 0x80 or b < 32 for b in rawEscaped):
        bad += 1; print("jsonEscape not ASCII", number)
    keep = bytes(b for b in raw if (32 <= b < 0x80) or b in (8, 9, 10, 12, 13))
    if json.loads(b'"' + rawEscaped + b'"') != keep.decode("ascii"):
        bad += 1; print("jsonEscape", number, raw, rawEscaped)
print("checked", number + 1, "bad", bad)
)PY";
  EXPECT_EQ(RunPython(script, data), "checked 400 bad 0\n");
}

TEST(TextHelpersTrim, TrimsTheDocumentedBlanks) {
  char a[] = "  \tab c \t  ";
  EXPECT_EQ(rtrim(a), a);
  EXPECT_STREQ(a, "  \tab c \t");   // a tab stops rtrim
  char b[] = " \t ab c  ";
  EXPECT_EQ(ltrim(b), b);
  EXPECT_STREQ(b, "ab c  ");
  char c[] = " \t ab c   ";
  EXPECT_EQ(trim(c), c);
  EXPECT_STREQ(c, "ab c");
  char d[] = "     ";
  EXPECT_STREQ(trim(d), "");
  char e[] = "";
  EXPECT_STREQ(trim(e), "");
  char f[] = "\t";
  EXPECT_STREQ(rtrim(f), "\t");
  EXPECT_STREQ(ltrim(f), "");
}

// Random blank-heavy texts against Python's rstrip(" ") and lstrip(" \t").
TEST(TextHelpersTrim, AgreesWithPythonStrip) {
  TestRandom random(11);
  std::string data;
  for (int n = 0; n < 500; n++) {
    std::string text;
    int length = (int)random.Below(12);
    for (int i = 0; i < length; i++) text += " \txy"[random.Below(4)];
    std::string r = text, l = text, t = text;
    rtrim(&r[0]);
    ltrim(&l[0]);
    trim(&t[0]);
    data += ToHex(text) + " " + ToHex(r.c_str()) + " " + ToHex(l.c_str()) + " " + ToHex(t.c_str()) + "\n";
  }
  std::string script = R"PY(
import sys
bad = 0
for line in sys.stdin:
    text, r, l, t = [bytes.fromhex(f) for f in line.split(" ")]
    if r != text.rstrip(b" ") or l != text.lstrip(b" \t") or t != text.rstrip(b" ").lstrip(b" \t"):
        bad += 1; print(text, r, l, t)
print("bad", bad)
)PY";
  EXPECT_EQ(RunPython(script, data), "bad 0\n");
}

TEST(TextHelpersMakeUpper, ChangesOnlyAsciiLettersLikePythonBytesUpper) {
  std::string all;
  for (int c = 1; c < 256; c++) all += (char)c;
  std::string upper = all;
  makeUpper(&upper[0]);
  std::string script = "import sys\nall = bytes(range(1, 256))\nprint(all.upper().hex())\n";
  EXPECT_EQ(RunPython(script, ""), ToHex(upper) + "\n");
}

TEST(TextHelpersCopyBounded, CutsToTheFieldStopsAtNulAndAlwaysTerminates) {
  char out[5];
  memset(out, 'Z', sizeof out);
  EXPECT_EQ(CopyBounded(out, sizeof out, "abcdefgh", 8), 4u);
  EXPECT_STREQ(out, "abcd");
  EXPECT_EQ(CopyBounded(out, sizeof out, "abcdefgh", 2), 2u);
  EXPECT_STREQ(out, "ab");
  // A span with a NUL inside ends there; a field without one is read with its bound.
  EXPECT_EQ(CopyBounded(out, sizeof out, "a\0cd", 4), 1u);
  EXPECT_STREQ(out, "a");
  const char field[3] = {'x', 'y', 'z'};
  EXPECT_EQ(CopyBounded(out, sizeof out, field, sizeof field), 3u);
  EXPECT_STREQ(out, "xyz");
  EXPECT_EQ(CopyBounded(out, 1, "abc", 3), 0u);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(CopyBounded(out, sizeof out, nullptr, 3), 0u);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(CopyBounded(out, 0, "abc", 3), 0u);
}

TEST(TextHelpersJsonEscapedLength, CountsWhatJsonEscapeIntoWrites) {
  std::string all;
  for (int c = 1; c < 256; c++) all += (char)c;
  for (bool keepHigh : {false, true}) {
    for (size_t count : {(size_t)0, (size_t)7, (size_t)40, (size_t)300}) {
      std::string out(2 * all.size() + 1, 'Z');
      char *end = JsonEscapeInto(&out[0], all.c_str(), count, keepHigh);
      EXPECT_EQ((size_t)(end - &out[0]), JsonEscapedLength(all.c_str(), count, keepHigh));
    }
  }
}
