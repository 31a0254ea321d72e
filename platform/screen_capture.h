// Screen capture pictures: the video picture and the OSD planes, as the firmware hands
// them over, scaled to 1024 x 576 pixels and encoded as PNG, BMP (24 bits, rows bottom-up)
// or TIFF (baseline RGB, uncompressed). Output pixel (x, y) takes source pixel
// (x * width / 1024, y * height / 576) of each layer, the width and height being the
// frame's own (720 x 576 on the PVR: column 45x/64, rows unscaled). The video layer is
// copied whole; an OSD plane overwrites only where its pixel has a non-zero byte, the
// later plane winning, without blending.
//
// The handler (APIScreenGet) captures the video (TAP_CaptureScreen) and reads the planes
// (TAP_Osd_GetPlaneBaseInfo for planes 2, 1, 0), describes them as CaptureFrames, calls
// BuildScreenCapture, sends the image and releases the frames and the image.
#pragma once

#include "platform/tap_api.h"

enum {
  CAPTURE_WIDTH = 1024,
  CAPTURE_HEIGHT = 576,
  CAPTURE_OSD_PLANES = 3,
  CAPTURE_FRAME_MAX = 4096,          // larger frames are taken as damaged
  CAPTURE_BMP_SIZE = 1769526,        // 54-byte header + 1024 x 576 x 3
  CAPTURE_TIFF_SIZE = 1769782,       // 8-byte header + pixels + 302-byte directory
};

enum CaptureWhat { CAPTURE_SCREEN = 1, CAPTURE_OSD = 2, CAPTURE_PROGRAMME = 3 };
enum CaptureFormat { CAPTURE_PNG = 1, CAPTURE_BMP = 2, CAPTURE_TIFF = 3 };
enum CapturePixelFormat { CAPTURE_PIXELS_BGRA32 = 0 };   // bytes blue, green, red, alpha

enum CaptureResult {
  CAPTURE_OK = 0,
  CAPTURE_BAD_FORMAT = 1,        // format is not 1-3
  CAPTURE_NO_MEMORY = 2,
  CAPTURE_ENCODING_FAILED = 3,   // the PNG encoder failed
};

// One picture: the video capture or an OSD plane, rows top to bottom.
struct CaptureFrame {
  const byte *pixels;
  dword width;
  dword height;
  dword pitch;         // bytes from a row to the next; 0 means width x 4
  int pixelFormat;     // CapturePixelFormat
};

// The layers to draw, any of them null when absent.
struct CaptureLayers {
  const CaptureFrame *video;
  const CaptureFrame *osd[CAPTURE_OSD_PLANES];   // in drawing order: planes 2, 1, 0
};

struct CaptureImage {
  byte *data;                // from the common allocator
  dword size;
  const char *contentType;   // "image/png", "image/bmp" or "image/tiff"
};

// The nine capture names "/@@screen.tif" ... "/@@programme.png", each also without its
// leading "/". Returns 1 and what and format for one of them, else 0.
int CaptureNameLookup(const char *path, int *what, int *format);

// Whether a frame can be read: pixels present, a known pixel format, 1 to
// CAPTURE_FRAME_MAX pixels each way, a pitch that holds a row.
int CaptureFrameIsUsable(const CaptureFrame *frame);

// Draws the layers and encodes the picture. Frames that are null or not usable are left
// out (layersDrawn, when given, counts the others). On success image holds the picture.
int BuildScreenCapture(const CaptureLayers *layers, int format, CaptureImage *image, int *layersDrawn);
void ReleaseCaptureImage(CaptureImage *image);
