// TAP_Osd_PutGd: draws a TAP bitmap, a 16-byte header (1, 0, 0, 2; a pointer word; the
// length of the pixel data; width and height as 16-bit values) followed by the pixel data
// (4 bytes a pixel: blue, green, red, alpha) in a TFD container. The container's blocks are
// decoded by Debian's lhasa library (LHA lh5), as the firmware decodes them, and checked
// against their CRCs; a stored block (compressed length equal to its length) is copied.
#include <string.h>

#include <vector>

extern "C" {
#include <lha_decoder.h>
}

#include "emulator/emu_firmware.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"

namespace emu {

enum { BITMAP_HEADER_SIZE = 16, TFD_HEADER = 10, TFD_BLOCK_HEADER = 8 };

namespace {


word GetBE16(const byte *p) { return (word)(p[0] << 8 | p[1]); }

// CRC-16 with the reflected polynomial 0xA001, bit by bit.
word Crc16(const byte *data, size_t n) {
  word crc = 0;
  for (size_t i = 0; i < n; i++) {
    crc = (word)(crc ^ data[i]);
    for (int bit = 0; bit < 8; bit++) crc = (word)(crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1);
  }
  return crc;
}

struct Stream {
  const byte *data;
  size_t left;
};

size_t ReadStream(void *buffer, size_t length, void *context) {
  Stream *s = static_cast<Stream *>(context);
  size_t n = length < s->left ? length : s->left;
  memcpy(buffer, s->data, n);
  s->data += n;
  s->left -= n;
  return n;
}

// Decodes one lh5 block of packed bytes into exactly length bytes.
bool DecodeLh5(const byte *packed, size_t packedLength, byte *out, size_t length) {
  static char method[] = "-lh5-";
  LHADecoderType *type = lha_decoder_for_name(method);
  if (!type) return false;
  Stream stream = {packed, packedLength};
  LHADecoder *decoder = lha_decoder_new(type, ReadStream, &stream, length);
  if (!decoder) return false;
  size_t done = 0;
  while (done < length) {
    size_t n = lha_decoder_read(decoder, out + done, length - done);
    if (n == 0) break;
    done += n;
  }
  lha_decoder_free(decoder);
  return done == length;
}

}  // namespace

// Decodes a TFD container that lies within size bytes; false when it is malformed, a CRC
// is wrong or it does not fit.
bool DecodeTfd(const byte *container, size_t size, std::vector<byte> *out) {
  out->clear();
  if (size < TFD_HEADER || GetBE16(container) != 8 || GetBE16(container + 6) != 1 ||
      GetBE16(container + 2) != Crc16(container + 4, 6)) {
    return false;
  }
  size_t blocks = GetBE16(container + 8), at = TFD_HEADER;
  for (size_t i = 0; i < blocks; i++) {
    if (size - at < TFD_BLOCK_HEADER) return false;
    const byte *block = container + at;
    size_t packedLength = GetBE16(block);
    size_t length = GetBE16(block + 6);
    if (packedLength < 6 || size - at - 2 < packedLength || GetBE16(block + 2) != Crc16(block + 4, packedLength - 2)) {
      return false;
    }
    packedLength -= 6;
    size_t start = out->size();
    out->resize(start + length);
    if (packedLength == length) {
      memcpy(out->data() + start, block + TFD_BLOCK_HEADER, length);
    } else if (!DecodeLh5(block + TFD_BLOCK_HEADER, packedLength, out->data() + start, length)) {
      return false;
    }
    at += 2 + packedLength + 6;
  }
  return true;
}

}  // namespace emu

// sprite set: pixels whose alpha is 0 leave the region as it was.
TAP_API_FUNCTION int TAP_Osd_PutGd(int region, int x, int y, const void *bitmap, int sprite) {
  const byte *gd = static_cast<const byte *>(bitmap);
  if (!gd || x < 0 || y < 0 || gd[0] != 1 || gd[1] != 0 || gd[2] != 0 || gd[3] != 2) return 0;
  dword length = GetLE32(gd + 8);
  dword width = GetLE16(gd + 12), height = GetLE16(gd + 14);
  if ((uint64_t)width * height * 4 != length || width > OSD_WIDTH || height > OSD_HEIGHT) return 0;
  // The container's size is not in the header; it cannot exceed that of all blocks stored.
  size_t blocks = (length + 32761) / 32762;
  std::vector<byte> pixels;
  if (!emu::DecodeTfd(gd + emu::BITMAP_HEADER_SIZE, 10 + length + blocks * 8, &pixels) || pixels.size() != length) {
    emu::Effect("TAP_Osd_PutGd on region %d: the bitmap's pixel data cannot be decoded", region);
    return 0;
  }
  if (!sprite) return TAP_Osd_DrawPixmap(region, (dword)x, (dword)y, width, height, pixels.data());
  for (dword row = 0; row < height; row++) {
    for (dword column = 0; column < width; column++) {
      const byte *p = &pixels[(row * width + column) * 4];
      if (p[3]) TAP_Osd_PutPixel(region, (dword)x + column, (dword)y + row, GetLE32(p));
    }
  }
  return 1;
}
