// TAP_Osd_DrawJpeg: a JPEG file of the TAP file system, decoded by Debian's libjpeg-turbo
// and drawn scaled (nearest pixel) into a rectangle of a region, opaque.
#include <setjmp.h>
#include <stdio.h>
#include <string.h>

#include <vector>

#include <jpeglib.h>

#include "emulator/emu_firmware.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"

namespace emu {

namespace {

enum : dword { JPEG_FILE_LIMIT = 8 * 1024 * 1024, JPEG_SIDE_LIMIT = 4096 };

// A decoding error jumps back to the jmp_buf that client_data points to.
void OnError(j_common_ptr info) { longjmp(*static_cast<jmp_buf *>(info->client_data), 1); }
void OnMessage(j_common_ptr) {}

// The whole file, read through the TAP file API; empty when it cannot be read.
std::vector<byte> ReadTapFile(const char *name) {
  std::vector<byte> data;
  TYPE_File *file = TAP_Hdd_Fopen(name);
  if (!file) return data;
  dword length = TAP_Hdd_Flen(file);
  if (length > 0 && length <= JPEG_FILE_LIMIT) {
    data.resize(length);
    if (TAP_Hdd_Fread(data.data(), 1, length, file) != length) data.clear();
  }
  TAP_Hdd_Fclose(file);
  return data;
}

}  // namespace

// Decodes a JPEG into red, green, blue rows; false when it is no JPEG libjpeg reads.
bool DecodeJpeg(const std::vector<byte> &data, std::vector<byte> *rgb, dword *width, dword *height) {
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  jmp_buf jump;
  info.err = jpeg_std_error(&errors);
  errors.error_exit = OnError;
  errors.output_message = OnMessage;
  info.client_data = &jump;
  if (setjmp(jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data.data(), (unsigned long)data.size());
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || info.image_width > JPEG_SIDE_LIMIT ||
      info.image_height > JPEG_SIDE_LIMIT) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  *width = info.output_width;
  *height = info.output_height;
  rgb->assign((size_t)*width * *height * 3, 0);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = rgb->data() + (size_t)info.output_scanline * *width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return *width > 0 && *height > 0;
}

}  // namespace emu

// 1 when the JPEG was drawn; 0 when the file cannot be read or decoded or the region is
// not there.
TAP_API_FUNCTION int TAP_Osd_DrawJpeg(int region, dword x, dword y, dword width, dword height, const char *file, int) {
  if (!file || width == 0 || height == 0 || width > OSD_WIDTH || height > OSD_HEIGHT) return 0;
  std::vector<byte> data = emu::ReadTapFile(file), rgb;
  dword jpegWidth = 0, jpegHeight = 0;
  if (data.empty() || !emu::DecodeJpeg(data, &rgb, &jpegWidth, &jpegHeight)) {
    emu::Effect("TAP_Osd_DrawJpeg: %s is no JPEG that can be decoded", file);
    return 0;
  }
  std::vector<byte> pixels((size_t)width * height * 4);
  for (dword row = 0; row < height; row++) {
    for (dword column = 0; column < width; column++) {
      const byte *s = &rgb[((size_t)(row * jpegHeight / height) * jpegWidth + column * jpegWidth / width) * 3];
      byte *d = &pixels[((size_t)row * width + column) * 4];
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
      d[3] = 0xFF;
    }
  }
  return TAP_Osd_DrawPixmap(region, x, y, width, height, pixels.data());
}
