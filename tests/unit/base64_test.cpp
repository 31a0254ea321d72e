// Base64 against Python's base64 module: random byte strings in both directions, the
// documented decoding rules, and the bounds of the appending forms.
#include "common/base64.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "tests/unit/python_oracle.h"

namespace {

std::string Encode(const std::string &text, int size = 4096) {
  std::string out(size + 8, '#');
  out[0] = '\0';
  EXPECT_EQ(Base64Encode(text.c_str(), &out[0], size), 0);
  for (int i = size; i < size + 8; i++) EXPECT_EQ(out[i], '#') << "written beyond size";
  return std::string(out.c_str());
}

std::string Decode(const std::string &text, int size = 4096) {
  std::string out(size + 8, '#');
  out[0] = '\0';
  EXPECT_EQ(Base64Decode(text.c_str(), &out[0], size), 0);
  for (int i = size; i < size + 8; i++) EXPECT_EQ(out[i], '#') << "written beyond size";
  return std::string(out.c_str());
}

std::string Block(const std::string &bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1 + 8, '#');
  int written = b64encode(bytes.data(), &out[0], (int)bytes.size());
  EXPECT_EQ(out[written], '\0');
  EXPECT_EQ(out[written + 1], '#');
  return out.substr(0, written);
}

}  // namespace

TEST(Base64Known, CredentialsAndPadding) {
  EXPECT_EQ(Encode("user:pass"), "dXNlcjpwYXNz");
  EXPECT_EQ(Encode("A"), "QQ==");
  EXPECT_EQ(Encode("AB"), "QUI=");
  EXPECT_EQ(Encode(""), "");
  EXPECT_EQ(Decode("dXNlcjpwYXNz"), "user:pass");
  EXPECT_EQ(Decode("QQ=="), "A");
  EXPECT_EQ(Decode("QUI="), "AB");
  EXPECT_EQ(Block(std::string("\0\0\0\xff", 4)), "AAAA/w==");
  EXPECT_EQ(Block(""), "");
}

TEST(Base64Decoding, SkipsForeignCharactersAndStopsAtTheFirstEquals) {
  EXPECT_EQ(Decode("dXNl\r\ncjpw*YXN z"), "user:pass");
  EXPECT_EQ(Decode("QQ==QUJD"), "A");
  EXPECT_EQ(Decode("QUJD=QUJD"), "ABC");
  EXPECT_EQ(Decode("=QUJD"), "");
}

TEST(Base64Decoding, ShortLastGroupNeedsPadding) {
  EXPECT_EQ(Decode("QUJDRA"), "ABC");
  EXPECT_EQ(Decode("QUJDRA=="), "ABCD");
  EXPECT_EQ(Decode("QUJDREU"), "ABC");
  EXPECT_EQ(Decode("QUJDREU="), "ABCDE");
  EXPECT_EQ(Decode("QUJDR==="), "ABC");   // one character makes no byte
}

TEST(Base64Decoding, DecodedNulEndsTheText) {
  EXPECT_EQ(Decode("QQBC"), "A");          // 'A', NUL, 'B'
  EXPECT_EQ(Decode("AEFC"), "");
}

TEST(Base64Bounds, EncodeAppendsWholeGroupsWithinSize) {
  char out[16];
  strcpy(out, "Basic ");
  Base64Encode("user:pass", out, sizeof out);   // 12 characters would need 19 bytes
  EXPECT_STREQ(out, "Basic dXNlcjpw");
  EXPECT_EQ(Encode("abcdefghi", 9), "YWJjZGVm");
  EXPECT_EQ(Encode("abcdefghi", 8), "YWJj");
  EXPECT_EQ(Encode("abc", 4), "");
  char full[4] = {'a', 'b', 'c', 0};
  Base64Encode("x", full, sizeof full);
  EXPECT_STREQ(full, "abc");
  char unterminated[4] = {'a', 'b', 'c', 'd'};
  Base64Encode("x", unterminated, sizeof unterminated);   // no NUL within size: untouched
  EXPECT_EQ(std::string(unterminated, 4), "abcd");
  EXPECT_EQ(Base64Encode("x", unterminated, 0), 0);
}

TEST(Base64Bounds, DecodeAppendsWithinSize) {
  char out[8];
  strcpy(out, "u=");
  Base64Decode("dXNlcjpwYXNz", out, sizeof out);
  EXPECT_STREQ(out, "u=user:");
  EXPECT_EQ(Decode("dXNlcjpwYXNz", 5), "user");
  EXPECT_EQ(Decode("dXNlcjpwYXNz", 1), "");
  std::string huge;
  for (int i = 0; i < 20000; i++) huge += "QUJD";
  std::string want;
  while (want.size() < 511) want += "ABC";
  EXPECT_EQ(Decode(huge, 512), want.substr(0, 511));
}

// Random byte strings: our encodings equal Python's, Python's encodings decode back to the
// bytes (up to the first NUL), also with foreign characters mixed in.
TEST(Base64Oracle, AgreesWithPythonBase64) {
  TestRandom random(21);
  std::vector<std::string> inputs;
  std::string data;
  for (int n = 0; n < 500; n++) {
    std::string bytes;
    int length = (int)random.Below(120);
    for (int i = 0; i < length; i++) bytes += (char)random.Below(256);
    if (n % 2) {
      for (char &c : bytes) {
        if (c == 0) c = 'z';
      }
    }
    inputs.push_back(bytes);
    std::string text = bytes.substr(0, strlen(bytes.c_str()));
    data += ToHex(bytes) + " " + Block(bytes) + " " + ToHex(text) + " " + Encode(text) + "\n";
  }
  std::string script = R"PY(
import sys, base64, random
random.seed(2)
bad = 0
for line in sys.stdin:
    raw, block, text, encoded = line.rstrip("\n").split(" ")
    raw = bytes.fromhex(raw); text = bytes.fromhex(text)
    if block != base64.b64encode(raw).decode() or encoded != base64.b64encode(text).decode():
        bad += 1
    e = base64.b64encode(raw).decode()
    noisy = "".join(c + (random.choice([" ", "*", "-", "_", ".", "\t", "%", "\r"]) if random.random() < 0.1 else "") for c in e)
    assert base64.b64decode(noisy) == raw
    print("D", noisy)
print("bad", bad)
)PY";
  std::vector<std::string> lines = SplitLines(RunPython(script, data));
  ASSERT_EQ(lines.size(), inputs.size() + 1);
  EXPECT_EQ(lines.back(), "bad 0");
  for (size_t i = 0; i < inputs.size(); i++) {
    std::string noisy = lines[i].substr(2);
    EXPECT_EQ(Decode(noisy), std::string(inputs[i].c_str())) << noisy;
  }
}

namespace {

// b64decode into a buffer of exactly size bytes with guards behind it; "-" on refusal.
std::string DecodeBlock(const std::string &text, int size) {
  std::string out(size + 8, '#');
  int n = b64decode(text.c_str(), &out[0], size);
  for (int i = size; i < size + 8; i++) EXPECT_EQ(out[i], '#') << "written beyond size";
  return n < 0 ? "-" : out.substr(0, n);
}

}  // namespace

TEST(Base64Block, TrueLengthWithNulBytes) {
  EXPECT_EQ(DecodeBlock("AEFC", 16), std::string("\0AB", 3));
  EXPECT_EQ(DecodeBlock("AAAA/w==", 16), std::string("\0\0\0\xff", 4));
  EXPECT_EQ(DecodeBlock("AAAAAA==", 16).size(), 4u);   // eight characters ending "==": 4 bytes
  EXPECT_EQ(DecodeBlock("", 0), "");
  EXPECT_EQ(DecodeBlock("QUJDRA", 16), "ABCD");            // unpadded last group
  EXPECT_EQ(DecodeBlock("QUJDREU", 16), "ABCDE");
  EXPECT_EQ(DecodeBlock("QUJDR", 16), "-");                // a lone character
  EXPECT_EQ(DecodeBlock("QUJDR===", 16), "-");
  EXPECT_EQ(DecodeBlock("QUJD=QUJD", 16), "ABC");          // stops at the first "="
  EXPECT_EQ(b64decode(nullptr, nullptr, 0), -1);
  EXPECT_EQ(b64decode("QUJD", nullptr, 0), -1);
}

TEST(Base64Block, RefusesWhatDoesNotFit) {
  EXPECT_EQ(DecodeBlock("QUJDREVG", 6), "ABCDEF");
  EXPECT_EQ(DecodeBlock("QUJDREVG", 5), "-");
  EXPECT_EQ(DecodeBlock("QUJDRA==", 3), "-");
  EXPECT_EQ(DecodeBlock("QUJDRA==", 4), "ABCD");
  for (int length = 0; length < 40; length++) {
    std::string text(length, 'A');
    int n = b64decode(text.c_str(), nullptr, 0);
    std::vector<char> out(b64decodedMax(length) + 1);
    int decoded = b64decode(text.c_str(), out.data(), b64decodedMax(length));
    EXPECT_TRUE(decoded == -1 || decoded <= b64decodedMax(length));
    EXPECT_EQ(decoded == -1, length % 4 == 1) << length;
    if (length >= 2) {
      EXPECT_EQ(n, -1);
    }
  }
}

// Random blocks with NUL bytes, encoded by Python, padded or not and with foreign
// characters mixed in, decode to Python's bytes with their true length.
TEST(Base64Block, AgreesWithPythonBase64) {
  TestRandom random(33);
  std::string data;
  for (int n = 0; n < 400; n++) {
    std::string bytes;
    int length = (int)random.Below(200);
    for (int i = 0; i < length; i++) bytes += (char)(random.Below(4) == 0 ? 0 : random.Below(256));
    data += ToHex(bytes) + "\n";
  }
  std::string script = R"PY(
import sys, base64, random
random.seed(5)
for line in sys.stdin:
    raw = bytes.fromhex(line.strip())
    e = base64.b64encode(raw).decode()
    if random.random() < 0.5:
        e = e.rstrip("=")
    noisy = "".join(c + (random.choice([" ", "*", "\n", "\t", "%", "\r", "!"]) if random.random() < 0.1 else "") for c in e)
    # Python wants the padding back; the decoder here takes either form.
    assert base64.b64decode(noisy + "==") == raw
    print(raw.hex(), noisy.encode().hex())
)PY";
  std::vector<std::string> lines = SplitLines(RunPython(script, data));
  ASSERT_EQ(lines.size(), 400u);
  for (const std::string &line : lines) {
    std::string raw = FromHex(line.substr(0, line.find(' ')));
    std::string noisy = FromHex(line.substr(line.find(' ') + 1));
    EXPECT_EQ(DecodeBlock(noisy, (int)raw.size()), raw) << noisy;
    EXPECT_EQ(DecodeBlock(noisy, b64decodedMax((int)noisy.size())), raw);
    if (!raw.empty()) {
      EXPECT_EQ(DecodeBlock(noisy, (int)raw.size() - 1), "-");
    }
  }
}
