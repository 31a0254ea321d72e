#include "platform/png_codec.h"

#include <stdlib.h>
#include <string.h>

#include "common/common_memory.h"
#include "platform/byte_order.h"

// Built from source for the PVR, LodePNG is C; Debian's library on a PC is C++.
#ifdef ORVANE_LODEPNG_C
extern "C" {
#include <lodepng.h>
}
#else
#include <lodepng.h>
#endif

namespace {

enum { HEADER = 8 };   // the block's size, and alignment for what follows

// What LodePNG returned, as memory of the common allocator.
byte *TakeLodePngResult(unsigned char *result, size_t size) {
#ifdef ORVANE_LODEPNG_C
  return PngHeapDetach(result, size);
#else
  // Debian's library allocates with malloc.
  byte *copy = static_cast<byte *>(CommonAlloc(size));
  if (copy && size) memcpy(copy, result, size);
  free(result);
  return copy;
#endif
}

void ReleaseLodePngResult(unsigned char *result) {
#ifdef ORVANE_LODEPNG_C
  PngHeapFree(result);
#else
  free(result);
#endif
}

}  // namespace

void *PngHeapAlloc(size_t size) {
  if (size > (size_t)0x7FFFFFFF - HEADER) return nullptr;
  byte *block = static_cast<byte *>(CommonAlloc(size + HEADER));
  if (!block) return nullptr;
  PutLE32(block, (uint32_t)size);
  return block + HEADER;
}

void *PngHeapRealloc(void *block, size_t size) {
  if (!block) return PngHeapAlloc(size);
  size_t old = GetLE32(static_cast<byte *>(block) - HEADER);
  void *grown = PngHeapAlloc(size);
  if (!grown) return nullptr;   // the old block stays, as with realloc
  memcpy(grown, block, old < size ? old : size);
  PngHeapFree(block);
  return grown;
}

void PngHeapFree(void *block) {
  if (block) CommonFree(static_cast<byte *>(block) - HEADER);
}

byte *PngHeapDetach(void *block, size_t size) {
  if (!block) return nullptr;
  byte *start = static_cast<byte *>(block) - HEADER;
  memmove(start, block, size);
  return start;
}

#ifdef ORVANE_LODEPNG_C
extern "C" {
void *lodepng_malloc(size_t size) { return PngHeapAlloc(size); }
void *lodepng_realloc(void *block, size_t size) { return PngHeapRealloc(block, size); }
void lodepng_free(void *block) { PngHeapFree(block); }
}
#endif

unsigned PngEncodeRGBA(const byte *pixels, unsigned width, unsigned height, byte **png, size_t *size) {
  *png = nullptr;
  *size = 0;
  unsigned char *encoded = nullptr;
  size_t length = 0;
  unsigned error = lodepng_encode32(&encoded, &length, pixels, width, height);
  if (error) {
    ReleaseLodePngResult(encoded);
    return error;
  }
  *png = TakeLodePngResult(encoded, length);
  if (!*png) return 83;   // LodePNG's code for a failed allocation
  *size = length;
  return 0;
}

int PngImageSize(const byte *png, size_t size, unsigned *width, unsigned *height) {
  static const byte kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (!png || size < 24 || memcmp(png, kSignature, 8) != 0 || memcmp(png + 12, "IHDR", 4) != 0) return 0;
  *width = GetBE32(png + 16);
  *height = GetBE32(png + 20);
  return 1;
}

unsigned PngDecodeRGBA(const byte *png, size_t size, size_t maxPixels, byte **pixels, unsigned *width,
                       unsigned *height) {
  *pixels = nullptr;
  *width = *height = 0;
  unsigned w, h;
  // The header decides how much memory the decoder takes: checked before it starts.
  if (PngImageSize(png, size, &w, &h) && (h != 0 && w > maxPixels / h)) return PNG_TOO_LARGE;
  unsigned char *decoded = nullptr;
  unsigned error = lodepng_decode32(&decoded, &w, &h, png, size);
  if (error) {
    ReleaseLodePngResult(decoded);
    return error;
  }
  *pixels = TakeLodePngResult(decoded, (size_t)w * h * 4);
  if (!*pixels) return 83;
  *width = w;
  *height = h;
  return 0;
}

const char *PngErrorText(unsigned code) {
  if (code == PNG_TOO_LARGE) return "image too large";
  return lodepng_error_text(code);
}
