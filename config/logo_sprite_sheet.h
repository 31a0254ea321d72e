// The channel-logo sprite sheet of the browser application (createLogoFile): one PNG with a
// 54 x 34 cell per channel that has a logo, 20 cells across, a CSS rule per channel that
// places its cell, a JSON index of the cells and an HTML-ish log of the run:
//   "service-logos.png", "service-logos.css", "service-logos.txt", "service-logos.log"
// in "/ProgramFiles/Settings/Orvane/public_html", each written through a temporary file.
//
// Row 0 holds an empty cell (channels without a logo), the three built-in AV images, then
// the channel logos. A channel's logo is, the first that exists and can be used:
// "<logo ID>.png" (54 x 34) in "/ProgramFiles/Settings/Logos", "<PC-safe name>.png" there
// (only when the first file does not exist), the logo store's image (style 4, size 0,
// aspect 16:9), "<logo ID>.jpg", "<PC-safe name>.jpg".
//
// Drawing on the OSD belongs to the TAP: it hands in a LogoPainter whose functions draw the
// built-in images, a logo store bitmap (TAP_Osd_PutGd) or a JPEG (TAP_Osd_DrawJpeg, scaled
// to 54 x 34) on an OSD region, sync, and copy the region's top-left cell with CopyOsdCell.
#pragma once

#include <stdint.h>

#include "platform/logo_store.h"
#include "platform/tap_api.h"

enum {
  LOGO_CELL_WIDTH = 54,
  LOGO_CELL_HEIGHT = 34,
  LOGO_CELL_BYTES = LOGO_CELL_WIDTH * LOGO_CELL_HEIGHT * 4,   // 7,344
  LOGO_SHEET_MAX_CELLS = 2000,
  LOGO_FIXED_CELLS = 4,                                      // the empty cell and the AV images
  LOGO_PNG_MAX_PIXELS = 1024 * 1024,                         // larger logo PNGs are not decoded
};

// The sheet's width in cells.
extern const int gLogosAcross;

// One channel of the PVR's service tables.
struct LogoChannel {
  int svcType;          // 0 TV, 1 radio
  int svcNum;           // index in the type's service table
  uint64_t logoId;
  const char *name;     // the channel's name as the PVR keeps it (DVB text)
};

// Drawing through the OSD; a cell is 54 x 34 pixels of 4 bytes (red, green, blue, alpha),
// rows top to bottom. Each function returns 1 when it drew the cell.
struct LogoPainter {
  void *context;
  // The built-in image 0 "AV General", 1 "AV Composite", 2 "AV Component".
  int (*builtIn)(void *context, int which, byte *cell);
  // A bitmap of the logo store (LOGO_BITMAP_HEADER bytes and TFD data), the channel name
  // written below it.
  int (*storeLogo)(void *context, const byte *image, dword length, const char *channelName, byte *cell);
  // A JPEG file (a TAP path) scaled to the cell; 0 when it cannot be decoded.
  int (*jpeg)(void *context, const char *tapPath, byte *cell);
};

// Copies the top-left cell of an OSD plane (4 bytes a pixel b0 b1 b2 b3, pitch bytes a
// row) into cell as red = b2, green = b1, blue = b0, alpha = b3.
void CopyOsdCell(const byte *plane, dword pitch, byte *cell);

struct LogoSheetOptions {
  const LogoPainter *painter;
  LogoStore *store;                     // null: no logo store
  const char *timestamp;                // the PVR's local time as JSON date text
  void (*console)(const char *text);    // every log line is also written here (may be null)
  const char *prelude;                  // lines that open the log (the logo store's), or null
};

// What the build did: logos placed (without the fixed cells), the image's size, and the
// outputs that failed (a PNG encoder error, files that could not be written).
struct LogoSheetReport {
  int channels;
  int logos;
  int width;
  int height;
  unsigned pngError;
  int failedFiles;
};

// Builds the four files for the channels (TV first, then radio, as the PVR lists them).
// Returns 0 when all four were written.
int BuildLogoSpriteSheet(const LogoChannel *channels, int count, const LogoSheetOptions *options,
                         LogoSheetReport *report);
