// PVR text encodings: the character tables against glibc's iconv, UTF-8 against Python's
// codec, selectors, output bounds, UTF-8 to single-byte text, and name cleaning.
#include "platform/pvr_text.h"

#include <ctype.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/tap_api.h"
#include "tests/unit/emulated_pvr.h"

namespace {

// A temporary file holding content; removed when the object goes.
class TempFile {
 public:
  explicit TempFile(const std::string &content) {
    char pattern[] = "/tmp/orvane-text-XXXXXX";
    int fd = mkstemp(pattern);
    EXPECT_GE(fd, 0);
    path_ = pattern;
    if (fd >= 0) {
      EXPECT_EQ(write(fd, content.data(), content.size()), (ssize_t)content.size());
      close(fd);
    }
  }
  ~TempFile() { unlink(path_.c_str()); }
  const std::string &path() const { return path_; }

 private:
  std::string path_;
};

// glibc's conversion of input from charset to UTF-8, dropping what it cannot convert.
std::string Iconv(const std::string &from, const std::string &input, const std::string &to = "UTF-8") {
  if (!RequireTool("iconv")) return std::string();
  TempFile file(input);
  return RunCommand("iconv -c -f " + from + " -t " + to + " " + file.path() + " 2>/dev/null");
}

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find('\n', start)) != std::string::npos; start = at + 1) {
    lines.push_back(text.substr(start, at - start));
  }
  return lines;
}

std::string Hex(const std::string &bytes) {
  std::string out;
  char piece[4];
  for (unsigned char c : bytes) {
    snprintf(piece, sizeof piece, "%02x ", c);
    out += piece;
  }
  return out;
}

// StrToUTF8 into a buffer of exactly the documented size.
std::string ToUTF8(const std::string &text, byte table, int *result = nullptr) {
  std::unique_ptr<char[]> out(new char[4 * text.size() + 1]);
  int r = StrToUTF8(text.c_str(), out.get(), table);
  if (result) *result = r;
  return out.get();
}

std::string ToISO(const std::string &text) {
  std::unique_ptr<char[]> out(new char[text.size() + 1]);
  StrToISO(text.c_str(), out.get());
  return out.get();
}

std::string Cleaned(const std::string &text, int flags) {
  char out[NAME_SCRATCH];
  ValidFileName(text.c_str(), flags, out, sizeof out);
  return out;
}

// Every byte from first to last, each followed by a line feed, for one iconv run.
std::string ByteLines(int first, int last) {
  std::string input;
  for (int b = first; b <= last; b++) {
    input += (char)b;
    input += '\n';
  }
  return input;
}

struct IsoTable {
  byte number;
  const char *charset;
};

const IsoTable kIsoTables[] = {
    {1, "ISO-8859-1"},   {2, "ISO-8859-2"},   {3, "ISO-8859-3"},   {4, "ISO-8859-4"},
    {5, "ISO-8859-5"},   {6, "ISO-8859-6"},   {7, "ISO-8859-7"},   {8, "ISO-8859-8"},
    {9, "ISO-8859-9"},   {10, "ISO-8859-10"}, {11, "ISO-8859-11"}, {13, "ISO-8859-13"},
    {14, "ISO-8859-14"}, {15, "ISO-8859-15"}, {16, "ISO-8859-16"},
};

// Positions where the DVB default Latin table deliberately differs from glibc's ISO_6937:
// the euro sign, which broadcasts carry at 0xA4 where ISO/IEC 6937 has nothing.
const char *Latin6937Exception(int b) { return b == 0xA4 ? "\xE2\x82\xAC" : nullptr; }

}  // namespace

// --- Character tables ---------------------------------------------------------------

TEST(PvrTextTables, EveryIsoTableMatchesIconvForEveryHighByte) {
  for (const IsoTable &t : kIsoTables) {
    std::vector<std::string> oracle = Lines(Iconv(t.charset, ByteLines(0x80, 0xFF)));
    ASSERT_EQ(oracle.size(), 128u) << t.charset;
    for (int b = 0x80; b <= 0xFF; b++) {
      const std::string &want = oracle[b - 0x80];
      std::string text(1, (char)b);
      int result = 0;
      EXPECT_EQ(Hex(ToUTF8(text, t.number, &result)), Hex(want))
          << t.charset << " byte " << std::hex << b;
      EXPECT_EQ(result, 1) << t.charset << " byte " << std::hex << b;
      // The raw table agrees: unassigned exactly where iconv has nothing.
      word codePoint = CharTableCodePoint(t.number, (byte)b);
      char bytes[4];
      byte length = 0;
      UTF32ToUTF8(codePoint, bytes, &length);
      if (want.empty()) {
        EXPECT_EQ(codePoint, 0) << t.charset << " byte " << std::hex << b;
      } else {
        EXPECT_EQ(Hex(std::string(bytes, length)), Hex(want)) << t.charset << " byte " << std::hex << b;
      }
    }
  }
}

TEST(PvrTextTables, SelectorBytesPickIsoTablesFiveToFifteen) {
  // 0x01..0x0B select ISO/IEC 8859-5..15; the ascending run of high bytes holds no UTF-8.
  std::string highBytes;
  for (int b = 0xA0; b <= 0xFF; b++) highBytes += (char)b;
  for (int selector = 0x01; selector <= 0x0B; selector++) {
    int number = selector + 4;
    if (number == 12) continue;  // no such part: covered with the default table below
    std::string charset = "ISO-8859-" + std::to_string(number);
    std::string want = Iconv(charset, highBytes);
    EXPECT_EQ(Hex(ToUTF8(std::string(1, (char)selector) + highBytes, 1)), Hex(want)) << charset;
  }
  // The three-byte selector names the table in its third byte.
  EXPECT_EQ(Hex(ToUTF8(std::string("\x10\x01\x02", 3) + highBytes, 1)),
            Hex(Iconv("ISO-8859-2", highBytes)));
}

TEST(PvrTextTables, DefaultLatinTableMatchesIconvIso6937ExceptTheEuroSign) {
  std::vector<std::string> oracle = Lines(Iconv("ISO_6937", ByteLines(0xA0, 0xFF)));
  ASSERT_EQ(oracle.size(), 96u);
  // Every number that names no ISO/IEC 8859 part selects the same table.
  for (int table : {0, 12, 17, 31, 255}) {
    for (int b = 0xA0; b <= 0xFF; b++) {
      const char *exception = Latin6937Exception(b);
      std::string want = exception ? exception : oracle[b - 0xA0];
      EXPECT_EQ(Hex(ToUTF8(std::string(1, (char)b), (byte)table)), Hex(want))
          << "table " << table << " byte " << std::hex << b;
    }
  }
  // The euro sign is the only deliberate difference, and glibc indeed has nothing there.
  EXPECT_EQ(oracle[0xA4 - 0xA0], "");
  EXPECT_EQ(Hex(ToUTF8("\x08\xA4", 1)), Hex("\xE2\x82\xAC"));       // selector 0x08: table 12
  EXPECT_EQ(Hex(ToUTF8("\x10\x01\x11\xA4", 1)), Hex("\xE2\x82\xAC"));  // table 17
}

TEST(PvrTextTables, EveryDiacriticalPairMatchesIconvIso6937) {
  std::string input;
  for (int prefix = 0xC0; prefix <= 0xCF; prefix++) {
    for (int base = 0x20; base <= 0x7F; base++) {
      input += (char)prefix;
      input += (char)base;
      input += '\n';
    }
  }
  std::vector<std::string> oracle = Lines(Iconv("ISO_6937", input));
  ASSERT_EQ(oracle.size(), 16u * 96u);
  int composed = 0;
  std::set<std::string> letters;
  for (int prefix = 0xC0; prefix <= 0xCF; prefix++) {
    for (int base = 0x20; base <= 0x7F; base++) {
      const std::string &want = oracle[(prefix - 0xC0) * 96 + (base - 0x20)];
      std::string text = {(char)prefix, (char)base};
      std::string got = ToUTF8(text, 0);
      EXPECT_EQ(Hex(got), Hex(want)) << std::hex << prefix << " " << base;
      if (prefix >= 0xC1 && !got.empty()) {
        composed++;
        letters.insert(got);
      }
      // Table 00 reached through any number composes the same way.
      EXPECT_EQ(Hex(ToUTF8(text, 12)), Hex(want));
    }
  }
  EXPECT_EQ(composed, 165);
  // The Latin-1 letters that carry these marks are all among them.
  const char *latin1 = "ÀÁÂÃÄÅÇÈÉÊËÌÍÎÏÑÒÓÔÕÖÙÚÛÜÝàáâãäåçèéêëìíîïñòóôõöùúûüýÿ";
  int listed = 0;
  for (const char *p = latin1; *p; p += 2, listed++) {
    EXPECT_EQ(letters.count(std::string(p, 2)), 1u) << std::string(p, 2);
  }
  EXPECT_EQ(listed, 53);
}

TEST(PvrTextTables, DiacriticalPrefixesStandForTheirCombiningMarks) {
  // The mark of each prefix, found by decomposing (Python's unicodedata) the letters that
  // glibc composes with it.
  std::string input;
  for (int prefix = 0xC1; prefix <= 0xCF; prefix++) {
    for (int base = 'A'; base <= 'z'; base++) {
      if (!isalpha(base)) continue;
      input += (char)prefix;
      input += (char)base;
      input += '\n';
    }
  }
  TempFile letters(Iconv("ISO_6937", input));
  std::string script =
      "import sys, unicodedata\n"
      "for line in open(sys.argv[1], encoding='utf-8').read().split('\\n')[:-1]:\n"
      "    d = unicodedata.normalize('NFD', line)\n"
      "    print('%x' % ord(d[1]) if len(d) == 2 else '-')\n";
  TempFile program(script);
  ASSERT_TRUE(RequireTool("/usr/bin/python3"));
  std::vector<std::string> marks =
      Lines(RunCommand("/usr/bin/python3 " + program.path() + " " + letters.path()));
  ASSERT_EQ(marks.size(), 15u * 52u);
  for (int prefix = 0xC1; prefix <= 0xCF; prefix++) {
    std::set<std::string> found;
    for (int i = 0; i < 52; i++) {
      const std::string &mark = marks[(prefix - 0xC1) * 52 + i];
      if (mark != "-") found.insert(mark);
    }
    word codePoint = CharTableCodePoint(0, (byte)prefix);
    if (found.empty()) {
      EXPECT_EQ(codePoint, 0) << std::hex << prefix;  // 0xC9 and 0xCC are unassigned
    } else {
      char hex[8];
      snprintf(hex, sizeof hex, "%x", codePoint);
      EXPECT_EQ(found, std::set<std::string>{hex}) << std::hex << prefix;
    }
  }
  EXPECT_EQ(CharTableCodePoint(0, 0xC0), 0);
}

// --- StrToUTF8 ----------------------------------------------------------------------

TEST(PvrTextToUTF8, SelectorPicksTheTableAndDefaultIsLatin1) {
  int result = 0;
  EXPECT_EQ(ToUTF8("\x05" "Caf\xE9", 1, &result), "Caf\xC3\xA9");  // ISO/IEC 8859-9
  EXPECT_NE(result, 0);
  EXPECT_EQ(ToUTF8("Caf\xE9", gDefaultCharacterSet), "Caf\xC3\xA9");
  EXPECT_EQ(gDefaultCharacterSet, 1);
  // 8859-15's euro sign and a Thai letter (three UTF-8 bytes).
  EXPECT_EQ(Hex(ToUTF8("\x0B\xA4", 1)), Hex("\xE2\x82\xAC"));
  EXPECT_EQ(Hex(ToUTF8("\x07\xA1", 1)), Hex("\xE0\xB8\x81"));
  // 0x1F skips two bytes; other control bytes one; both keep the default table.
  EXPECT_EQ(ToUTF8("\x1F\x01" "A\xE9", 2), "A\xC3\xA9");
  EXPECT_EQ(ToUTF8("\x0E" "A\xE9", 2), "A\xC3\xA9");
  EXPECT_EQ(ToUTF8("\x1E" "A\xE9", 1), "A\xC3\xA9");
}

TEST(PvrTextToUTF8, Utf8PassesThroughUnchanged) {
  int result = -1;
  EXPECT_EQ(ToUTF8("Caf\xC3\xA9", 1, &result), "Caf\xC3\xA9");
  EXPECT_EQ(result, 0);
  std::string mixed = "\xE2\x82\xAC 5 \xF0\x9F\x98\x80 \xE0\xB8\x81";
  EXPECT_EQ(ToUTF8(mixed, 1, &result), mixed);
  EXPECT_EQ(result, 0);
  // 0x15 marks UTF-8: the mark goes, everything else stays, even bytes that are no UTF-8.
  EXPECT_EQ(ToUTF8("\x15" "Caf\xC3\xA9 \xE9", 1, &result), "Caf\xC3\xA9 \xE9");
  EXPECT_EQ(result, 0);
  // Plain ASCII is copied, not converted.
  EXPECT_EQ(ToUTF8("\x05" "abc", 1, &result), "abc");
  EXPECT_EQ(result, 0);
}

TEST(PvrTextToUTF8, EmptyAndNullTexts) {
  char out[8] = "xxxxxxx";
  EXPECT_EQ(StrToUTF8("", out, 1), 1);
  EXPECT_STREQ(out, "");
  strcpy(out, "xxxxxxx");
  EXPECT_EQ(StrToUTF8(nullptr, out, 1), 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(StrToUTF8("abc", nullptr, 1), 0);
  // A text that is nothing but a selector converts to nothing.
  for (const char *selector : {"\x10", "\x10\x01", "\x10\x01\x02", "\x1F", "\x1F\x05", "\x05", "\x15"}) {
    EXPECT_EQ(ToUTF8(selector, 1), "") << Hex(selector);
  }
}

TEST(PvrTextToUTF8, UnassignedBytesAreDroppedWithoutEndingTheText) {
  int result = 0;
  // 8859-6 (selector 0x02) leaves 0xA1 unassigned; 8859-3 0xA5; table 00 0xD8.
  EXPECT_EQ(ToUTF8("\x02" "a\xA1" "b\xC7", 1, &result), "ab\xD8\xA7");
  EXPECT_NE(result, 0);
  EXPECT_EQ(ToUTF8("x\xA5y", 3), "xy");
  EXPECT_EQ(ToUTF8("x\xD8y\xE5z", 0), "xyz");
  // A text of nothing but unassigned bytes is empty, yet reported as converted.
  EXPECT_EQ(ToUTF8("\xFF\xFC", 11, &result), "");
  EXPECT_NE(result, 0);
}

TEST(PvrTextToUTF8, C1ControlBytesBecomeTheirCodePoints) {
  // As glibc's ISO-8859-1 does; iconv is the oracle for the whole 0x80..0x9F range.
  std::string c1;
  for (int b = 0x80; b <= 0x9F; b++) c1 += (char)b;
  EXPECT_EQ(Hex(ToUTF8(c1, 1)), Hex(Iconv("ISO-8859-1", c1)));
  EXPECT_EQ(Hex(ToUTF8(c1, 0)), Hex(Iconv("ISO-8859-1", c1)));
}

TEST(PvrTextToUTF8, DiacriticalPrefixesInRunningText) {
  // "Kčs Ärger Česká"
  EXPECT_EQ(ToUTF8("K\xCF" "cs \xC8" "Arger \xCF" "Cesk\xC2" "a", 0), "Kčs Ärger Česká");
  // A prefix that cannot compose is dropped alone when the next byte is no ASCII
  // character, so that the end of the text and the next character survive.
  EXPECT_EQ(ToUTF8("Caf\xC2", 0), "Caf");
  EXPECT_EQ(ToUTF8("\xC2\xC3\xA9!", 0), "\xC3\xA9!");
  EXPECT_EQ(ToUTF8("a\xC2\nb", 0), "a\nb");
  EXPECT_EQ(ToUTF8("a\xC1\xE9", 0), "a\xC3\x98");  // 0xE9 is Ø in table 00
  // A pair outside the repertoire goes as a whole; 0xC0 is no prefix at all.
  EXPECT_EQ(ToUTF8("x\xC1Qy", 0), "xy");
  EXPECT_EQ(ToUTF8("x\xC0Qy", 0), "xQy");
  // Outside table 00 the same bytes are plain letters.
  EXPECT_EQ(ToUTF8("\xC1" "A", 1), "\xC3\x81" "A");
}

TEST(PvrTextToUTF8, OutputStaysWithinFourBytesPerInputByte) {
  // Exact-size heap buffers with a guard behind them; bytes that expand the most.
  struct Case {
    std::string text;
    byte table;
  };
  std::string thai(300, '\xA1');      // 3 UTF-8 bytes each
  std::string pairs;                  // composed pairs in table 00
  for (int i = 0; i < 100; i++) pairs += "\xC2" "a";
  std::vector<Case> cases = {
      {thai, 11},           {std::string(50, '\xA4'), 0},     {std::string(64, '\x9F'), 1},
      {"\x10", 1},          {"\x10\x01", 1},                  {"\x10\x01\x0B\xA1", 1},
      {"\x1F", 1},          {"\x1F\x01\xA4", 0},              {"\x15", 1},
      {"\xC2", 0},          {pairs, 0},                       {"\x07" + thai, 1},
  };
  for (const Case &c : cases) {
    size_t size = 4 * c.text.size() + 1;
    std::vector<char> out(size + 32, '\x5A');
    StrToUTF8(c.text.c_str(), out.data(), c.table);
    size_t length = strlen(out.data());
    EXPECT_LT(length, size) << Hex(c.text.substr(0, 8));
    for (size_t i = size; i < out.size(); i++) ASSERT_EQ(out[i], '\x5A') << Hex(c.text.substr(0, 8));
  }
  EXPECT_EQ(ToUTF8(thai, 11).size(), 900u);
}

// --- UTF-8 recognition and coding ---------------------------------------------------

TEST(PvrTextUtf8, EveryCodePointRoundTripsAsPythonEncodesIt) {
  // Python writes every scalar value from U+0001 to U+10FFFF in UTF-8, in order.
  ASSERT_TRUE(RequireTool("/usr/bin/python3"));
  std::string all = RunCommand(
      "/usr/bin/python3 -c \"import sys; sys.stdout.buffer.write(''.join(chr(c) for c in "
      "range(1, 0x110000) if not 0xD800 <= c <= 0xDFFF).encode('utf-8'))\"");
  ASSERT_GT(all.size(), 4000000u);
  const char *p = all.c_str();
  const char *end = p + all.size();
  dword expect = 1;
  int failures = 0;
  while (p < end && failures < 20) {
    byte length = 0, inLength = 0;
    char encoded[4];
    dword codePoint = UTF8ToUTF32(p, &length);
    int multi = isUTF8Char(p, &inLength);
    UTF32ToUTF8(expect, encoded, &inLength);
    bool ok = codePoint == expect && multi == (expect >= 0x80) && length == inLength &&
              memcmp(encoded, p, length) == 0;
    if (!ok) {
      failures++;
      ADD_FAILURE() << "code point " << std::hex << expect << " decoded as " << codePoint;
    }
    p += length ? length : 1;
    expect = expect == 0xD7FF ? 0xE000 : expect + 1;
  }
  EXPECT_EQ(expect, 0x110000u);
  EXPECT_EQ(p, end);
}

TEST(PvrTextUtf8, EncoderRefusesWhatIsNoScalarValue) {
  char out[4] = {1, 2, 3, 4};
  byte length = 9;
  for (dword codePoint : {0xD800u, 0xDBFFu, 0xDC00u, 0xDFFFu, 0x110000u, 0xFFFFFFFFu}) {
    UTF32ToUTF8(codePoint, out, &length);
    EXPECT_EQ(length, 0) << std::hex << codePoint;
  }
  EXPECT_EQ(out[0], 1);
  UTF32ToUTF8(0, out, &length);
  EXPECT_EQ(length, 1);
  EXPECT_EQ(out[0], 0);
}

TEST(PvrTextUtf8, RecognitionAgreesWithPythonsStrictDecoder) {
  // Every lead byte 0x80..0xFF with every second byte and assorted third and fourth bytes;
  // Python tells how long a well-formed character at the start is (1 when none).
  std::string script =
      "import sys\n"
      "out = []\n"
      "for lead in range(0x80, 0x100):\n"
      "  for second in range(1, 0x100):\n"
      "    for third in (0x80, 0xBF, 0x41, 0xC0):\n"
      "      for fourth in (0x80, 0x41):\n"
      "        data = bytes([lead, second, third, fourth])\n"
      "        n = 1\n"
      "        for k in (4, 3, 2):\n"
      "          try:\n"
      "            if len(data[:k].decode('utf-8')) == 1: n = k; break\n"
      "          except UnicodeDecodeError: pass\n"
      "        out.append(str(n))\n"
      "sys.stdout.write(''.join(out))\n";
  TempFile program(script);
  ASSERT_TRUE(RequireTool("/usr/bin/python3"));
  std::string oracle = RunCommand("/usr/bin/python3 " + program.path());
  ASSERT_EQ(oracle.size(), 128u * 255u * 8u);
  size_t i = 0;
  int failures = 0;
  for (int lead = 0x80; lead <= 0xFF; lead++) {
    for (int second = 1; second <= 0xFF; second++) {
      for (int third : {0x80, 0xBF, 0x41, 0xC0}) {
        for (int fourth : {0x80, 0x41}) {
          char data[5] = {(char)lead, (char)second, (char)third, (char)fourth, 0};
          byte length = 0;
          int multi = isUTF8Char(data, &length);
          int want = oracle[i++] - '0';
          if (length != want || multi != (want > 1)) {
            if (++failures < 20) ADD_FAILURE() << Hex(std::string(data, 4)) << " gives " << (int)length;
          }
          byte decodedLength = 0;
          dword codePoint = UTF8ToUTF32(data, &decodedLength);
          EXPECT_EQ(decodedLength, length);
          if (want == 1) {
            EXPECT_EQ(codePoint, (dword)lead);  // a broken sequence: the lead byte
          }
        }
      }
    }
  }
  EXPECT_EQ(failures, 0);
  byte length = 7;
  EXPECT_EQ(isUTF8Char("", &length), 0);
  EXPECT_EQ(length, 1);
  EXPECT_EQ(isUTF8Char("A", &length), 0);
  EXPECT_EQ(length, 1);
  EXPECT_EQ(isUTF8Char(nullptr, &length), 0);
  EXPECT_EQ(UTF8ToUTF32(nullptr, &length), 0u);
}

TEST(PvrTextUtf8, EncodingOfATextIsJudgedAfterItsSelector) {
  bool single = true, utf8 = true;
  GetStringEncoding("plain", &single, &utf8);
  EXPECT_FALSE(single);
  EXPECT_FALSE(utf8);
  GetStringEncoding("Caf\xC3\xA9", &single, &utf8);
  EXPECT_FALSE(single);
  EXPECT_TRUE(utf8);
  GetStringEncoding("Caf\xE9 \xC3\xA9", &single, &utf8);
  EXPECT_TRUE(single);
  EXPECT_TRUE(utf8);
  GetStringEncoding("a\x85 \x9F", &single, &utf8);  // C1 bytes do not count as high
  EXPECT_FALSE(single);
  EXPECT_FALSE(utf8);
  // The third byte of a 0x10 selector is not text.
  GetStringEncoding("\x10\x01\xE9" "abc", &single, &utf8);
  EXPECT_FALSE(single);
  GetStringEncoding(nullptr, &single, &utf8);
  EXPECT_FALSE(single);
  EXPECT_FALSE(utf8);
  GetStringEncoding("\xE9", nullptr, nullptr);
}

TEST(PvrTextUtf8, SkipCharTableBytes) {
  const char text[] = "\x10\x01\x02" "abc";
  EXPECT_EQ(SkipCharTableBytes(text), text + 3);
  for (int first = 0x01; first <= 0x1F; first++) {
    char t[] = {(char)first, 'x', 'y', 'z', 0};
    size_t skip = first == 0x10 ? 3 : first == 0x1F ? 2 : 1;
    EXPECT_EQ(SkipCharTableBytes(t), t + skip) << first;
  }
  for (int first = 0x20; first <= 0xFF; first++) {
    char t[] = {(char)first, 'x', 0};
    EXPECT_EQ(SkipCharTableBytes(t), t) << first;
  }
  // Never past the end of a short text.
  const char *shortTexts[] = {"", "\x10", "\x10\x01", "\x1F"};
  for (const char *t : shortTexts) {
    const char *after = SkipCharTableBytes(t);
    EXPECT_EQ(after, t + strlen(t)) << Hex(t);
  }
  EXPECT_EQ(SkipCharTableBytes(nullptr), nullptr);
}

// --- StrToISO -----------------------------------------------------------------------

TEST(PvrTextToISO, Utf8BecomesLatin1AsIconvDoes) {
  EXPECT_EQ(Hex(ToISO("Caf\xC3\xA9")), Hex("Caf\xE9"));
  // Every Latin-1 character from U+0020 to U+00FF: iconv's UTF-8 back to the same bytes.
  std::string latin1;
  for (int b = 0x20; b <= 0xFF; b++) latin1 += (char)b;
  std::string utf8 = Iconv("ISO-8859-1", latin1);
  ASSERT_EQ(utf8.size(), 0x60u + 2 * 0x80u);
  EXPECT_EQ(Hex(ToISO(utf8)), Hex(latin1));
  // A mixed text: what iconv can write in Latin-1 survives, the rest goes.
  std::string mixed = "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC 10 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80 na\xC3\xAFve";
  EXPECT_EQ(Hex(ToISO(mixed)), Hex(Iconv("UTF-8", mixed, "ISO-8859-1")));
}

TEST(PvrTextToISO, SingleByteTextsAreCopied) {
  EXPECT_EQ(ToISO(""), "");
  EXPECT_EQ(ToISO("plain text"), "plain text");
  EXPECT_EQ(Hex(ToISO("Caf\xE9")), Hex("Caf\xE9"));
  // One lone high byte makes the whole text single-byte, UTF-8 look-alikes included.
  EXPECT_EQ(Hex(ToISO("\xE9t\xC3\xA9")), Hex("\xE9t\xC3\xA9"));
  // The UTF-8 mark goes with the conversion.
  EXPECT_EQ(Hex(ToISO("\x15" "Caf\xC3\xA9")), Hex("Caf\xE9"));
  char out[4] = "xyz";
  StrToISO(nullptr, out);
  EXPECT_STREQ(out, "");
  StrToISO("abc", nullptr);
}

class PvrTextLog : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    WriteFile("/mnt/hd/ProgramFiles/Settings/Rivlib.log", "");
  }
  std::string Log() const { return ReadFile("/mnt/hd/ProgramFiles/Settings/Rivlib.log"); }
};

TEST_F(PvrTextLog, DroppedCharactersAreLogged) {
  EXPECT_EQ(Hex(ToISO("5 \xE2\x82\xAC")), Hex("5 "));
  EXPECT_NE(Log().find("StrToISO: character 0x20ac ignored\r\n"), std::string::npos) << Log();
  EXPECT_EQ(ToUTF8("x\xC1Qy", 0), "xy");
  EXPECT_NE(Log().find("StrToUTF8: ISO6937 diacritical char c1 51 has been ignored\r\n"),
            std::string::npos)
      << Log();
  EXPECT_EQ(ToUTF8("Caf\xC2", 0), "Caf");
  EXPECT_NE(Log().find("StrToUTF8: ISO6937 diacritical char c2 00 has been ignored\r\n"),
            std::string::npos)
      << Log();
}

TEST_F(PvrTextLog, StrMkUTF8ConvertsInPlaceWhenItFits) {
  char text[32] = "\x05" "Caf\xE9";
  EXPECT_EQ(StrMkUTF8(text, sizeof text, 1), 1);
  EXPECT_STREQ(text, "Caf\xC3\xA9");
  // Five bytes of text in a buffer of six: the two-byte é no longer fits.
  char tight[6] = "Caf\xE9\xE9";
  EXPECT_EQ(StrMkUTF8(tight, sizeof tight, 1), 0);
  EXPECT_EQ(Hex(tight), Hex("Caf\xE9\xE9"));
  char exact[8] = "Caf\xE9";
  EXPECT_EQ(StrMkUTF8(exact, 6, 1), 1);
  EXPECT_STREQ(exact, "Caf\xC3\xA9");
  EXPECT_EQ(StrMkUTF8(nullptr, 10, 1), 0);
  EXPECT_EQ(StrMkUTF8(text, 0, 1), 0);
  char empty[4] = "";
  EXPECT_EQ(StrMkUTF8(empty, sizeof empty, 1), 1);
  EXPECT_STREQ(empty, "");
}

// Without its scratch buffer the text stays as it was and nothing is kept.
TEST_F(PvrTextLog, StrMkUTF8WithoutMemoryLeavesTheText) {
  char text[32] = "Caf\xE9";
  size_t before = emu::TapHeapUse(emu::CurrentSlot()).inUse;
  emu::FailAllocation(1);
  EXPECT_EQ(StrMkUTF8(text, sizeof text, 1), 0);
  EXPECT_EQ(Hex(text), Hex("Caf\xE9"));
  EXPECT_EQ(emu::TapHeapUse(emu::CurrentSlot()).inUse, before);
  EXPECT_EQ(StrMkUTF8(text, sizeof text, 1), 1);
  EXPECT_STREQ(text, "Caf\xC3\xA9");
  EXPECT_EQ(emu::TapHeapUse(emu::CurrentSlot()).inUse, before);
}

// --- Name cleaning ------------------------------------------------------------------

TEST(PvrTextClean, ControlCharactersGoWithFlagOne) {
  EXPECT_EQ(Cleaned("News\tat\x01 Ten", 1), "Newsat Ten");
  EXPECT_EQ(Cleaned("two\nlines", 1), "two\nlines");
  char name[] = "Film\t2024";
  MakeValidFileName(name, 1);
  EXPECT_STREQ(name, "Film2024");
  // The single bytes 0x7F, 0x81-0x89, 0x8B-0x90, 0x93-0x9F go; 0x80, 0x8A, 0x91, 0x92 and
  // 0xA0 and above stay.
  for (int b = 0x7F; b <= 0xFF; b++) {
    bool rejected = b == 0x7F || (b >= 0x81 && b <= 0x89) || (b >= 0x8B && b <= 0x90) ||
                    (b >= 0x93 && b <= 0x9F);
    char text[] = {'a', (char)b, 'z', 0};
    EXPECT_EQ(isLegalChar(text + 1, 1), !rejected) << std::hex << b;
    EXPECT_EQ(Cleaned(text, 1), rejected ? std::string("az") : std::string(text)) << std::hex << b;
  }
  // Inside a UTF-8 sequence those bytes are continuation bytes and stay: U+00C5 U+0093.
  EXPECT_EQ(Cleaned("\xC3\x85\xC2\x93", 1), "\xC3\x85\xC2\x93");
}

TEST(PvrTextClean, OtherFlags) {
  EXPECT_EQ(Cleaned("a\nb\x8A" "c", 2), "abc");
  EXPECT_EQ(Cleaned("a\nb\x8A" "c", 1), "a\nb\x8A" "c");  // 0x8A is no control for flag 1
  EXPECT_EQ(Cleaned("what? \"a/b\\c\" <x>|y*:z", 4), "what abc xyz");
  EXPECT_EQ(Cleaned("Caf\xC3\xA9 \xE9~\x7F\t", 8), "Caf ~");
  EXPECT_EQ(Cleaned("a\tb?c\xC3\xA9", 1 | 4 | 8), "abc");
  EXPECT_EQ(Cleaned("a\tb?c", 0), "a\tb?c");
  EXPECT_FALSE(isLegalChar(nullptr, 1));
  EXPECT_FALSE(isLegalChar("", 0));
}

TEST(PvrTextClean, NamesKeepAtMost126Bytes) {
  std::string longName;
  for (int i = 0; i < 200; i++) longName += (char)('a' + i % 26);
  char name[256];
  strcpy(name, longName.c_str());
  MakeValidFileName(name, 1);
  EXPECT_EQ(std::string(name), longName.substr(0, 126));
  // A two-byte character that would step over the mark is not cut in half, and the copy
  // stops there.
  std::string straddle = std::string(125, 'x') + "\xC3\xA9" + "yyyy";
  EXPECT_EQ(Cleaned(straddle, 1), std::string(125, 'x'));
  std::string fits = std::string(124, 'x') + "\xC3\xA9" + "yyyy";
  EXPECT_EQ(Cleaned(fits, 1), std::string(124, 'x') + "\xC3\xA9");
  // Rejected characters do not count.
  std::string tabs = std::string(100, '\t') + std::string(130, 'z');
  EXPECT_EQ(Cleaned(tabs, 1), std::string(126, 'z'));
  // Longer than the working buffer: still cleaned, still 126 bytes.
  std::string huge(1000, 'h');
  std::vector<char> buffer(huge.begin(), huge.end());
  buffer.push_back('\0');
  MakeValidFileName(buffer.data(), 1);
  EXPECT_EQ(std::string(buffer.data()), std::string(126, 'h'));
}

TEST(PvrTextClean, SmallOutputBuffersAreRespected) {
  char out[8];
  memset(out, 'Q', sizeof out);
  ValidFileName("abcdefghijk", 1, out, 5);
  EXPECT_STREQ(out, "abcd");
  EXPECT_EQ(out[5], 'Q');
  ValidFileName("ab\xC3\xA9", 1, out, 4);  // the é would need bytes 3 and 4
  EXPECT_STREQ(out, "ab");
  ValidFileName("abc", 1, out, 1);
  EXPECT_STREQ(out, "");
  out[0] = 'Q';
  ValidFileName("abc", 1, out, 0);
  EXPECT_EQ(out[0], 'Q');
  ValidFileName(nullptr, 1, out, sizeof out);
  EXPECT_STREQ(out, "");
  MakeValidFileName(nullptr, 1);
  char empty[1] = "";
  MakeValidFileName(empty, 1);
  EXPECT_STREQ(empty, "");
}
