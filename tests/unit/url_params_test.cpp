// Request parameters: URL decoding against Python's urllib.parse, the single-parameter
// lookups, and the request-parameter record filled by parseParams.
#include "common/url_params.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/common_log.h"
#include "tests/unit/python_oracle.h"

namespace {

std::string Decode(const std::string &text, int *result) {
  std::string buffer(text.size() + 1, '#');
  *result = URLdecode(text.c_str(), &buffer[0]);
  return std::string(buffer.c_str());
}

std::string Lookup(const char *params, const char *name, int size, int *found) {
  std::string out(size + 8, '#');
  *found = webC_getStrParam(params, name, &out[0], size);
  for (int i = size; i < size + 8; i++) EXPECT_EQ(out[i], '#') << "written beyond size";
  for (int i = (int)strlen(out.c_str()); i < size; i++) EXPECT_EQ(out[i], '\0') << "not cleared";
  return std::string(out.c_str());
}

std::vector<std::string> gLogLines;
int gTestLogLevel = 0;
void CaptureLog(int level, const char *text) {
  gLogLines.push_back(std::to_string(level) + ":" + text);
}

}  // namespace

TEST(UrlParamsDecode, DocumentedExamples) {
  int result;
  EXPECT_EQ(Decode("a+b%2Fc", &result), "a b/c");
  EXPECT_EQ(result, 6);
  Decode("50%", &result);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(Decode("", &result), "");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(URLdecode("%41%62", nullptr), 3);   // a null buffer only counts
}

TEST(UrlParamsDecode, BadEscapeKeepsTheDecodedPrefixTerminated) {
  int result;
  EXPECT_EQ(Decode("ab%4", &result), "ab");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(Decode("x+%zz", &result), "x ");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(Decode("%%41", &result), "");
  EXPECT_EQ(result, -1);
}

TEST(UrlParamsDecode, IsHexDigit) {
  for (int c = 0; c < 256; c++) {
    EXPECT_EQ(URLishex(c), strchr("0123456789ABCDEFabcdef", c) != nullptr && c != 0) << c;
  }
}

TEST(UrlParamsDecode, WindowedDecodeReadsAtMostNBytes) {
  char buffer[16];
  memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(URLndecode("abc%41def", buffer, 6), 4);
  EXPECT_STREQ(buffer, "abcA");
  EXPECT_EQ(URLndecode("abc%41def", buffer, 5), -1);  // the escape does not fit
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(URLndecode("abc%41def", buffer, 4), -1);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(URLndecode("abc%x1def", buffer, 5), -1);  // a bad digit inside the window
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(URLndecode("a+b", buffer, 100), 3);
  EXPECT_STREQ(buffer, "a b");
  EXPECT_EQ(URLndecode("abc", buffer, 0), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(URLndecode("ab%", buffer, 10), -1);
  EXPECT_EQ(URLndecode("%41%42", nullptr, 6), 2);
}

// Generated texts of escapes (good and bad), plus signs and raw bytes, decoded whole and
// through windows, against urllib.parse.unquote_to_bytes after the plus-to-blank rule.
TEST(UrlParamsDecode, AgreesWithPythonUrllib) {
  TestRandom random(1);
  static const char *pieces[] = {"%41", "%2f", "%2F", "%e9", "%C3%A9", "%00", "%25", "%2B", "+", "a", "Z", " ",
                                 "/", "&", "=", "\xC3\xA9", "\xff", "%", "%4", "%g1", "%1g", "~", "%7e"};
  std::string data;
  for (int n = 0; n < 2000; n++) {
    std::string text;
    int parts = (int)random.Below(12);
    bool wellFormed = random.Below(3) != 0;
    for (int i = 0; i < parts; i++) {
      unsigned pick = random.Below(sizeof pieces / sizeof pieces[0]);
      if (wellFormed) pick = random.Below(17);   // the pieces before "%": all well-formed
      text += pieces[pick];
    }
    std::string whole(text.size() + 1, '#');
    int wholeResult = URLdecode(text.c_str(), &whole[0]);
    int window = (int)random.Below((unsigned)text.size() + 3);
    std::string part(text.size() + 1, '#');
    int partResult = URLndecode(text.c_str(), &part[0], window);
    // The decoded bytes: up to the result (a decoded %00 is a byte like any other).
    std::string wholeBytes = wholeResult > 0 ? whole.substr(0, wholeResult - 1) : std::string(whole.c_str());
    std::string partBytes = partResult >= 0 ? part.substr(0, partResult) : std::string(part.c_str());
    data += ToHex(text) + " " + std::to_string(window) + " " + std::to_string(wholeResult) + " " +
            ToHex(wholeBytes) + " " + std::to_string(partResult) + " " + ToHex(partBytes) + "\n";
  }
  std::string script = R"PY(
import sys, re
from urllib.parse import unquote_to_bytes
HEX = b"0123456789abcdefABCDEF"
def oracle(text, window):
    # window None: the whole text. Returns (result, bytes) as documented.
    s = text if window is None else text[:window]
    bad = None
    for i, b in enumerate(s):
        if b != 0x25: continue
        digits = s[i + 1:i + 3]
        if len(digits) == 2 and all(d in HEX for d in digits): continue
        bad = i; break
    if bad is not None:
        return -1, unquote_to_bytes(s[:bad].replace(b"+", b" "))
    decoded = unquote_to_bytes(s.replace(b"+", b" "))
    return (len(decoded) + 1 if window is None else len(decoded)), decoded
bad = 0
count = 0
for line in sys.stdin:
    f = line.rstrip("\n").split(" ")
    text = bytes.fromhex(f[0]); window = int(f[1])
    got_whole = (int(f[2]), bytes.fromhex(f[3])); got_part = (int(f[4]), bytes.fromhex(f[5]))
    want_whole = oracle(text, None); want_part = oracle(text, window)
    if got_whole[0] == -1 or want_whole[0] == -1:
        # after a bad escape only the text before a decoded NUL is visible
        want_whole = (want_whole[0], want_whole[1].split(b"\0")[0])
    if got_part[0] == -1 or want_part[0] == -1:
        want_part = (want_part[0], want_part[1].split(b"\0")[0])
    if got_whole != want_whole or got_part != want_part:
        bad += 1; print(text, window, got_whole, want_whole, got_part, want_part)
    count += 1
print("checked", count, "bad", bad)
)PY";
  EXPECT_EQ(RunPython(script, data), "checked 2000 bad 0\n");
}

TEST(UrlParamsLookup, NameMustMatchUpToTheEqualsSign) {
  int found;
  EXPECT_EQ(Lookup("filename=x", "file", 32, &found), "");
  EXPECT_EQ(found, 0);
  EXPECT_EQ(webC_paramExists("filename=x", "file"), 0);
  EXPECT_EQ(webC_paramExists("filename=x", "filename"), 1);
  EXPECT_EQ(webC_paramExists("a=1&filename=x", "filename"), 1);
  EXPECT_EQ(webC_paramExists("xfilename=x", "filename"), 0);
  EXPECT_EQ(webC_paramExists("Filename=x", "filename"), 0);
  EXPECT_EQ(webC_paramExists("filename&x=1", "filename"), 0);   // no '=' in the segment
  EXPECT_EQ(webC_paramExists("", "a"), 0);
  EXPECT_EQ(webC_paramExists(nullptr, "a"), 0);
  EXPECT_EQ(Lookup("a=1&b=2&c=3", "b", 32, &found), "2");
  EXPECT_EQ(found, 1);
  EXPECT_EQ(Lookup("a=1&b=2&c=3", "c", 32, &found), "3");
}

TEST(UrlParamsLookup, FirstMatchWinsAndValueRunsToTheNextAmpersand) {
  int found;
  EXPECT_EQ(Lookup("k=first&k=second", "k", 32, &found), "first");
  EXPECT_EQ(Lookup("k=a=b&z=1", "k", 32, &found), "a=b");
  EXPECT_EQ(Lookup("k=&z=1", "k", 32, &found), "");
  EXPECT_EQ(found, 1);
  EXPECT_EQ(Lookup("k=a+b%26c", "k", 32, &found), "a b&c");
  EXPECT_EQ(Lookup("=v", "", 32, &found), "v");
}

TEST(UrlParamsLookup, ValueIsCutToTheBufferSize) {
  int found;
  EXPECT_EQ(Lookup("k=abcdefgh", "k", 4, &found), "abc");
  EXPECT_EQ(found, 1);
  EXPECT_EQ(Lookup("k=ab%41cd", "k", 6, &found), "abA");    // five raw bytes read
  EXPECT_EQ(Lookup("k=ab%41cd", "k", 5, &found), "ab");     // never through an escape
  EXPECT_EQ(Lookup("k=ab%41cd", "k", 4, &found), "ab");
  EXPECT_EQ(Lookup("k=abc%41", "k", 5, &found), "abc");    // the escape does not fit
  EXPECT_EQ(found, 1);
  std::string huge = "k=" + std::string(100000, 'x');
  EXPECT_EQ(Lookup(huge.c_str(), "k", 513, &found), std::string(512, 'x'));
  char tiny[1] = {'#'};
  EXPECT_EQ(webC_getStrParam("k=v", "k", tiny, 0), 0);
  EXPECT_EQ(tiny[0], '#');
}

TEST(UrlParamsLookup, MalformedValueCountsAsAbsent) {
  int found;
  EXPECT_EQ(Lookup("k=foo%2", "k", 32, &found), "");
  EXPECT_EQ(found, 0);
  EXPECT_EQ(Lookup("k=foo%zz&k=ok", "k", 32, &found), "");
  EXPECT_EQ(found, 0);
}

TEST(UrlParamsLookup, HexValueIsDecoded) {
  char out[16];
  EXPECT_EQ(webC_getHexStrParam("filename_hex=41c3a9&x=1", "filename_hex", out, sizeof out), 1);
  EXPECT_STREQ(out, "A\xC3\xA9");
  EXPECT_EQ(webC_getHexStrParam("f=414243444546474849", "f", out, 7), 1);   // six digits read
  EXPECT_STREQ(out, "ABC");
  EXPECT_EQ(webC_getHexStrParam("f=41", "g", out, sizeof out), 0);
  EXPECT_STREQ(out, "");
}

// Names and values from Python's urllib.parse.urlencode; each first occurrence must come
// back as parse_qsl decodes it.
TEST(UrlParamsLookup, AgreesWithPythonParseQsl) {
  std::string script = R"PY(
import random
from urllib.parse import urlencode, parse_qsl
random.seed(9)
names = ["a", "ab", "abc", "file", "filename", "x_hex", "tap"]
for n in range(300):
    pairs = []
    for i in range(random.randrange(1, 6)):
        value = bytes(random.randrange(1, 256) for _ in range(random.randrange(0, 20)))
        pairs.append((random.choice(names), value))
    query = urlencode(pairs, encoding="latin-1")
    first = {}
    for k, v in parse_qsl(query, keep_blank_values=True, encoding="latin-1"):
        first.setdefault(k, v.encode("latin-1"))
    for name in names:
        print(query, name, first[name].hex() if name in first else "-")
)PY";
  std::vector<std::string> lines = SplitLines(RunPython(script, ""));
  ASSERT_EQ(lines.size(), 300u * 7);
  for (const std::string &line : lines) {
    size_t a = line.find(' '), b = line.find(' ', a + 1);
    std::string query = line.substr(0, a), name = line.substr(a + 1, b - a - 1), want = line.substr(b + 1);
    char out[64];
    int found = webC_getStrParam(query.c_str(), name.c_str(), out, sizeof out);
    EXPECT_EQ(webC_paramExists(query.c_str(), name.c_str()), want != "-") << line;
    if (want == "-") {
      EXPECT_EQ(found, 0) << line;
    } else {
      EXPECT_EQ(found, 1) << line;
      EXPECT_EQ(ToHex(out), want) << line;   // values hold no NUL (bytes 1-255)
    }
  }
}

// Whether a value read by the host's 64-bit "%lu"/"%lx" is one that a 32-bit reading gives
// alike (its magnitude fits 32 bits); larger ones clamp on the PVR.
static bool Fits32(unsigned long value) { return value <= 0xFFFFFFFFul || 0ul - value <= 0xFFFFFFFFul; }

TEST(UrlParamsNumbers, ReadLikeScanfConversions) {
  // sscanf itself is the oracle for texts within range.
  const char *texts[] = {"42", "-17", "+5", "  12", "12abc", "0", "007", "2147483647", "-2147483648", "ff",
                         "0x1F", "0XaB", "-1", "-5", " \t9", "1 2", "0x", "-0x10"};
  for (const char *text : texts) {
    std::string params = std::string("n=") + text;
    int i = 12345, want;
    int ok = webC_getIntParam(params.c_str(), "n", &i);
    EXPECT_EQ(ok, sscanf(text, "%d", &want) == 1) << text;
    if (ok) {
      EXPECT_EQ(i, want) << text;
    }
    uint32_t d = 777;
    unsigned long wantD;
    ok = webC_getDwordParam(params.c_str(), "n", &d);
    EXPECT_EQ(ok, sscanf(text, "%lu", &wantD) == 1) << text;
    if (ok && Fits32(wantD)) {
      EXPECT_EQ(d, (uint32_t)wantD) << text;
    }
    uint32_t h = 777;
    unsigned long wantH;
    ok = webC_getHexDwordParam(params.c_str(), "n", &h);
    EXPECT_EQ(ok, sscanf(text, "%lx", &wantH) == 1) << text;
    if (ok && Fits32(wantH)) {
      EXPECT_EQ(h, (uint32_t)wantH) << text;
    }
  }
}

TEST(UrlParamsNumbers, EmptyAbsentOrNonNumericLeavesValueUnchanged) {
  int i = 99;
  uint32_t d = 99;
  EXPECT_EQ(webC_getIntParam("n=", "n", &i), 0);
  EXPECT_EQ(webC_getIntParam("n=abc", "n", &i), 0);
  EXPECT_EQ(webC_getIntParam("m=1", "n", &i), 0);
  EXPECT_EQ(webC_getIntParam("n=-", "n", &i), 0);
  EXPECT_EQ(webC_getDwordParam("n=x1", "n", &d), 0);
  EXPECT_EQ(webC_getHexDwordParam("n=g", "n", &d), 0);
  EXPECT_EQ(i, 99);
  EXPECT_EQ(d, 99u);
  EXPECT_EQ(webC_getIntParam("n=%2D3", "n", &i), 1);   // URL-decoded first
  EXPECT_EQ(i, -3);
}

TEST(UrlParamsNumbers, OnlyFifteenCharactersAreReadAndLargeValuesClamp) {
  int i = 0;
  uint32_t d = 0;
  EXPECT_EQ(webC_getIntParam("n= 000000000000427", "n", &i), 1);
  EXPECT_EQ(i, 42);
  EXPECT_EQ(webC_getIntParam("n=99999999999", "n", &i), 1);
  EXPECT_EQ(i, 2147483647);
  EXPECT_EQ(webC_getIntParam("n=-99999999999", "n", &i), 1);
  EXPECT_EQ(i, -2147483647 - 1);
  EXPECT_EQ(webC_getDwordParam("n=99999999999", "n", &d), 1);
  EXPECT_EQ(d, 0xFFFFFFFFu);
  EXPECT_EQ(webC_getHexDwordParam("n=123456789abc", "n", &d), 1);
  EXPECT_EQ(d, 0xFFFFFFFFu);
  EXPECT_EQ(webC_getHexDwordParam("n=514B570F", "n", &d), 1);
  EXPECT_EQ(d, 0x514B570Fu);
}

class UrlParamsParse : public ::testing::Test {
 protected:
  void SetUp() override {
    gLogLines.clear();
    gTestLogLevel = 2;
    SetCommonLog(&gTestLogLevel, CaptureLog);
  }
  void TearDown() override { SetCommonLog(nullptr, nullptr); }
};

TEST_F(UrlParamsParse, FillsEveryFieldOfTheRecord) {
  int n = parseParams("epgsource=SmartEPG&genre_source=au&filename=My+Film%21.rec&index=7&tapid=1363891983"
                      "&sat=3&language=de&cache=12&append=1",
                      1);
  EXPECT_EQ(n, 9);
  EXPECT_EQ(gCommand.sourceSet, 1);
  EXPECT_STREQ(gCommand.source, "SmartEPG");
  EXPECT_EQ(gCommand.genreSourceSet, 1);
  EXPECT_STREQ(gCommand.genreSource, "au");
  EXPECT_EQ(gCommand.fileNameSet, 1);
  EXPECT_STREQ(gCommand.fileName, "My Film!.rec");
  EXPECT_EQ(gCommand.indexSet, 1);
  EXPECT_EQ(gCommand.index, 7);
  EXPECT_EQ(gCommand.tapIdSet, 1);
  EXPECT_EQ(gCommand.tapId, 0x514B570Fu);
  EXPECT_EQ(gCommand.satIndexSet, 1);
  EXPECT_EQ(gCommand.satIndex, 3);
  EXPECT_EQ(gCommand.languageSet, 1);
  EXPECT_STREQ(gCommand.language, "de");
  EXPECT_EQ(gCommand.cacheSet, 1);
  EXPECT_EQ(gCommand.cache, 12u);
  EXPECT_EQ(gCommand.appendSet, 1);
  EXPECT_EQ(gCommand.append, 1u);
}

TEST_F(UrlParamsParse, AlternativeNamesAndHexForms) {
  EXPECT_EQ(parseParams("source=PVR&satindex=2&lang=fr&tapid_hex=514b570f&filename_hex=41c3a9", 1), 5);
  EXPECT_STREQ(gCommand.source, "PVR");
  EXPECT_EQ(gCommand.satIndex, 2);
  EXPECT_STREQ(gCommand.language, "fr");
  EXPECT_EQ(gCommand.tapId, 0x514B570Fu);
  EXPECT_STREQ(gCommand.fileName, "A\xC3\xA9");
  EXPECT_EQ(parseParams("lan=it&source=a%20b", 1), 2);
  EXPECT_STREQ(gCommand.language, "it");
  EXPECT_STREQ(gCommand.source, "a%20b");   // verbatim, not decoded
}

TEST_F(UrlParamsParse, ClearFlagLaterValuesUnknownAndBarePieces) {
  parseParams("index=5&sat=1", 1);
  gCommand.command = COMMAND_SATELLITE;
  gCommand.action = ACTION_TRANSPONDERS;
  EXPECT_EQ(parseParams("index=6&index=8&bogus=1&noequals&&Index=9", 0), 2);
  EXPECT_EQ(gCommand.index, 8);
  EXPECT_EQ(gCommand.satIndexSet, 1);          // kept: not cleared
  EXPECT_EQ(gCommand.command, COMMAND_SATELLITE);
  EXPECT_EQ(gCommand.action, ACTION_TRANSPONDERS);
  EXPECT_EQ(parseParams("", 1), 0);
  EXPECT_EQ(gCommand.indexSet, 0);
  EXPECT_EQ(gCommand.satIndexSet, 0);
  EXPECT_EQ(gCommand.command, 0);
  EXPECT_EQ(parseParams(nullptr, 1), 0);
}

TEST_F(UrlParamsParse, NumbersFollowAtoiAndScanfRules) {
  parseParams("index=-3x&cache=abc&tapid=4294967295&append=", 1);
  EXPECT_EQ(gCommand.index, -3);
  EXPECT_EQ(gCommand.cacheSet, 1);
  EXPECT_EQ(gCommand.cache, 0u);
  EXPECT_EQ(gCommand.tapId, 0xFFFFFFFFu);
  EXPECT_EQ(gCommand.appendSet, 1);
  EXPECT_EQ(gCommand.append, 0u);
  parseParams("tapid_hex=0x1F", 1);
  EXPECT_EQ(gCommand.tapId, 0x1Fu);
}

TEST_F(UrlParamsParse, LongFileNamesAreKeptWhole) {
  std::string name(300, 'n');
  for (size_t i = 0; i < name.size(); i++) name[i] = (char)('A' + i % 26);
  std::string hex;
  char two[3];
  for (char c : name) {
    snprintf(two, sizeof two, "%02x", (unsigned char)c);
    hex += two;
  }
  EXPECT_EQ(parseParams(("filename_hex=" + hex).c_str(), 1), 1);
  EXPECT_EQ(std::string(gCommand.fileName), name);
  EXPECT_EQ(parseParams(("filename=" + name).c_str(), 1), 1);
  EXPECT_EQ(std::string(gCommand.fileName), name);
  std::string fits(515, 'f');
  EXPECT_EQ(parseParams(("filename=" + fits).c_str(), 1), 1);
  EXPECT_EQ(std::string(gCommand.fileName), fits);
}

TEST_F(UrlParamsParse, FileNamesThatDoNotFitOrAreMalformedAreNotTaken) {
  EXPECT_EQ(parseParams(("filename=" + std::string(516, 'f')).c_str(), 1), 0);
  EXPECT_EQ(gCommand.fileNameSet, 0);
  EXPECT_STREQ(gCommand.fileName, "");
  EXPECT_EQ(parseParams(("filename_hex=" + std::string(1032, '4')).c_str(), 1), 0);
  EXPECT_EQ(gCommand.fileNameSet, 0);
  EXPECT_EQ(parseParams("filename=good&filename=bad%2", 1), 1);
  EXPECT_EQ(gCommand.fileNameSet, 0);
  EXPECT_STREQ(gCommand.fileName, "");
  // Escapes shrink the text: 1500 raw characters that decode to 500 bytes fit.
  std::string escaped;
  for (int i = 0; i < 500; i++) escaped += "%41";
  EXPECT_EQ(parseParams(("filename=" + escaped).c_str(), 1), 1);
  EXPECT_EQ(std::string(gCommand.fileName), std::string(500, 'A'));
}

TEST_F(UrlParamsParse, VerbatimTextsAreCutToTheirFields) {
  parseParams(("source=" + std::string(2000, 's') + "&genre_source=" + std::string(2000, 'g') + "&language=" +
               std::string(2000, 'l'))
                  .c_str(),
              1);
  EXPECT_EQ(std::string(gCommand.source), std::string(515, 's'));
  EXPECT_EQ(std::string(gCommand.genreSource), std::string(543, 'g'));
  EXPECT_EQ(std::string(gCommand.language), std::string(515, 'l'));
  EXPECT_EQ(gCommand.fileNameSet, 0);   // the neighbouring fields are untouched
  EXPECT_EQ(gCommand.indexSet, 0);
}

TEST_F(UrlParamsParse, ReadsAtMost8195Characters) {
  std::string padding = "pad=" + std::string(8195 - 4 - 9, 'p') + "&";   // ends at character 8186
  std::string params = padding + "index=12345&sat=4";
  ASSERT_EQ(padding.size(), 8187u);
  EXPECT_EQ(parseParams(params.c_str(), 1), 1);
  EXPECT_EQ(gCommand.index, 12);   // "index=12" are the last characters read
  EXPECT_EQ(gCommand.satIndexSet, 0);
  std::string huge(200000, '&');
  EXPECT_EQ(parseParams(huge.c_str(), 1), 0);
}

TEST_F(UrlParamsParse, LogsEachPairAtLevelTwo) {
  parseParams("index=5&noequals&x=a%20b", 1);
  ASSERT_EQ(gLogLines.size(), 2u);
  EXPECT_EQ(gLogLines[0], "2:theKeyword = [index], theValue = [5].");
  EXPECT_EQ(gLogLines[1], "2:theKeyword = [x], theValue = [a%20b].");
  gLogLines.clear();
  gTestLogLevel = 1;
  parseParams("index=5", 1);
  EXPECT_TRUE(gLogLines.empty());
  gTestLogLevel = 3;
  parseParams(("k=" + std::string(20000, 'v')).c_str(), 1);
  ASSERT_EQ(gLogLines.size(), 1u);
  EXPECT_EQ(gLogLines[0].compare(0, 30, "2:theKeyword = [k], theValue ="), 0);
  EXPECT_LT(gLogLines[0].size(), 1024u);
  SetCommonLog(nullptr, nullptr);
  gLogLines.clear();
  parseParams("index=5", 1);
  EXPECT_TRUE(gLogLines.empty());
}

// File names of arbitrary bytes, encoded by Python (quote_plus and bytes.hex), come back
// as the same bytes.
TEST_F(UrlParamsParse, FileNamesEncodedByPythonComeBackExactly) {
  std::string script = R"PY(
import random
from urllib.parse import quote_plus
random.seed(4)
for n in range(300):
    name = bytes(random.randrange(1, 256) for _ in range(random.randrange(1, 300)))
    print(name.hex(), quote_plus(name, safe="/"), name.hex().upper() if n % 2 else name.hex())
)PY";
  std::vector<std::string> lines = SplitLines(RunPython(script, ""));
  ASSERT_EQ(lines.size(), 300u);
  for (const std::string &line : lines) {
    size_t a = line.find(' '), b = line.find(' ', a + 1);
    std::string want = FromHex(line.substr(0, a));
    std::string quoted = line.substr(a + 1, b - a - 1), hex = line.substr(b + 1);
    EXPECT_EQ(parseParams(("x=1&filename=" + quoted + "&y=2").c_str(), 1), 1) << line;
    EXPECT_EQ(std::string(gCommand.fileName), want) << line;
    EXPECT_EQ(parseParams(("filename_hex=" + hex + "&index=1").c_str(), 1), 2) << line;
    EXPECT_EQ(std::string(gCommand.fileName), want) << line;
  }
}

// The handler parameter scan: no URL decoding, pieces without "=" skipped, the last piece
// of a keyword wins, and values are whole however long.
TEST(HandlerParams, LastPieceWinsAndValuesAreWhole) {
  auto find = [](const std::string &params, const char *keyword) {
    const char *value;
    size_t length;
    if (!FindHandlerParam(params.c_str(), keyword, &value, &length)) return std::string("(none)");
    return std::string(value, length);
  };
  EXPECT_EQ(find("module=a&key=k&module=b", "module"), "b");
  EXPECT_EQ(find("key=a%20b&value", "key"), "a%20b");
  EXPECT_EQ(find("value&key=x", "value"), "(none)");
  EXPECT_EQ(find("key==x=y&&", "key"), "=x=y");
  EXPECT_EQ(find("key=", "key"), "");
  EXPECT_EQ(find("keys=1&akey=2", "key"), "(none)");
  EXPECT_EQ(find("", "key"), "(none)");
  std::string longValue(5000, 'v');
  EXPECT_EQ(find("key=" + longValue + "&x=1", "key"), longValue);
  std::string params = "a=1&b&=2&c=";
  HandlerParamPiece piece;
  std::vector<std::string> pieces;
  for (const char *at = params.c_str(); NextHandlerParam(&at, &piece);) {
    pieces.push_back(std::string(piece.keyword, piece.keywordLength) + "|" + std::string(piece.value, piece.valueLength));
  }
  EXPECT_EQ(pieces, (std::vector<std::string>{"a|1", "|2", "c|"}));
}
