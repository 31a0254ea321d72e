// Hexadecimal text form, checked against Python's bytes.hex() and bytes.fromhex().
#include "common/hex_text.h"

#include <ctype.h>
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "tests/unit/python_oracle.h"

TEST(HexTextEncode, LetterAndUtf8Bytes) {
  EXPECT_STREQ(TextToHex("A\xC3\xA9"), "41c3a9");
  EXPECT_STREQ(TextToHex(""), "");
  EXPECT_STREQ(TextToHex(nullptr), "");
  char buffer[16];
  EXPECT_EQ(webC_TextToHex("A\xC3\xA9", buffer), 6);
  EXPECT_STREQ(buffer, "41c3a9");
}

TEST(HexTextDecode, EitherCaseAndOddLastDigitIgnored) {
  EXPECT_EQ(std::string(HexToText("41C3A9")), "A\xC3\xA9");
  EXPECT_EQ(std::string(HexToText("41c3a9")), "A\xC3\xA9");
  EXPECT_EQ(std::string(HexToText("4142434")), "ABC");
  EXPECT_EQ(std::string(HexToText("4")), "");
  EXPECT_EQ(std::string(HexToText(nullptr)), "");
  char buffer[8];
  EXPECT_EQ(webC_HexToText("616263f", buffer), 3);
  EXPECT_STREQ(buffer, "abc");
}

TEST(HexTextDecode, NonHexCharactersCountAsZero) {
  EXPECT_EQ(std::string(HexToText("4g")), "@");
  EXPECT_EQ(std::string(HexToText("g1")), "\x01");
  char buffer[8];
  EXPECT_EQ(webC_HexToText("zz41", buffer), 2);   // a zero byte, then 'A'
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], 'A');
}

TEST(HexTextBounds, StaticResultsStopAt511Bytes) {
  std::string text(700, 'x');
  for (size_t i = 0; i < text.size(); i++) text[i] = (char)('a' + i % 26);
  std::string hex = TextToHex(text.c_str());
  EXPECT_EQ(hex.size(), 1022u);
  EXPECT_EQ(std::string(HexToText(hex.c_str())), text.substr(0, 511));

  std::string longHex(3000, '4');   // 1500 bytes of '4' pairs = 'D'
  std::string decoded = HexToText(longHex.c_str());
  EXPECT_EQ(decoded, std::string(511, 'D'));
}

TEST(HexTextBounds, CallerBufferFormsCoverTheWholeText) {
  std::string text(2000, 'q');
  std::string buffer(4001 + 8, '#');
  EXPECT_EQ(webC_TextToHex(text.c_str(), &buffer[0]), 4000);
  EXPECT_EQ(buffer[4000], '\0');
  EXPECT_EQ(buffer[4001], '#');
  std::string back(2001 + 8, '#');
  EXPECT_EQ(webC_HexToText(buffer.c_str(), &back[0]), 2000);
  EXPECT_EQ(back.substr(0, 2000), text);
  EXPECT_EQ(back[2001], '#');
}

TEST(HexTextBounds, BoundedDecodeStopsAtSizeAndWorksInPlace) {
  char buffer[8];
  memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(webC_HexToTextN("41424344454647", buffer, 5), 4);
  EXPECT_STREQ(buffer, "ABCD");
  EXPECT_EQ(buffer[5], '#');
  EXPECT_EQ(webC_HexToTextN("4142", buffer, 0), 0);
  EXPECT_EQ(buffer[0], 'A');   // size 0: nothing written
  EXPECT_EQ(webC_HexToTextN("4142", buffer, 1), 0);
  EXPECT_STREQ(buffer, "");
  char inPlace[] = "48656c6c6f";
  EXPECT_EQ(webC_HexToTextN(inPlace, inPlace, sizeof inPlace), 5);
  EXPECT_STREQ(inPlace, "Hello");
}

// Random byte texts (no NUL) in both directions against Python; the decoder gets Python's
// digits in mixed case.
TEST(HexTextOracle, AgreesWithPythonBothWays) {
  TestRandom random(3);
  std::string data;
  for (int n = 0; n < 300; n++) {
    std::string text;
    int length = (int)random.Below(200);
    for (int i = 0; i < length; i++) text += (char)(1 + random.Below(255));
    char buffer[512];
    webC_TextToHex(text.c_str(), buffer);
    data += ToHex(text) + " " + TextToHex(text.c_str()) + " " + buffer + "\n";
  }
  std::string script = R"PY(
import sys, random
random.seed(5)
bad = 0
for line in sys.stdin:
    raw, a, b = line.rstrip("\n").split(" ")
    text = bytes.fromhex(raw)
    if a != text.hex() or b != text.hex():
        bad += 1
    mixed = "".join(c.upper() if random.random() < 0.5 else c for c in text.hex())
    print("D", mixed)
print("bad", bad)
)PY";
  std::vector<std::string> lines = SplitLines(RunPython(script, data));
  ASSERT_EQ(lines.size(), 301u);
  EXPECT_EQ(lines.back(), "bad 0");
  std::vector<std::string> inputs = SplitLines(data);
  for (size_t i = 0; i + 1 < lines.size(); i++) {
    std::string mixed = lines[i].substr(2);
    std::string expected = FromHex(inputs[i].substr(0, inputs[i].find(' ')));
    EXPECT_EQ(std::string(HexToText(mixed.c_str())), expected) << mixed;
    std::string out(mixed.size() / 2 + 1, '#');
    EXPECT_EQ(webC_HexToText(mixed.c_str(), &out[0]), (int)expected.size());
    EXPECT_EQ(out.substr(0, expected.size()), expected);
  }
}

TEST(HexDigitValue, AcceptsExactlyTheSixteenDigitsOfEitherCase) {
  for (int c = 0; c < 256; c++) {
    const char *digits = "0123456789abcdef";
    const char *found = c ? strchr(digits, tolower(c)) : nullptr;
    int expected = found ? (int)(found - digits) : -1;
    EXPECT_EQ(HexDigitValue(c), expected) << c;
  }
}
