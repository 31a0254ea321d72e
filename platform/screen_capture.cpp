#include "platform/screen_capture.h"

#include <string.h>

#include "common/common_memory.h"
#include "platform/byte_order.h"
#include "platform/png_codec.h"

namespace {

enum {
  BMP_HEADER = 54,
  PIXELS_RGB = CAPTURE_WIDTH * CAPTURE_HEIGHT * 3,
  TIFF_HEADER = 8,
  TIFF_DIRECTORY = TIFF_HEADER + PIXELS_RGB,   // 1,769,480
  TIFF_ENTRIES = 16,
  TIFF_ROWS_PER_STRIP = 64,
  TIFF_STRIPS = CAPTURE_HEIGHT / TIFF_ROWS_PER_STRIP,
};
static_assert(BMP_HEADER + PIXELS_RGB == CAPTURE_BMP_SIZE, "a bitmap is its header and the pixels");
static_assert(TIFF_STRIPS * TIFF_ROWS_PER_STRIP == CAPTURE_HEIGHT, "the strips hold every row");

// Where the pixels of one format lie: channel offsets within a pixel, -1 for none.
struct Layout {
  byte *base;
  dword bytesPerPixel;
  bool bottomUp;
  int red, green, blue, alpha;
};

const char *const kCaptureNames[] = {"@@screen", "@@osd", "@@programme"};
const char *const kCaptureSuffixes[] = {".png", ".bmp", ".tif"};

void WriteBmpHeader(byte *p) {
  p[0] = 'B';
  p[1] = 'M';
  PutLE32(p + 2, CAPTURE_BMP_SIZE);
  PutLE32(p + 6, 0);
  PutLE32(p + 10, BMP_HEADER);
  PutLE32(p + 14, 40);
  PutLE32(p + 18, CAPTURE_WIDTH);
  PutLE32(p + 22, CAPTURE_HEIGHT);   // positive: rows stored bottom-up
  PutLE16(p + 26, 1);
  PutLE16(p + 28, 24);
  PutLE32(p + 30, 0);
  PutLE32(p + 34, PIXELS_RGB);
  for (int at = 38; at < BMP_HEADER; at += 4) PutLE32(p + at, 0);
}

void TiffEntry(byte *p, int index, word tag, word type, dword count, dword value) {
  byte *e = p + TIFF_DIRECTORY + 2 + index * 12;
  PutLE16(e, tag);
  PutLE16(e + 2, type);
  PutLE32(e + 4, count);
  if (type == 3 && count == 1) {
    PutLE16(e + 8, (word)value);   // a single SHORT sits in the first half of the field
    PutLE16(e + 10, 0);
  } else {
    PutLE32(e + 8, value);
  }
}

// The header and the directory block of the baseline TIFF file.
void WriteTiffFrame(byte *p) {
  enum { ASCII = 2, SHORT = 3, LONG = 4, RATIONAL = 5 };
  const dword extra = TIFF_DIRECTORY + 2 + TIFF_ENTRIES * 12 + 4;   // 1,769,678
  const dword bits = extra, name = extra + 6, offsets = name + 10, counts = offsets + 36;
  const dword xres = counts + 36, yres = xres + 8;
  static_assert(offsets + 4 * TIFF_STRIPS == counts && counts + 4 * TIFF_STRIPS == xres && yres + 8 == CAPTURE_TIFF_SIZE,
                "the directory's values fill the end of the file");
  p[0] = 'I';
  p[1] = 'I';
  PutLE16(p + 2, 42);
  PutLE32(p + 4, TIFF_DIRECTORY);
  PutLE16(p + TIFF_DIRECTORY, TIFF_ENTRIES);
  TiffEntry(p, 0, 254, LONG, 1, 0);
  TiffEntry(p, 1, 256, SHORT, 1, CAPTURE_WIDTH);
  TiffEntry(p, 2, 257, SHORT, 1, CAPTURE_HEIGHT);
  TiffEntry(p, 3, 258, SHORT, 3, bits);
  TiffEntry(p, 4, 259, SHORT, 1, 1);
  TiffEntry(p, 5, 262, SHORT, 1, 2);
  TiffEntry(p, 6, 269, ASCII, 9, name);
  TiffEntry(p, 7, 273, LONG, TIFF_STRIPS, offsets);
  TiffEntry(p, 8, 274, SHORT, 1, 1);
  TiffEntry(p, 9, 277, SHORT, 1, 3);
  TiffEntry(p, 10, 278, SHORT, 1, TIFF_ROWS_PER_STRIP);
  TiffEntry(p, 11, 279, LONG, TIFF_STRIPS, counts);
  TiffEntry(p, 12, 282, RATIONAL, 1, xres);
  TiffEntry(p, 13, 283, RATIONAL, 1, yres);
  TiffEntry(p, 14, 284, SHORT, 1, 1);
  TiffEntry(p, 15, 296, SHORT, 1, 2);
  PutLE32(p + extra - 4, 0);   // no next directory
  for (int i = 0; i < 3; i++) PutLE16(p + bits + 2 * i, 8);
  memcpy(p + name, "ZEL5.tif\0", 10);
  const dword stripBytes = CAPTURE_WIDTH * 3 * TIFF_ROWS_PER_STRIP;
  for (dword k = 0; k < TIFF_STRIPS; k++) {
    PutLE32(p + offsets + 4 * k, TIFF_HEADER + k * stripBytes);
    PutLE32(p + counts + 4 * k, stripBytes);
  }
  PutLE32(p + xres, 72);
  PutLE32(p + xres + 4, 1);
  PutLE32(p + yres, 72);
  PutLE32(p + yres + 4, 1);
}

dword PitchOf(const CaptureFrame *frame) { return frame->pitch ? frame->pitch : frame->width * 4; }

// Draws one frame: every pixel (the video), or only pixels with a non-zero byte (a plane).
void DrawFrame(const Layout &layout, const CaptureFrame *frame, bool overlay) {
  word column[CAPTURE_WIDTH];
  for (dword x = 0; x < CAPTURE_WIDTH; x++) column[x] = (word)(x * frame->width / CAPTURE_WIDTH);
  dword pitch = PitchOf(frame);
  dword stride = CAPTURE_WIDTH * layout.bytesPerPixel;
  for (dword y = 0; y < CAPTURE_HEIGHT; y++) {
    const byte *source = frame->pixels + (size_t)(y * frame->height / CAPTURE_HEIGHT) * pitch;
    byte *row = layout.base + (size_t)(layout.bottomUp ? CAPTURE_HEIGHT - 1 - y : y) * stride;
    for (dword x = 0; x < CAPTURE_WIDTH; x++) {
      const byte *s = source + column[x] * 4;
      if (overlay && !(s[0] | s[1] | s[2] | s[3])) continue;
      byte *d = row + x * layout.bytesPerPixel;
      d[layout.red] = s[2];
      d[layout.green] = s[1];
      d[layout.blue] = s[0];
      if (layout.alpha >= 0) d[layout.alpha] = s[3];
    }
  }
}

int DrawLayers(const Layout &layout, const CaptureLayers *layers) {
  int drawn = 0;
  if (!layers) return 0;
  if (CaptureFrameIsUsable(layers->video)) {
    DrawFrame(layout, layers->video, false);
    drawn++;
  }
  for (const CaptureFrame *plane : layers->osd) {
    if (!CaptureFrameIsUsable(plane)) continue;
    DrawFrame(layout, plane, true);
    drawn++;
  }
  return drawn;
}

byte *ClearedBuffer(size_t size) {
  byte *buffer = static_cast<byte *>(CommonAlloc(size));
  if (buffer) memset(buffer, 0, size);
  return buffer;
}

}  // namespace

int CaptureNameLookup(const char *path, int *what, int *format) {
  if (!path) return 0;
  if (*path == '/') path++;
  for (int w = 0; w < 3; w++) {
    size_t n = strlen(kCaptureNames[w]);
    if (strncmp(path, kCaptureNames[w], n) != 0) continue;
    for (int f = 0; f < 3; f++) {
      if (strcmp(path + n, kCaptureSuffixes[f]) != 0) continue;
      if (what) *what = w + 1;
      if (format) *format = f + 1;
      return 1;
    }
  }
  return 0;
}

int CaptureFrameIsUsable(const CaptureFrame *frame) {
  if (!frame || !frame->pixels || frame->pixelFormat != CAPTURE_PIXELS_BGRA32) return 0;
  if (frame->width < 1 || frame->height < 1) return 0;
  if (frame->width > CAPTURE_FRAME_MAX || frame->height > CAPTURE_FRAME_MAX) return 0;
  return PitchOf(frame) >= frame->width * 4 && PitchOf(frame) <= CAPTURE_FRAME_MAX * 16;
}

int BuildScreenCapture(const CaptureLayers *layers, int format, CaptureImage *image, int *layersDrawn) {
  image->data = nullptr;
  image->size = 0;
  image->contentType = nullptr;
  if (layersDrawn) *layersDrawn = 0;
  int drawn = 0;
  switch (format) {
    case CAPTURE_PNG: {
      byte *rgba = ClearedBuffer((size_t)CAPTURE_WIDTH * CAPTURE_HEIGHT * 4);
      if (!rgba) return CAPTURE_NO_MEMORY;
      drawn = DrawLayers({rgba, 4, false, 0, 1, 2, 3}, layers);
      size_t size = 0;
      unsigned error = PngEncodeRGBA(rgba, CAPTURE_WIDTH, CAPTURE_HEIGHT, &image->data, &size);
      CommonFree(rgba);
      if (error) return error == 83 ? CAPTURE_NO_MEMORY : CAPTURE_ENCODING_FAILED;
      image->size = (dword)size;
      image->contentType = "image/png";
      break;
    }
    case CAPTURE_BMP: {
      byte *bmp = ClearedBuffer(CAPTURE_BMP_SIZE);
      if (!bmp) return CAPTURE_NO_MEMORY;
      WriteBmpHeader(bmp);
      drawn = DrawLayers({bmp + BMP_HEADER, 3, true, 2, 1, 0, -1}, layers);
      image->data = bmp;
      image->size = CAPTURE_BMP_SIZE;
      image->contentType = "image/bmp";
      break;
    }
    case CAPTURE_TIFF: {
      byte *tiff = ClearedBuffer(CAPTURE_TIFF_SIZE);
      if (!tiff) return CAPTURE_NO_MEMORY;
      WriteTiffFrame(tiff);
      drawn = DrawLayers({tiff + TIFF_HEADER, 3, false, 0, 1, 2, -1}, layers);
      image->data = tiff;
      image->size = CAPTURE_TIFF_SIZE;
      image->contentType = "image/tiff";
      break;
    }
    default:
      return CAPTURE_BAD_FORMAT;
  }
  if (layersDrawn) *layersDrawn = drawn;
  return CAPTURE_OK;
}

void ReleaseCaptureImage(CaptureImage *image) {
  if (!image) return;
  CommonFree(image->data);
  image->data = nullptr;
  image->size = 0;
}
