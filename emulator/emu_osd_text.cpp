// Text on the OSD (TAP_Osd_PutS, TAP_Osd_GetW): UTF-8 text drawn with a real font, Debian's
// DejaVu Sans through FreeType, anti-aliased onto the background colour or, with background
// 0, onto what the region shows.
#include <string.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "emulator/emu_firmware.h"
#include "emulator/emu_osd.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"

namespace emu {

namespace {

const char kFont[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";   // fonts-dejavu-core
const unsigned kPixelSizes[3] = {14, 16, 19};

FT_Library gLibrary;
FT_Face gFace;
bool gTried;

FT_Face Face(byte fontSize) {
  if (!gTried) {
    gTried = true;
    if (FT_Init_FreeType(&gLibrary) != 0 || FT_New_Face(gLibrary, kFont, 0, &gFace) != 0) {
      Effect("OSD text: the font %s cannot be loaded", kFont);
      gFace = nullptr;
    }
  }
  if (gFace) FT_Set_Pixel_Sizes(gFace, 0, kPixelSizes[fontSize < 3 ? fontSize : 0]);
  return gFace;
}

// The next code point of UTF-8 text (a byte that starts no valid sequence stands for
// itself, as Latin-1).
dword NextCodePoint(const char **text) {
  const byte *p = reinterpret_cast<const byte *>(*text);
  int length = p[0] < 0x80 ? 1 : (p[0] & 0xE0) == 0xC0 ? 2 : (p[0] & 0xF0) == 0xE0 ? 3 : (p[0] & 0xF8) == 0xF0 ? 4 : 0;
  dword code = length == 1 ? p[0] : length == 2 ? p[0] & 0x1Fu : length == 3 ? p[0] & 0x0Fu : p[0] & 0x07u;
  for (int i = 1; i < length; i++) {
    if ((p[i] & 0xC0) != 0x80) {
      length = 0;
      break;
    }
    code = code << 6 | (p[i] & 0x3Fu);
  }
  if (length == 0) {
    *text += 1;
    return p[0];
  }
  *text += length;
  return code;
}

// The kerning between two glyphs in 1/64 pixel (0 for the first glyph or without a table).
long Kerning(FT_Face face, FT_UInt previous, FT_UInt glyph) {
  FT_Vector delta = {0, 0};
  if (previous && glyph && FT_HAS_KERNING(face)) FT_Get_Kerning(face, previous, glyph, FT_KERNING_UNFITTED, &delta);
  return delta.x;
}

// Width in pixels of text (26.6 advances and kerning summed).
long TextWidth(FT_Face face, const char *text) {
  long width = 0;
  FT_UInt previous = 0;
  for (const char *p = text; *p;) {
    FT_UInt glyph = FT_Get_Char_Index(face, NextCodePoint(&p));
    width += Kerning(face, previous, glyph);
    if (FT_Load_Glyph(face, glyph, FT_LOAD_DEFAULT) == 0) width += face->glyph->advance.x;
    previous = glyph;
  }
  return width >> 6;
}

byte Mix(byte under, byte over, unsigned alpha) { return (byte)((under * (255 - alpha) + over * alpha) / 255); }

}  // namespace

}  // namespace emu

TAP_API_FUNCTION dword TAP_Osd_GetW(const char *text, byte, byte fontSize) {
  FT_Face face = text ? emu::Face(fontSize) : nullptr;
  return face ? (dword)emu::TextWidth(face, text) : 0;
}

TAP_API_FUNCTION int TAP_Osd_PutS(int region, dword x, dword y, dword maxX, const char *text, dword colour,
                                  dword background, byte, byte fontSize, byte align) {
  FT_Face face = text ? emu::Face(fontSize) : nullptr;
  if (!face || maxX <= x || !emu::RegionPixel(region, x, y)) return 0;
  long lineHeight = face->size->metrics.height >> 6, ascender = face->size->metrics.ascender >> 6;
  if (background) TAP_Osd_FillBox(region, x, y, maxX - x, (dword)lineHeight, background);
  long width = emu::TextWidth(face, text), room = (long)(maxX - x);
  // The pen in 1/64 pixel, as the font's advances are: no drift along the text.
  long pen = ((long)x + (align == ALIGN_CENTER && width < room ? (room - width) / 2
                         : align == ALIGN_RIGHT && width < room ? room - width : 0)) * 64;
  byte fg[4];
  PutLE32(fg, colour);
  FT_UInt previous = 0;
  for (const char *p = text; *p;) {
    FT_UInt index = FT_Get_Char_Index(face, emu::NextCodePoint(&p));
    pen += emu::Kerning(face, previous, index);
    previous = index;
    if (FT_Load_Glyph(face, index, FT_LOAD_RENDER) != 0) continue;
    FT_GlyphSlot glyph = face->glyph;
    const FT_Bitmap &bitmap = glyph->bitmap;
    for (unsigned row = 0; row < bitmap.rows; row++) {
      long py = (long)y + ascender - glyph->bitmap_top + (long)row;
      for (unsigned column = 0; column < bitmap.width; column++) {
        long px = ((pen + 32) >> 6) + glyph->bitmap_left + (long)column;
        unsigned alpha = bitmap.buffer[row * (unsigned)bitmap.pitch + column];
        if (!alpha || px < (long)x || px >= (long)maxX || py < 0) continue;
        byte *pixel = emu::RegionPixel(region, (dword)px, (dword)py);
        if (!pixel) continue;
        for (int i = 0; i < 3; i++) pixel[i] = emu::Mix(pixel[i], fg[i], alpha);
        pixel[3] = pixel[3] > fg[3] ? pixel[3] : emu::Mix(pixel[3], fg[3], alpha);
      }
    }
    pen += glyph->advance.x;
    if ((pen >> 6) >= (long)maxX) break;
  }
  return 1;
}
