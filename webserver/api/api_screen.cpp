#include "webserver/api/api_screen.h"

#include <string.h>

#include "platform/screen_capture.h"
#include "platform/tap_api.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"

namespace {

// The pictures the firmware hands over for one capture; each is released with TAP_MemFree.
struct CaptureSources {
  TYPE_VideoBank video;
  TYPE_OsdBaseInfo planes[CAPTURE_OSD_PLANES];   // planes 2, 1, 0
  CaptureFrame videoFrame;
  CaptureFrame planeFrames[CAPTURE_OSD_PLANES];
  CaptureLayers layers;
};

// The video plane; a failed capture leaves the layer out.
void CaptureVideo(CaptureSources *s) {
  s->video.format = 1;
  s->video.width = 720;
  s->video.height = 576;
  if (TAP_CaptureScreen(1, &s->video, 0) != 0 || !s->video.pixels) {
    LOGF(LOG_DETAIL, "Video capture failed.");
    s->video.pixels = nullptr;   // not ours to release
    return;
  }
  s->videoFrame = {s->video.pixels, s->video.width, s->video.height, 0, CAPTURE_PIXELS_BGRA32};
  s->layers.video = &s->videoFrame;
}

void ReadPlanes(CaptureSources *s) {
  for (int i = 0; i < CAPTURE_OSD_PLANES; i++) {
    TYPE_OsdBaseInfo *info = &s->planes[i];
    TAP_Osd_Sync();
    if (!TAP_Osd_GetPlaneBaseInfo(info, CAPTURE_OSD_PLANES - 1 - i) || !info->pixels) {
      info->pixels = nullptr;
      continue;
    }
    s->planeFrames[i] = {info->pixels, info->width, info->height, info->bytesPerLine, CAPTURE_PIXELS_BGRA32};
    s->layers.osd[i] = &s->planeFrames[i];
  }
}

void Release(CaptureSources *s) {
  if (s->video.pixels) TAP_MemFree(s->video.pixels);
  for (TYPE_OsdBaseInfo &plane : s->planes) {
    if (plane.pixels) TAP_MemFree(plane.pixels);
  }
}

}  // namespace

void APIScreenGet(int what, int format) {
  LOGF(LOG_DETAIL, "Processing API-Screen-Get, what %d, format %d.", what, format);
  CaptureSources sources;
  memset(&sources, 0, sizeof sources);
  if (what == CAPTURE_SCREEN || what == CAPTURE_PROGRAMME) CaptureVideo(&sources);
  if (what == CAPTURE_SCREEN || what == CAPTURE_OSD) ReadPlanes(&sources);
  CaptureImage image;
  int layers = 0;
  int result = BuildScreenCapture(&sources.layers, format, &image, &layers);
  Release(&sources);
  if (result != CAPTURE_OK) {
    LOGF(LOG_OPERATIONAL, "Screen capture failed (%d).", result);
    NetSend404();
    return;
  }
  LOGF(LOG_NETWORK, "Sending screen capture, %d layers, %lu bytes.", layers, (unsigned long)image.size);
  NetHTTPRespond(reinterpret_cast<const char *>(image.data), (int)image.size, image.contentType, 0);
  ReleaseCaptureImage(&image);
}
