// Screen capture pictures decoded by Pillow (and the TIFF directory read by libtiff's
// tiffinfo) and compared pixel by pixel with the source frames, scaled by Python with the
// same rule, independently of the code under test.
#include "platform/screen_capture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "tests/unit/python_oracle.h"

namespace {

struct TestFrame {
  std::vector<byte> bytes;
  CaptureFrame frame;
};

// A frame of BGRA pixels; paint(x, y, pixel) fills each.
template <typename Paint>
TestFrame MakeFrame(dword width, dword height, dword pitch, Paint paint) {
  TestFrame f;
  dword step = pitch ? pitch : width * 4;
  f.bytes.assign((size_t)step * height, 0xEE);   // padding bytes that must never show
  for (dword y = 0; y < height; y++) {
    for (dword x = 0; x < width; x++) paint(x, y, &f.bytes[(size_t)y * step + x * 4]);
  }
  f.frame = {f.bytes.data(), width, height, pitch, CAPTURE_PIXELS_BGRA32};
  return f;
}

TestFrame Video(dword width, dword height, dword pitch) {
  return MakeFrame(width, height, pitch, [](dword x, dword y, byte *p) {
    p[0] = (byte)x;
    p[1] = (byte)(y * 3);
    p[2] = (byte)(x * 7 + y);
    p[3] = (byte)(0x80 + (x & 0x7F));
  });
}

// A plane that is transparent (four zero bytes) except for a few shapes.
TestFrame Plane(int seed) {
  return MakeFrame(720, 576, 0, [seed](dword x, dword y, byte *p) {
    p[0] = p[1] = p[2] = p[3] = 0;
    if (x > 100u + seed * 40 && x < 400u + seed * 60 && y > 50u * seed + 20 && y < 300u + seed * 30) {
      p[0] = (byte)(seed * 70);
      p[1] = (byte)(200 - seed * 50);
      p[2] = (byte)(x + y);
      p[3] = 0xFF;
    }
    if ((x + y * 3 + seed) % 97 == 0) {   // alpha only: black over what lies beneath
      p[0] = p[1] = p[2] = 0;
      p[3] = 1;
    }
    if (seed == 1 && (x == 0 || x == 719)) {   // the first and last source columns
      p[0] = x ? 0xFF : 0;
      p[1] = 0x11;
      p[2] = x ? 0 : 0xFF;
      p[3] = 0xFF;
    }
  });
}

class ScreenCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvane-capture-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { RunCommand("rm -rf '" + dir_ + "'"); }

  std::string Save(const std::string &name, const byte *data, size_t size) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary).write((const char *)data, (std::streamsize)size);
    return path;
  }
  // A line for the oracle: the image file, its format, then each layer as
  // "v|o:width:height:pitch:file".
  std::string Case(const std::string &name, int format, const CaptureLayers &layers, int expectDrawn) {
    CaptureImage image;
    int drawn = -1;
    EXPECT_EQ(BuildScreenCapture(&layers, format, &image, &drawn), CAPTURE_OK);
    EXPECT_EQ(drawn, expectDrawn) << name;
    if (!image.data) return "";
    std::string line = Save(name, image.data, image.size) + " " + std::to_string(format);
    ReleaseCaptureImage(&image);
    auto add = [&](const CaptureFrame *frame, const char *kind) {
      if (!CaptureFrameIsUsable(frame)) return;
      dword pitch = frame->pitch ? frame->pitch : frame->width * 4;
      // Each frame is saved once, so that the oracle composes each set of layers once.
      std::string &file = saved_[frame->pixels];
      if (file.empty()) file = Save("layer" + std::to_string(saved_.size()), frame->pixels, (size_t)pitch * frame->height);
      line += std::string(" ") + kind + ":" + std::to_string(frame->width) + ":" + std::to_string(frame->height) +
              ":" + std::to_string(pitch) + ":" + file;
    };
    add(layers.video, "v");
    for (const CaptureFrame *plane : layers.osd) add(plane, "o");
    return line + "\n";
  }
  std::string dir_;
  std::map<const byte *, std::string> saved_;
};

// Decodes each picture with Pillow and compares it with the layers composed here; prints
// one line per case: "ok" or the first difference.
const char kOracle[] = R"PY(
import sys
from PIL import Image
composed = {}
def compose(layers):
    out = [bytearray(1024 * 4) for _ in range(576)]
    for layer in layers:
        kind, w, h, pitch, file = layer.split(":", 4)
        w, h, pitch = int(w), int(h), int(pitch)
        raw = open(file, "rb").read()
        cols = [(x * w) // 1024 for x in range(1024)]
        for y in range(576):
            src = raw[((y * h) // 576) * pitch:]
            row = out[y]
            for x in range(1024):
                b, g, r, a = src[cols[x] * 4:cols[x] * 4 + 4]
                if kind == "o" and not (b or g or r or a):
                    continue
                row[x * 4:x * 4 + 4] = bytes((r, g, b, a))
    return out
for line in sys.stdin:
    parts = line.split()
    path, fmt = parts[0], int(parts[1])
    key = tuple(parts[2:])
    if key not in composed:
        composed[key] = compose(key)
    out = composed[key]
    img = Image.open(path)
    want_mode = {1: "RGBA", 2: "RGB", 3: "RGB"}[fmt]
    if fmt == 1:
        img = img.convert("RGBA")   # the encoder may choose a smaller colour type
    if img.size != (1024, 576) or img.mode != want_mode:
        print("bad", img.size, img.mode); continue
    got = img.tobytes()
    step = 4 if fmt == 1 else 3
    bad = None
    for y in range(576):
        want = out[y] if step == 4 else bytes(b for i, b in enumerate(out[y]) if i % 4 != 3)
        if got[y * 1024 * step:(y + 1) * 1024 * step] != want:
            g = got[y * 1024 * step:(y + 1) * 1024 * step]
            x = next(i for i in range(1024) if g[i*step:i*step+step] != want[i*step:i*step+step])
            bad = (x, y, g[x*step:x*step+step].hex(), want[x*step:x*step+step].hex()); break
    print("ok" if bad is None else "differs at %d,%d: %s not %s" % bad)
)PY";

}  // namespace

TEST_F(ScreenCapture, EveryFormatShowsTheComposedLayers) {
  TestFrame video = Video(720, 576, 0), p2 = Plane(0), p1 = Plane(1), p0 = Plane(2);
  CaptureLayers screen = {&video.frame, {&p2.frame, &p1.frame, &p0.frame}};
  CaptureLayers osd = {nullptr, {&p2.frame, &p1.frame, &p0.frame}};
  CaptureLayers programme = {&video.frame, {nullptr, nullptr, nullptr}};
  std::string cases;
  for (int format : {CAPTURE_PNG, CAPTURE_BMP, CAPTURE_TIFF}) {
    std::string suffix = "." + std::to_string(format);
    cases += Case("screen" + suffix, format, screen, 4);
    cases += Case("osd" + suffix, format, osd, 3);
    cases += Case("programme" + suffix, format, programme, 1);
  }
  EXPECT_EQ(RunPython(kOracle, cases), "ok\nok\nok\nok\nok\nok\nok\nok\nok\n");

  // The first and last source columns: column 0 at output columns 0 and 1, column 719
  // at column 1023 only (plane 1 paints them red and blue).
  std::string columns = RunPython(
      "import sys\nfrom PIL import Image\n"
      "img = Image.open(sys.stdin.readline().split()[0]).convert('RGBA')\n"
      "print([x for x in range(1024) if img.getpixel((x, 300))[:3] == (255, 0x11, 0)],"
      " [x for x in range(1024) if img.getpixel((x, 300))[:3] == (0, 0x11, 255)])\n",
      Case("columns.png", CAPTURE_PNG, {nullptr, {&p1.frame}}, 1));
  EXPECT_EQ(columns, "[0, 1] [1023]\n");
}

TEST_F(ScreenCapture, FramesOfOtherSizesAndDamagedFrames) {
  TestFrame small = Video(360, 288, 1500), plane = Plane(1);
  TestFrame odd = MakeFrame(1000, 700, 0, [](dword x, dword y, byte *p) {
    p[0] = (byte)(x / 4); p[1] = (byte)(y / 3); p[2] = 0; p[3] = (x % 50 == 0) ? 0 : 0x40;
  });
  CaptureFrame nullPixels = {nullptr, 720, 576, 0, CAPTURE_PIXELS_BGRA32};
  CaptureFrame badFormat = plane.frame;
  badFormat.pixelFormat = 7;
  CaptureFrame shortPitch = plane.frame;
  shortPitch.pitch = 720 * 4 - 1;
  CaptureFrame empty = {plane.bytes.data(), 0, 576, 0, CAPTURE_PIXELS_BGRA32};
  CaptureFrame huge = {plane.bytes.data(), 5000, 576, 0, CAPTURE_PIXELS_BGRA32};
  for (const CaptureFrame *f : {&nullPixels, &badFormat, &shortPitch, &empty, &huge}) {
    EXPECT_FALSE(CaptureFrameIsUsable(f));
  }
  EXPECT_FALSE(CaptureFrameIsUsable(nullptr));
  std::string cases;
  cases += Case("small.png", CAPTURE_PNG, {&small.frame, {&nullPixels, &badFormat, &odd.frame}}, 2);
  cases += Case("small.tif", CAPTURE_TIFF, {&small.frame, {&shortPitch, &empty, &huge}}, 1);
  EXPECT_EQ(RunPython(kOracle, cases), "ok\nok\n");
}

TEST_F(ScreenCapture, NothingToShow) {
  // An OSD that shows nothing: a fully transparent picture. A failed video capture: black.
  TestFrame blank = MakeFrame(720, 576, 0, [](dword, dword, byte *p) { p[0] = p[1] = p[2] = p[3] = 0; });
  std::string cases = Case("blank.png", CAPTURE_PNG, {nullptr, {&blank.frame, nullptr, nullptr}}, 1) +
                      Case("none.png", CAPTURE_PNG, {nullptr, {nullptr, nullptr, nullptr}}, 0) +
                      Case("none.bmp", CAPTURE_BMP, {nullptr, {nullptr, nullptr, nullptr}}, 0);
  EXPECT_EQ(RunPython("import sys\nfrom PIL import Image\nfor line in sys.stdin:\n"
                      "    img = Image.open(line.split()[0])\n"
                      "    img = img.convert('RGBA') if line.split()[1] == '1' else img\n"
                      "    print(img.mode, img.size, img.getextrema())\n",
                      cases),
            "RGBA (1024, 576) ((0, 0), (0, 0), (0, 0), (0, 0))\n"
            "RGBA (1024, 576) ((0, 0), (0, 0), (0, 0), (0, 0))\n"
            "RGB (1024, 576) ((0, 0), (0, 0), (0, 0))\n");
  CaptureImage image;
  EXPECT_EQ(BuildScreenCapture(nullptr, 4, &image, nullptr), CAPTURE_BAD_FORMAT);
  EXPECT_EQ(image.data, nullptr);
  EXPECT_EQ(BuildScreenCapture(nullptr, CAPTURE_TIFF, &image, nullptr), CAPTURE_OK);   // no layers
  EXPECT_EQ(image.size, (dword)CAPTURE_TIFF_SIZE);
  ReleaseCaptureImage(&image);
}

TEST_F(ScreenCapture, FileLayouts) {
  TestFrame video = Video(720, 576, 0);
  CaptureLayers programme = {&video.frame, {nullptr, nullptr, nullptr}};
  CaptureImage bmp, tiff;
  ASSERT_EQ(BuildScreenCapture(&programme, CAPTURE_BMP, &bmp, nullptr), CAPTURE_OK);
  ASSERT_EQ(BuildScreenCapture(&programme, CAPTURE_TIFF, &tiff, nullptr), CAPTURE_OK);
  EXPECT_EQ(bmp.size, 1769526u);
  EXPECT_EQ(tiff.size, 1769782u);
  EXPECT_STREQ(bmp.contentType, "image/bmp");
  EXPECT_STREQ(tiff.contentType, "image/tiff");
  // The first stored BMP row is the bottom video row; the first TIFF row is the top one.
  const byte *bottom = &video.bytes[575 * 720 * 4];
  EXPECT_EQ(bmp.data[54], bottom[0]);
  EXPECT_EQ(bmp.data[55], bottom[1]);
  EXPECT_EQ(bmp.data[56], bottom[2]);
  EXPECT_EQ(tiff.data[8], video.bytes[2]);
  EXPECT_EQ(tiff.data[9], video.bytes[1]);
  EXPECT_EQ(tiff.data[10], video.bytes[0]);
  EXPECT_EQ(GetLE32(bmp.data + 2), 1769526u);
  std::string path = Save("t.tif", tiff.data, tiff.size);
  ReleaseCaptureImage(&bmp);
  ReleaseCaptureImage(&tiff);
  int status = -1;
  std::string info = RunCommand("tiffinfo '" + path + "' 2>&1", &status);
  EXPECT_EQ(status, 0) << info;
  for (const char *line : {"Image Width: 1024 Image Length: 576", "Resolution: 72, 72 pixels/inch",
                           "Bits/Sample: 8", "Compression Scheme: None", "Photometric Interpretation: RGB color",
                           "DocumentName: ZEL5.tif", "Orientation: row 0 top, col 0 lhs",
                           "Samples/Pixel: 3", "Rows/Strip: 64", "Planar Configuration: single image plane"}) {
    EXPECT_NE(info.find(line), std::string::npos) << line << "\n" << info;
  }
}

TEST(CaptureNames, TheNineNames) {
  int what = 0, format = 0;
  const char *names[] = {"screen", "osd", "programme"};
  const char *suffixes[] = {"png", "bmp", "tif"};
  for (int w = 0; w < 3; w++) {
    for (int f = 0; f < 3; f++) {
      std::string name = std::string("@@") + names[w] + "." + suffixes[f];
      for (const std::string &path : {name, "/" + name}) {
        EXPECT_EQ(CaptureNameLookup(path.c_str(), &what, &format), 1) << path;
        EXPECT_EQ(what, w + 1);
        EXPECT_EQ(format, f + 1);
      }
    }
  }
  for (const char *path : {"/@@screen.tiff", "/@@screen", "//@@osd.png", "/@@osd.png?x", "/x/@@osd.png",
                           "/@@OSD.png", "", "/@@screen.pn"}) {
    EXPECT_EQ(CaptureNameLookup(path, &what, &format), 0) << path;
  }
  EXPECT_EQ(CaptureNameLookup(nullptr, &what, &format), 0);
}
