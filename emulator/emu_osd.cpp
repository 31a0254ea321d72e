// OSD: three planes of 720 x 576 pixels (4 bytes: blue, green, red, alpha) in firmware
// memory ("_osdInfo": per plane the u32 address of its pixels, u16 width, u16 height),
// regions drawn into them, the planes' copies and the video capture of the TAP API.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <vector>

#include "emulator/emu_firmware.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"

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

// A copy of a plane or a black video picture, allocated on the TAP heap for the caller.
byte *PictureCopy(const byte *source) {
  byte *copy = static_cast<byte *>(TAP_MemAlloc((dword)kPlaneSize));
  if (copy && source) memcpy(copy, source, kPlaneSize);
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
}

}  // namespace

extern const Subsystem kOsdSubsystem = {"OSD", ReadProfile, StartOsd};

}  // namespace emu

// ---- TAP API ----

TAP_API_FUNCTION int TAP_CaptureScreen(int, TYPE_VideoBank *bank, int) {
  if (!bank) return 1;
  // The emulated PVR shows no video: the picture is black.
  bank->pixels = emu::PictureCopy(nullptr);
  if (!bank->pixels) return 1;
  bank->format = 1;
  bank->width = OSD_WIDTH;
  bank->height = OSD_HEIGHT;
  return 0;
}

TAP_API_FUNCTION int TAP_Osd_GetPlaneBaseInfo(TYPE_OsdBaseInfo *info, int plane) {
  if (!info || plane < 0 || plane >= OSD_PLANES) return 0;
  info->pixels = emu::PictureCopy(emu::gPlanes[plane]);
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
