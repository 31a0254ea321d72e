// Screen captures through the request path on the emulated screen: a video picture in a
// size of its own (the frame record gives it), OSD drawing over it, captures that fail and
// memory that runs out. Pillow decodes the answers and compares every pixel with what it
// computes from the pictures itself.
#include "webserver/api/api_screen.h"

#include <fstream>

#include "emulator/emulator.h"
#include "tests/unit/emulated_pvr.h"
#include "tests/unit/python_oracle.h"
#include "tests/unit/served_request.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

namespace {

class ScreenApi : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    gAuthentication = 0;
    gLoggingLevel = 0;
  }
  // A video picture of width x height with a pattern Pillow can compute again.
  void WriteVideo(int width, int height) {
    WriteFile("/pvrsim/video.png", "");
    RunPython("import sys\nfrom PIL import Image\n"
              "w, h = " + std::to_string(width) + ", " + std::to_string(height) + "\n"
              "im = Image.new('RGBA', (w, h))\n"
              "im.putdata([(x * 7 % 256, y * 3 % 256, (x + y) % 256, 200) for y in range(h) for x in range(w)])\n"
              "im.save(sys.stdin.read())\n",
              Host("/pvrsim/video.png"));
    ASSERT_GT(ReadFile("/pvrsim/video.png").size(), 100u);
  }
  // Checks a capture with Pillow: "ok", or the first pixel that differs. The expected
  // picture: the video (if any) scaled by the capture's rule, then the box drawn on plane 0.
  std::string Check(const std::string &image, const std::string &format, bool video, bool box) {
    std::string path = Host("/capture." + format);
    std::ofstream(path, std::ios::binary) << image;
    return RunPython(R"PY(
import sys
from PIL import Image
path, root, video, box = sys.stdin.read().split()
got = Image.open(path).convert("RGBA" if path.endswith(".png") else "RGB")
if got.size != (1024, 576):
    print("size", got.size); sys.exit()
src = Image.open(root + "/pvrsim/video.png").convert("RGBA") if video == "1" else None
for y in range(576):
    for x in range(1024):
        want = (0, 0, 0, 0)
        if src:
            want = src.getpixel((x * src.size[0] // 1024, y * src.size[1] // 576))
        sx = x * 720 // 1024
        if box == "1" and 100 <= sx < 300 and 50 <= y < 150:
            want = (0x11, 0x22, 0x33, 0xFF)
        have = got.getpixel((x, y))
        if have != want[:len(have)]:
            print("pixel", x, y, have, want); sys.exit()
print("ok")
)PY", path + " " + root_ + " " + (video ? "1" : "0") + " " + (box ? "1" : "0") + "\n");
  }
  // Draws a box of colour 0xFF112233 (alpha, red, green, blue) on plane 0.
  void DrawBox() {
    int region = TAP_Osd_Create(0, 0, 720, 576, 0, 0);
    ASSERT_GE(region, 0);
    TAP_Osd_FillBox(region, 100, 50, 200, 100, 0xFF112233);
  }
};

}  // namespace

TEST_F(ScreenApi, TheVideoInItsOwnSizeWithTheOsdOverIt) {
  WriteVideo(360, 288);
  DrawBox();
  ServedAnswer screen = ServeGet("/@@screen.bmp");
  EXPECT_EQ(screen.status, "HTTP/1.1 200 OK");
  EXPECT_NE(screen.head.find("Content-Type: image/bmp; charset=utf-8\r\nContent-Length: 1769526\r\n"), std::string::npos);
  EXPECT_EQ(Check(screen.body, "bmp", true, true), "ok\n");
  EXPECT_EQ(Check(ServeGet("@@programme.png").body, "png", true, false), "ok\n");
  EXPECT_EQ(Check(ServeGet("/@@osd.tif").body, "tif", false, true), "ok\n");
}

// A capture that fails leaves the video out; a picture that cannot be built is a 404; the
// TAP heap is the same afterwards.
TEST_F(ScreenApi, FailedCapturesAndMissingMemory) {
  WriteVideo(720, 576);
  DrawBox();
  EXPECT_EQ(Check(ServeGet("/@@programme.bmp").body, "bmp", true, false), "ok\n");   // the video is read
  size_t before = emu::TapHeapUse(0).inUse;
  emu::FailAllocation(1);   // the video picture's copy
  std::string programme = ServeGet("/@@programme.tif").body;
  EXPECT_EQ(Check(programme, "tif", false, false), "ok\n");   // black
  emu::FailAllocation(1);
  EXPECT_EQ(Check(ServeGet("/@@screen.png").body, "png", false, true), "ok\n");
  bool refused = false;
  for (unsigned nth = 2; nth <= 6; nth++) {
    emu::FailAllocation(nth);
    ServedAnswer answer = ServeGet("/@@screen.png");
    emu::FailAllocation(0);
    if (answer.status == "HTTP/1.1 404 NOT FOUND") refused = true;
  }
  EXPECT_TRUE(refused) << "no allocation of the picture itself failed";
  EXPECT_EQ(emu::TapHeapUse(0).inUse, before);
}
