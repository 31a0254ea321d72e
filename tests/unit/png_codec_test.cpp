// The PNG wrapper: round trips with Pillow, images too large to decode, and the sized-block
// allocator that LodePNG gets in the PVR build.
#include "platform/png_codec.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/common_memory.h"
#include "tests/unit/python_oracle.h"

TEST(PngCodec, RoundTripWithPillow) {
  std::vector<byte> pixels(37 * 23 * 4);
  for (size_t i = 0; i < pixels.size(); i++) pixels[i] = (byte)(i * 13 + i / 7);
  byte *png = nullptr;
  size_t size = 0;
  ASSERT_EQ(PngEncodeRGBA(pixels.data(), 37, 23, &png, &size), 0u);
  std::string encoded((char *)png, size);
  CommonFree(png);
  // Pillow decodes ours, and encodes a picture of its own for our decoder.
  std::string out = RunPython(
      "import sys, io\nfrom PIL import Image\n"
      "img = Image.open(io.BytesIO(sys.stdin.buffer.read()))\n"
      "img = img if img.mode == 'RGBA' else img.convert('RGBA')   # a palette when it is smaller\n"
      "sys.stdout.write(img.mode + ' ' + img.tobytes().hex() + ' ')\n"
      "img2 = Image.frombytes('RGBA', (5, 3), bytes(range(60)))\n"
      "b = io.BytesIO(); img2.save(b, 'PNG'); sys.stdout.write(b.getvalue().hex())\n",
      encoded);
  std::vector<std::string> parts;
  for (size_t at = 0, next; at < out.size(); at = next + 1) {
    next = out.find(' ', at);
    if (next == std::string::npos) next = out.size();
    parts.push_back(out.substr(at, next - at));
  }
  ASSERT_EQ(parts.size(), 3u) << out;
  EXPECT_EQ(parts[0], "RGBA");
  EXPECT_TRUE(FromHex(parts[1]) == std::string((char *)pixels.data(), pixels.size())) << "Pillow sees other pixels";
  std::string theirs = FromHex(parts[2]);
  byte *decoded;
  unsigned w, h;
  ASSERT_EQ(PngDecodeRGBA((const byte *)theirs.data(), theirs.size(), 15, &decoded, &w, &h), 0u);
  EXPECT_EQ(w, 5u);
  EXPECT_EQ(h, 3u);
  for (int i = 0; i < 60; i++) EXPECT_EQ(decoded[i], i);
  CommonFree(decoded);
  // One pixel more than allowed: refused before decoding.
  EXPECT_EQ(PngDecodeRGBA((const byte *)theirs.data(), theirs.size(), 14, &decoded, &w, &h), (unsigned)PNG_TOO_LARGE);
  EXPECT_EQ(decoded, nullptr);
  EXPECT_NE(PngDecodeRGBA((const byte *)"not a png", 9, 100, &decoded, &w, &h), 0u);
  EXPECT_EQ(decoded, nullptr);
  EXPECT_STRNE(PngErrorText(PNG_TOO_LARGE), "");
}

TEST(PngCodec, SizedBlocks) {
  byte *a = static_cast<byte *>(PngHeapAlloc(10));
  ASSERT_NE(a, nullptr);
  for (int i = 0; i < 10; i++) a[i] = (byte)(i + 1);
  byte *b = static_cast<byte *>(PngHeapRealloc(a, 100000));   // grows: the old bytes move along
  ASSERT_NE(b, nullptr);
  for (int i = 0; i < 10; i++) EXPECT_EQ(b[i], i + 1);
  memset(b + 10, 0x77, 100000 - 10);
  byte *c = static_cast<byte *>(PngHeapRealloc(b, 4));         // shrinks: the first bytes stay
  ASSERT_NE(c, nullptr);
  for (int i = 0; i < 4; i++) EXPECT_EQ(c[i], i + 1);
  byte *d = static_cast<byte *>(PngHeapRealloc(nullptr, 3));
  ASSERT_NE(d, nullptr);
  PngHeapFree(d);
  PngHeapFree(nullptr);
  byte *detached = PngHeapDetach(c, 4);                          // freed by CommonFree now
  for (int i = 0; i < 4; i++) EXPECT_EQ(detached[i], i + 1);
  CommonFree(detached);
  EXPECT_EQ(PngHeapAlloc((size_t)0x7FFFFFFF), nullptr);
}
