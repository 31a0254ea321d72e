// PNG images through LodePNG: 8-bit RGBA pixels, rows top to bottom, 4 bytes a pixel.
// Everything these return comes from the common allocator (TAP_MemAlloc in a TAP) and is
// released with CommonFree, on both builds.
#pragma once

#include <stddef.h>

#include "platform/tap_api.h"

enum { PNG_TOO_LARGE = 1000 };   // an image with more pixels than the caller allows

// Encodes width x height pixels. Returns 0 and the PNG in *png (*size bytes), or LodePNG's
// error code.
unsigned PngEncodeRGBA(const byte *pixels, unsigned width, unsigned height, byte **png, size_t *size);
// Decodes a PNG of at most maxPixels pixels to RGBA. Returns 0, PNG_TOO_LARGE, or
// LodePNG's error code; *pixels is null on failure.
unsigned PngDecodeRGBA(const byte *png, size_t size, size_t maxPixels, byte **pixels, unsigned *width,
                       unsigned *height);
// The dimensions in the PNG's header; 0 when it is no PNG.
int PngImageSize(const byte *png, size_t size, unsigned *width, unsigned *height);
// LodePNG's text for an error code.
const char *PngErrorText(unsigned code);

// The allocator LodePNG gets in the PVR build (it needs the old size to reallocate, so
// every block carries a small header with its size). Memory from the common allocator.
void *PngHeapAlloc(size_t size);
void *PngHeapRealloc(void *block, size_t size);
void PngHeapFree(void *block);
// Turns a block of PngHeapAlloc into memory that CommonFree releases, its size bytes
// moved to the start.
byte *PngHeapDetach(void *block, size_t size);
