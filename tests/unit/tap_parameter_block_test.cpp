// The parameter block of a TAP start: Base64 decoded as bytes of their true length, checked
// against Python's base64 module.
#include "webserver/api/tap_parameter_block.h"

#include <gtest/gtest.h>

#include <string>

#include "common/common_memory.h"
#include "tests/unit/python_oracle.h"

namespace {

// The block of a parameter text as hex, "none" or "invalid".
std::string Block(const std::string &params) {
  unsigned char *block = nullptr;
  int length = -1;
  int result = TapParameterBlock(params.c_str(), &block, &length);
  if (result == TAP_BLOCK_NONE) return block || length ? "bad none" : "none";
  if (result == TAP_BLOCK_INVALID) return block || length ? "bad invalid" : "invalid";
  std::string hex = ToHex(std::string(reinterpret_cast<char *>(block), (size_t)length));
  CommonFree(block);
  return hex;
}

}  // namespace

TEST(TapParameterBlock, BytesOfTheirTrueLengthAsPythonDecodesThem) {
  // Blocks with zero bytes in every position, of lengths 1 to 40, encoded by Python.
  std::string cases = RunPython(R"PY(
import base64, urllib.parse
for n in range(1, 41):
    block = bytes((i * 37 + n) % 256 if i % 3 else 0 for i in range(n))
    text = base64.b64encode(block).decode()
    print(urllib.parse.quote(text, safe=""), block.hex())
)PY", "");
  std::vector<std::string> lines = SplitLines(cases);
  ASSERT_EQ(lines.size(), 40u);
  for (const std::string &line : lines) {
    size_t blank = line.find(' ');
    EXPECT_EQ(Block("filename=x.tap&tap_params=" + line.substr(0, blank)), line.substr(blank + 1)) << line;
  }
  EXPECT_EQ(Block("tap_params=AAAA"), "000000");   // three zero bytes: not an empty text
  EXPECT_EQ(Block("tap_params=BQABAgADBA%3D%3D"), "05000102000304");
  EXPECT_EQ(Block("tap_params=QUJD"), "414243");
  EXPECT_EQ(Block("tap_params=QUI"), "4142");      // unpadded last group
}

TEST(TapParameterBlock, AbsentEmptyAndRefusedBlocks) {
  EXPECT_EQ(Block(""), "none");
  EXPECT_EQ(Block("filename=x.tap"), "none");
  EXPECT_EQ(Block("tap_params="), "");
  EXPECT_EQ(Block("tap_params=Q"), "invalid");           // six bits make no byte
  EXPECT_EQ(Block("tap_params=QUJDR"), "invalid");
  EXPECT_EQ(Block("tap_params=%zz"), "");                // a bad escape: the value is not read
  EXPECT_EQ(Block("tap_params=" + std::string(2044, 'A') + "QUI"), std::string(1533 * 2, '0') + "4142");
  EXPECT_EQ(Block("tap_params=" + std::string(2048, 'A')), "invalid");   // longer than 2047 characters
  EXPECT_EQ(Block("tap_params=" + std::string(2047, 'A') + "%3D"), "invalid");
}
