// OSD: three planes of 720 x 576 pixels (4 bytes: blue, green, red, alpha) in firmware
// memory ("_osdInfo": per plane the u32 address of its pixels, u16 width, u16 height),
// regions drawn into them, the planes' copies and the video capture of the TAP API.
//
// The screen can be set with pictures in the root: "pvrsim/video.png" is the video picture
// (in its own size, which the capture reports), "pvrsim/osd.png" is copied into OSD plane 0
// (its top-left 720 x 576 pixels, transparent pixels too). Each is read again when the file
// changes. Without a video picture the video is black.
#include "emulator/emu_osd.h"

#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <vector>

#include "common/common_memory.h"
#include "emulator/emu_firmware.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"
#include "platform/png_codec.h"

namespace emu {

namespace {

constexpr size_t kLine = OSD_WIDTH * 4;
constexpr size_t kPlaneSize = kLine * OSD_HEIGHT;

struct Region {
  bool used = false;
  int plane = 0;
  dword x = 0, y = 0, width = 0, height = 0;
};

byte *gInfo;                       // OSD_PLANES entries
byte *gPlanes[OSD_PLANES];
std::vector<Region> gRegions;
bool gSystemOsd = true;

constexpr unsigned kPictureMax = 4096;   // larger pictures are not taken

// A picture file of the root and what was last read from it.
struct PictureFile {
  explicit PictureFile(const char *file) : name(file) {}
  const char *name;                  // below the root
  struct timespec changed = {0, 0};  // of the file read, to notice a new one
  off_t size = -1;
  ino_t inode = 0;
  std::vector<byte> bgra;            // empty: no picture
  unsigned width = 0, height = 0;
};
PictureFile gVideo("/pvrsim/video.png");
PictureFile gOsdPicture("/pvrsim/osd.png");

// Decodes a PNG file into blue, green, red, alpha pixels; false with a message and, when
// memory ran out, with *retry set (the decoder takes its memory from the common allocator,
// which may be the TAP heap with its injected failures).
bool ReadPicture(const std::string &path, std::vector<byte> *bgra, unsigned *width, unsigned *height,
                 std::string *error, bool *retry) {
  std::ifstream in(path, std::ios::binary);
  std::vector<byte> png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  byte *rgba = nullptr;
  unsigned code = PngDecodeRGBA(png.data(), png.size(), (size_t)kPictureMax * kPictureMax, &rgba, width, height);
  *retry = code == 83;   // LodePNG's code for a failed allocation
  if (code) {
    *error = path + ": " + PngErrorText(code);
    return false;
  }
  if (*width > kPictureMax || *height > kPictureMax) {
    CommonFree(rgba);
    *error = path + ": larger than 4096 x 4096 pixels";
    return false;
  }
  bgra->resize((size_t)*width * *height * 4);
  for (size_t i = 0; i < bgra->size(); i += 4) {
    (*bgra)[i] = rgba[i + 2];
    (*bgra)[i + 1] = rgba[i + 1];
    (*bgra)[i + 2] = rgba[i];
    (*bgra)[i + 3] = rgba[i + 3];
  }
  CommonFree(rgba);
  return true;
}

// Reads the picture again when its file has changed since; true when it did.
bool Refresh(PictureFile *picture) {
  std::string path = gRoot + picture->name;
  struct stat s;
  if (stat(path.c_str(), &s) != 0) {
    bool had = !picture->bgra.empty();
    *picture = PictureFile(picture->name);
    return had;
  }
  if (s.st_mtim.tv_sec == picture->changed.tv_sec && s.st_mtim.tv_nsec == picture->changed.tv_nsec &&
      s.st_size == picture->size && s.st_ino == picture->inode) {
    return false;
  }
  picture->changed = s.st_mtim;
  picture->size = s.st_size;
  picture->inode = s.st_ino;
  std::string error;
  bool retry = false;
  if (!ReadPicture(path, &picture->bgra, &picture->width, &picture->height, &error, &retry)) {
    picture->bgra.clear();
    picture->width = picture->height = 0;
    if (retry) picture->size = -1;   // read again next time
    Effect("%s", error.c_str());
  }
  return true;
}

// Copies a new "pvrsim/osd.png" into plane 0.
void RefreshOsdPicture() {
  if (!Refresh(&gOsdPicture) || gOsdPicture.bgra.empty()) return;
  byte *plane = gPlanes[0];
  memset(plane, 0, kPlaneSize);
  unsigned width = std::min(gOsdPicture.width, (unsigned)OSD_WIDTH);
  unsigned height = std::min(gOsdPicture.height, (unsigned)OSD_HEIGHT);
  for (unsigned y = 0; y < height; y++) {
    memcpy(plane + y * kLine, &gOsdPicture.bgra[(size_t)y * gOsdPicture.width * 4], (size_t)width * 4);
  }
}

Region *FindRegion(int region) {
  if (region < 0 || region >= (int)gRegions.size() || !gRegions[(size_t)region].used) return nullptr;
  return &gRegions[(size_t)region];
}

// Sets the pixels of a rectangle of a region, clipped to the region.
void Fill(const Region &r, dword x, dword y, dword width, dword height, dword colour) {
  if (x >= r.width || y >= r.height) return;
  width = std::min(width, r.width - x);
  height = std::min(height, r.height - y);
  for (dword row = 0; row < height; row++) {
    byte *pixel = gPlanes[r.plane] + (r.y + y + row) * kLine + (r.x + x) * 4;
    for (dword column = 0; column < width; column++, pixel += 4) PutLE32(pixel, colour);
  }
}

// A copy of size bytes (or zeros), allocated on the TAP heap for the caller.
byte *PictureCopy(const byte *source, size_t size) {
  byte *copy = static_cast<byte *>(TAP_MemAlloc((dword)size));
  if (copy) {
    if (source) {
      memcpy(copy, source, size);
    } else {
      memset(copy, 0, size);
    }
  }
  return copy;
}

bool ReadProfile(const nlohmann::json &, std::string *) { return true; }

void StartOsd() {
  if (!gInfo) {
    gInfo = FirmwareAlloc(OSD_PLANES * OSD_INFO_ENTRY_SIZE);
    for (byte *&plane : gPlanes) plane = FirmwareAlloc(kPlaneSize);
  }
  for (int i = 0; i < OSD_PLANES; i++) {
    memset(gPlanes[i], 0, kPlaneSize);
    byte *entry = gInfo + i * OSD_INFO_ENTRY_SIZE;
    PutLE32(entry + OSD_INFO_PIXELS, FirmwareWord(gPlanes[i]));
    PutLE16(entry + OSD_INFO_WIDTH, OSD_WIDTH);
    PutLE16(entry + OSD_INFO_HEIGHT, OSD_HEIGHT);
  }
  PublishTable(FW_HOOK_OsdInfo, gInfo);
  gRegions.clear();
  gSystemOsd = true;
  gVideo = PictureFile(gVideo.name);
  gOsdPicture = PictureFile(gOsdPicture.name);
  RefreshOsdPicture();
}

}  // namespace

extern const Subsystem kOsdSubsystem = {"OSD", ReadProfile, StartOsd};

namespace {

// One pixel from blue, green, red, alpha to red, green, blue, alpha.
void Rgba(const byte *bgra, byte *rgba) {
  rgba[0] = bgra[2];
  rgba[1] = bgra[1];
  rgba[2] = bgra[0];
  rgba[3] = bgra[3];
}

}  // namespace

std::vector<byte> ComposedScreen() {
  Refresh(&gVideo);
  RefreshOsdPicture();
  std::vector<byte> rgba((size_t)OSD_WIDTH * OSD_HEIGHT * 4, 0);
  for (unsigned y = 0; y < OSD_HEIGHT; y++) {
    for (unsigned x = 0; x < OSD_WIDTH; x++) {
      byte *d = &rgba[((size_t)y * OSD_WIDTH + x) * 4];
      if (!gVideo.bgra.empty()) {
        const byte *s = &gVideo.bgra[((size_t)(y * gVideo.height / OSD_HEIGHT) * gVideo.width +
                                      x * gVideo.width / OSD_WIDTH) * 4];
        Rgba(s, d);
      }
      for (int plane = OSD_PLANES - 1; plane >= 0; plane--) {
        const byte *s = gPlanes[plane] + y * kLine + x * 4;
        if (s[0] | s[1] | s[2] | s[3]) Rgba(s, d);
      }
    }
  }
  return rgba;
}

bool WriteScreenPicture(const std::string &hostFile, std::string *error) {
  std::vector<byte> rgba = ComposedScreen();
  byte *png = nullptr;
  size_t size = 0;
  unsigned code = PngEncodeRGBA(rgba.data(), OSD_WIDTH, OSD_HEIGHT, &png, &size);
  if (code) {
    *error = std::string("PNG encoding failed: ") + PngErrorText(code);
    return false;
  }
  std::ofstream out(hostFile, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(png), (std::streamsize)size);
  out.close();
  CommonFree(png);
  if (!out) {
    *error = "cannot write " + hostFile;
    return false;
  }
  return true;
}

}  // namespace emu

// ---- TAP API ----

// The video picture in its own size, black (720 x 576) without one.
TAP_API_FUNCTION int TAP_CaptureScreen(int, TYPE_VideoBank *bank, int) {
  if (!bank) return 1;
  emu::Refresh(&emu::gVideo);
  bool black = emu::gVideo.bgra.empty();
  word width = black ? (word)OSD_WIDTH : (word)emu::gVideo.width;
  word height = black ? (word)OSD_HEIGHT : (word)emu::gVideo.height;
  bank->pixels = emu::PictureCopy(black ? nullptr : emu::gVideo.bgra.data(), (size_t)width * height * 4);
  if (!bank->pixels) return 1;
  bank->format = 1;
  bank->width = width;
  bank->height = height;
  return 0;
}

TAP_API_FUNCTION int TAP_Osd_GetPlaneBaseInfo(TYPE_OsdBaseInfo *info, int plane) {
  if (!info || plane < 0 || plane >= OSD_PLANES) return 0;
  emu::RefreshOsdPicture();
  info->pixels = emu::PictureCopy(emu::gPlanes[plane], emu::kPlaneSize);
  if (!info->pixels) return 0;
  info->width = OSD_WIDTH;
  info->height = OSD_HEIGHT;
  info->bytesPerLine = emu::kLine;
  return 1;
}

// The emulated planes are always up to date.
TAP_API_FUNCTION void TAP_Osd_Sync(void) {}

TAP_API_FUNCTION int TAP_SysOsdControl(int control, int on) {
  emu::gSystemOsd = on != 0;
  emu::Effect("system OSD %d %s", control, on ? "shown" : "hidden");
  return 1;
}

TAP_API_FUNCTION int TAP_Osd_Create(dword x, dword y, dword width, dword height, byte plane, int) {
  if (plane >= OSD_PLANES || width == 0 || height == 0 || x >= OSD_WIDTH || y >= OSD_HEIGHT ||
      width > OSD_WIDTH - x || height > OSD_HEIGHT - y) {
    return -1;
  }
  emu::Region region;
  region.used = true;
  region.plane = plane;
  region.x = x;
  region.y = y;
  region.width = width;
  region.height = height;
  for (size_t i = 0; i < emu::gRegions.size(); i++) {
    if (!emu::gRegions[i].used) {
      emu::gRegions[i] = region;
      return (int)i;
    }
  }
  emu::gRegions.push_back(region);
  return (int)emu::gRegions.size() - 1;
}

// Deleting a region removes its pixels from the plane.
TAP_API_FUNCTION int TAP_Osd_Delete(int region) {
  emu::Region *r = emu::FindRegion(region);
  if (!r) return 0;
  emu::Fill(*r, 0, 0, r->width, r->height, 0);
  r->used = false;
  return 1;
}

TAP_API_FUNCTION int TAP_Osd_FillBox(int region, dword x, dword y, dword width, dword height, dword colour) {
  emu::Region *r = emu::FindRegion(region);
  if (!r) return 0;
  emu::Fill(*r, x, y, width, height, colour);
  return 1;
}

TAP_API_FUNCTION int TAP_Osd_DrawRectangle(int region, dword x, dword y, dword width, dword height, dword thickness,
                                           dword colour) {
  emu::Region *r = emu::FindRegion(region);
  if (!r) return 0;
  thickness = std::min(thickness, std::min(width, height));
  emu::Fill(*r, x, y, width, thickness, colour);
  emu::Fill(*r, x, y + height - thickness, width, thickness, colour);
  emu::Fill(*r, x, y, thickness, height, colour);
  emu::Fill(*r, x + width - thickness, y, thickness, height, colour);
  return 1;
}

TAP_API_FUNCTION int TAP_Osd_PutPixel(int region, dword x, dword y, dword colour) {
  return TAP_Osd_FillBox(region, x, y, 1, 1, colour);
}

// Copies width x height pixels of 4 bytes (blue, green, red, alpha), clipped to the region.
TAP_API_FUNCTION int TAP_Osd_DrawPixmap(int region, dword x, dword y, dword width, dword height, const void *pixels) {
  emu::Region *r = emu::FindRegion(region);
  if (!r || !pixels) return 0;
  const byte *source = static_cast<const byte *>(pixels);
  for (dword row = 0; row < height && y + row < r->height; row++) {
    for (dword column = 0; column < width && x + column < r->width; column++) {
      emu::Fill(*r, x + column, y + row, 1, 1, GetLE32(source + (row * width + column) * 4));
    }
  }
  return 1;
}

// TAP bitmaps (TFD-compressed pixels) are not drawn by the emulated OSD yet.
TAP_API_FUNCTION int TAP_Osd_PutGd(int region, int, int, const void *, int) {
  emu::Effect("TAP_Osd_PutGd on region %d: TAP bitmaps are not drawn by the emulated OSD", region);
  return 0;
}

// JPEG files are not drawn by the emulated OSD yet.
TAP_API_FUNCTION int TAP_Osd_DrawJpeg(int region, dword, dword, dword, dword, const char *file, int) {
  emu::Effect("TAP_Osd_DrawJpeg of %s on region %d: JPEG files are not drawn by the emulated OSD",
              file ? file : "(null)", region);
  return 0;
}
