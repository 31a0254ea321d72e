// The emulated OSD's bitmap and JPEG drawing: TAP bitmaps whose pixels our TFD compressor
// packed are drawn as they were (the emulator decodes them with lhasa), and a JPEG made by
// Pillow is drawn as Pillow decodes it.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include <vector>

#include "platform/byte_order.h"
#include "platform/tfd_compress.h"
#include "tests/unit/python_oracle.h"

namespace {

class EmuOsdDraw : public EmulatedPvr {
 protected:
  // The plane's pixels of a rectangle (blue, green, red, alpha).
  std::vector<byte> Plane(dword x, dword y, dword width, dword height) {
    TYPE_OsdBaseInfo info;
    std::vector<byte> out;
    if (!TAP_Osd_GetPlaneBaseInfo(&info, 0)) return out;
    for (dword row = 0; row < height; row++) {
      const byte *p = info.pixels + (y + row) * info.bytesPerLine + x * 4;
      out.insert(out.end(), p, p + width * 4);
    }
    TAP_MemFree(info.pixels);
    return out;
  }
  // A bitmap of the logo store's form: header and TFD-compressed pixels.
  std::vector<byte> Bitmap(const std::vector<byte> &pixels, word width, word height) {
    std::vector<byte> gd(16 + TFDMaxSize((dword)pixels.size()));
    dword packed = CompressTFD(pixels.data(), (dword)pixels.size(), gd.data() + 16, 1, 0xFFFF, nullptr);
    gd.resize(16 + packed);
    gd[0] = 1;
    gd[3] = 2;
    PutLE32(&gd[8], (dword)pixels.size());
    PutLE16(&gd[12], width);
    PutLE16(&gd[14], height);
    return gd;
  }
};

TEST_F(EmuOsdDraw, PutGdDrawsTheDecodedPixels) {
  // 200 x 60: two TFD blocks, flat areas and noise.
  std::vector<byte> pixels(200 * 60 * 4);
  unsigned seed = 1;
  for (size_t i = 0; i < pixels.size(); i++) {
    seed = seed * 1103515245u + 12345u;
    pixels[i] = (i / 4) % 200 < 100 ? (byte)(i % 4 == 3 ? 255 : 40) : (byte)(seed >> 16);
  }
  for (size_t i = 3; i < 200 * 4; i += 4) pixels[i] = 0;   // the first row transparent
  std::vector<byte> gd = Bitmap(pixels, 200, 60);
  int region = TAP_Osd_Create(10, 20, 300, 100, 0, 0);
  ASSERT_GE(region, 0);
  TAP_Osd_FillBox(region, 0, 0, 300, 100, 0xFF0000FF);
  ASSERT_EQ(TAP_Osd_PutGd(region, 5, 6, gd.data(), 0), 1);
  EXPECT_EQ(Plane(15, 26, 200, 60), pixels);

  // As a sprite, transparent pixels leave what was there.
  TAP_Osd_FillBox(region, 0, 0, 300, 100, 0xFF0000FF);
  ASSERT_EQ(TAP_Osd_PutGd(region, 5, 6, gd.data(), 1), 1);
  std::vector<byte> drawn = Plane(15, 26, 200, 60), expected = pixels;
  for (size_t i = 0; i < expected.size(); i += 4) {
    if (!expected[i + 3]) PutLE32(&expected[i], 0xFF0000FFu);
  }
  EXPECT_EQ(GetLE32(&drawn[0]), 0xFF0000FFu);
  EXPECT_EQ(drawn, expected);

  // A damaged block is refused: its CRC does not match.
  gd[16 + 10 + 9] ^= 0x55;
  EXPECT_EQ(TAP_Osd_PutGd(region, 0, 0, gd.data(), 0), 0);
  std::vector<byte> badHeader = Bitmap(pixels, 200, 61);   // length not width x height x 4
  EXPECT_EQ(TAP_Osd_PutGd(region, 0, 0, badHeader.data(), 0), 0);
  EXPECT_EQ(TAP_Osd_PutGd(region, 0, 0, nullptr, 0), 0);
}

TEST_F(EmuOsdDraw, DrawJpegScalesWhatPillowDecodes) {
  WriteFile("/mnt/hd/ProgramFiles/Settings/Logos/t.jpg", "");
  // Pillow writes a 108 x 68 JPEG and prints the 54 x 34 picture that every second pixel
  // of its own decoding gives, as hex (red, green, blue).
  std::string expected = RunPython(R"PY(
import sys
from PIL import Image, ImageDraw
im = Image.new("RGB", (108, 68), (200, 30, 40))
d = ImageDraw.Draw(im)
d.ellipse([20, 10, 90, 60], fill=(20, 180, 60))
d.rectangle([0, 50, 107, 67], fill=(250, 250, 250))
im.save(sys.stdin.readline().strip(), "JPEG", quality=90)
)PY", Host("/mnt/hd/ProgramFiles/Settings/Logos/t.jpg") + "\n");
  ASSERT_EQ(expected, "");
  std::string pillow = RunPython(R"PY(
import sys
from PIL import Image
im = Image.open(sys.stdin.readline().strip()).convert("RGB")
print("".join("%02x%02x%02x" % im.getpixel((x * 2, y * 2)) for y in range(34) for x in range(54)), end="")
)PY", Host("/mnt/hd/ProgramFiles/Settings/Logos/t.jpg") + "\n");
  ASSERT_EQ(pillow.size(), 54u * 34 * 6);
  int region = TAP_Osd_Create(0, 0, 720, 576, 0, 0);
  ASSERT_EQ(TAP_Osd_DrawJpeg(region, 3, 4, 54, 34, "/ProgramFiles/Settings/Logos/t.jpg", 0), 1);
  std::vector<byte> drawn = Plane(3, 4, 54, 34);
  int worst = 0;
  for (size_t i = 0; i < 54 * 34; i++) {
    unsigned r, g, b;
    sscanf(pillow.c_str() + i * 6, "%2x%2x%2x", &r, &g, &b);
    const byte *p = &drawn[i * 4];
    worst = std::max({worst, abs((int)p[2] - (int)r), abs((int)p[1] - (int)g), abs((int)p[0] - (int)b)});
    ASSERT_EQ(p[3], 255);
  }
  EXPECT_LE(worst, 2);   // the same library decodes for both

  WriteFile("/mnt/hd/ProgramFiles/Settings/Logos/bad.jpg", "\xFF\xD8 not really a JPEG");
  EXPECT_EQ(TAP_Osd_DrawJpeg(region, 0, 0, 54, 34, "/ProgramFiles/Settings/Logos/bad.jpg", 0), 0);
  EXPECT_EQ(TAP_Osd_DrawJpeg(region, 0, 0, 54, 34, "/ProgramFiles/Settings/Logos/missing.jpg", 0), 0);
}

}  // namespace
