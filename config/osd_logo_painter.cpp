#include "config/osd_logo_painter.h"

#include <string.h>

namespace {

enum : dword { BLACK = 0xFF101010, FRAME = 0xFFC0C0C0, SOCKET = 0xFF303030, NAME_COLOUR = 0xFF101010 };

// The connectors each built-in image shows, as colours (0 ends the list).
const dword kPlugs[3][4] = {
    {0xFFF0D020, 0xFFF0F0F0, 0xFFE02020, 0},   // AV General: video and stereo audio
    {0xFFF0D020, 0, 0, 0},                     // AV Composite: one video plug
    {0xFF20C040, 0xFF2040E0, 0xFFE02020, 0},   // AV Component: Y, Pb, Pr
};

// Draws on a new full-screen region of plane 0 with draw, reads back the cell and deletes
// the region. 1 when draw drew and the plane could be read.
template <typename Draw>
int PaintCell(byte *cell, Draw draw) {
  int region = TAP_Osd_Create(0, 0, 720, 576, 0, 0);
  if (region < 0) return 0;
  TAP_Osd_FillBox(region, 0, 0, LOGO_CELL_WIDTH, LOGO_CELL_HEIGHT, 0);
  int drawn = draw(region);
  TAP_Osd_Sync();
  TYPE_OsdBaseInfo info;
  memset(&info, 0, sizeof info);
  if (drawn && TAP_Osd_GetPlaneBaseInfo(&info, 0) && info.pixels && info.width >= LOGO_CELL_WIDTH &&
      info.height >= LOGO_CELL_HEIGHT && info.bytesPerLine >= LOGO_CELL_WIDTH * 4) {
    CopyOsdCell(info.pixels, info.bytesPerLine, cell);
  } else {
    drawn = 0;
  }
  if (info.pixels) TAP_MemFree(info.pixels);
  TAP_Osd_Delete(region);
  return drawn;
}

int BuiltIn(void *, int which, byte *cell) {
  if (which < 0 || which > 2) return 0;
  return PaintCell(cell, [which](int region) {
    DrawAvImage(region, 0, 0, which);
    return 1;
  });
}

// The channel's name is written below the logo, outside the cell, as the firmware's own
// logo screens show it.
int StoreLogo(void *, const byte *image, dword length, const char *channelName, byte *cell) {
  if (!image || length < LOGO_BITMAP_HEADER) return 0;
  return PaintCell(cell, [image, channelName](int region) {
    int drawn = TAP_Osd_PutGd(region, 0, 0, image, 0);
    if (drawn && channelName) TAP_Osd_PutS(region, 10, 50, 710, channelName, NAME_COLOUR, 0, 0, FNT_Size_1926, ALIGN_LEFT);
    return drawn;
  });
}

int Jpeg(void *, const char *tapPath, byte *cell) {
  return PaintCell(cell, [tapPath](int region) {
    return TAP_Osd_DrawJpeg(region, 0, 0, LOGO_CELL_WIDTH, LOGO_CELL_HEIGHT, tapPath, 0);
  });
}

const LogoPainter kPainter = {nullptr, BuiltIn, StoreLogo, Jpeg};

}  // namespace

const LogoPainter *OsdLogoPainter() { return &kPainter; }

void DrawAvImage(int region, dword x, dword y, int which) {
  TAP_Osd_FillBox(region, x + 1, y + 3, LOGO_CELL_WIDTH - 2, LOGO_CELL_HEIGHT - 6, BLACK);
  TAP_Osd_DrawRectangle(region, x + 1, y + 3, LOGO_CELL_WIDTH - 2, LOGO_CELL_HEIGHT - 6, 2, FRAME);
  for (int i = 0; i < 3 && kPlugs[which][i]; i++) {
    dword left = x + 7 + (dword)i * 15;
    TAP_Osd_FillBox(region, left, y + 9, 12, 16, SOCKET);
    TAP_Osd_FillBox(region, left + 2, y + 11, 8, 12, kPlugs[which][i]);
    TAP_Osd_FillBox(region, left + 5, y + 15, 2, 4, SOCKET);
  }
}
