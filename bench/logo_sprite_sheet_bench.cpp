// The logo sprite sheet and the logo store on an emulated disk: the time to build the
// sheet for 200 and 1000 channels (logos from ID PNGs, the logo store and JPEGs, about a
// third each, and channels without a logo), and the size of "Logo.cache" against the logo
// files' pixels stored uncompressed. The cells are drawn through the emulated OSD as the
// TAP draws them (TFD bitmaps decoded, JPEGs decoded and scaled, the plane read back).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "common/common_memory.h"
#include "config/logo_sprite_sheet.h"
#include "config/osd_logo_painter.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"
#include "platform/file_replace.h"
#include "platform/png_codec.h"

namespace {

void MakeFolders(const std::string &path) {
  for (size_t at = 1; (at = path.find('/', at)) != std::string::npos; at++) mkdir(path.substr(0, at).c_str(), 0755);
  mkdir(path.c_str(), 0755);
}

// Logo-like pixels (B, G, R, A): a flat background, a filled circle, a gradient band and
// a noisy edge, as channel logos are drawn.
std::vector<byte> LogoPixels(int width, int height, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<byte> p((size_t)width * height * 4);
  byte bg[3] = {(byte)rng(), (byte)rng(), (byte)rng()};
  int cx = width / 3, cy = height / 2, r = height / 3;
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      byte *q = &p[((size_t)y * width + x) * 4];
      if (x < 2 || y < 2 || x >= width - 2 || y >= height - 2) {
        q[0] = q[1] = q[2] = q[3] = 0;
      } else if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) {
        q[0] = 0x20; q[1] = 0x30; q[2] = 0xE0; q[3] = 0xFF;
      } else if (y > height / 2 && y < height * 3 / 4) {
        q[0] = (byte)(x * 255 / width); q[1] = (byte)(y * 4); q[2] = 0x80; q[3] = 0xFF;
      } else {
        q[0] = bg[0]; q[1] = bg[1]; q[2] = bg[2]; q[3] = 0xFF;
      }
      if ((x == 2 || x == width - 3) && rng() % 3 == 0) q[1] ^= (byte)rng();
    }
  }
  return p;
}

// A JPEG logo made by Pillow, the same for every JPEG channel.
std::string gJpeg;

bool MakeJpeg(const std::string &folder) {
  std::string path = folder + "/logo.jpg";
  std::string command = "/usr/bin/python3 -c \"from PIL import Image, ImageDraw; im = Image.new('RGB', (108, 68), "
                        "(30, 90, 200)); ImageDraw.Draw(im).ellipse([10, 8, 60, 58], fill=(240, 200, 20)); "
                        "im.save('" + path + "', 'JPEG', quality=90)\"";
  if (system(command.c_str()) != 0) return false;
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) return false;
  char buffer[65536];
  size_t n = fread(buffer, 1, sizeof buffer, f);
  fclose(f);
  gJpeg.assign(buffer, n);
  return n > 0;
}

// Writes the logo files of a disk with n channels; returns the channels.
std::vector<LogoChannel> MakeDisk(int n, std::vector<std::string> *names) {
  names->clear();
  for (int i = 0; i < n; i++) names->push_back("Channel " + std::to_string(i));
  std::vector<LogoChannel> channels;
  for (int i = 0; i < n; i++) {
    uint64_t id = 0x0130044d00000000ull + (uint64_t)i;
    channels.push_back({i % 5 == 4, i, id, (*names)[i].c_str()});
    char file[PVR_PATH_SIZE];
    switch (i % 4) {
      case 0: {   // a PNG by logo ID
        std::vector<byte> bgra = LogoPixels(LOGO_CELL_WIDTH, LOGO_CELL_HEIGHT, (unsigned)i), rgba(bgra.size());
        for (size_t k = 0; k < bgra.size(); k += 4) {
          rgba[k] = bgra[k + 2]; rgba[k + 1] = bgra[k + 1]; rgba[k + 2] = bgra[k]; rgba[k + 3] = bgra[k + 3];
        }
        byte *png;
        size_t size;
        if (PngEncodeRGBA(rgba.data(), LOGO_CELL_WIDTH, LOGO_CELL_HEIGHT, &png, &size) == 0) {
          snprintf(file, sizeof file, "%s/%016llx.png", kLogoFolder, (unsigned long long)id);
          ReplaceFile(file, png, size);
          CommonFree(png);
        }
        break;
      }
      case 1: {   // a logo of the store, in three sizes
        char safe[64];
        LogoManager_ChannelNameToLogoName(channels.back().name, safe, sizeof safe);
        const int sizes[3][2] = {{54, 34}, {90, 56}, {36, 22}};
        for (int s = 0; s < 3; s++) {
          std::vector<byte> pixels = LogoPixels(sizes[s][0], sizes[s][1], (unsigned)(i * 3 + s));
          std::string data(8, '\0');
          PutLE32(&data[0], (uint32_t)sizes[s][0]);
          PutLE32(&data[4], (uint32_t)sizes[s][1]);
          data.append((const char *)pixels.data(), pixels.size());
          snprintf(file, sizeof file, "%s/trans-black/169/%s%s.%s", kLogoFolder, channels.back().svcType ? "r_" : "",
                   safe, gLogoSizeExtensions[s]);
          ReplaceFile(file, data.data(), data.size());
        }
        break;
      }
      case 2:   // a JPEG by logo ID
        snprintf(file, sizeof file, "%s/%016llx.jpg", kLogoFolder, (unsigned long long)id);
        ReplaceFile(file, gJpeg.data(), gJpeg.size());
        break;
      default:  // no logo
        break;
    }
  }
  return channels;
}

}  // namespace

int main() {
  char pattern[] = "/tmp/orvane-logo-bench-XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  std::string root = pattern;
  MakeFolders(root + "/mnt/hd/ProgramFiles/Settings/Orvane/public_html");
  MakeFolders(root + "/mnt/hd/ProgramFiles/Settings/Logos/trans-black/169");
  std::string error;
  if (!emu::Start(root, &error)) {
    fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  if (!MakeJpeg(root)) {
    fprintf(stderr, "Pillow could not write the JPEG logo\n");
    return 1;
  }
  printf("Logo sprite sheet (54 x 34 cells; a quarter of the channels each from ID PNGs, the logo store,\n"
         "JPEGs, none)\n\n");
  printf("%9s %12s %12s %8s %14s %14s %12s %8s\n", "channels", "store build", "sheet build", "logos", "sheet PNG",
         "Logo.cache", "uncompressed", "ratio");
  for (int n : {200, 1000}) {
    if (system(("rm -rf '" + root + "/mnt/hd/ProgramFiles/Settings/Logos'/* 2>/dev/null; mkdir -p '" + root +
                "/mnt/hd/ProgramFiles/Settings/Logos/trans-black/169'").c_str()) != 0) {
      fprintf(stderr, "cannot prepare the logo folder\n");
      return 1;
    }
    std::vector<std::string> names;
    std::vector<LogoChannel> channels = MakeDisk(n, &names);
    double t0 = bench::Seconds();
    LogoCacheReport cacheReport;
    LogoCacheBuild(kLogoFolder, &cacheReport);
    double t1 = bench::Seconds();
    LogoStore store;
    LogoStoreOpen(&store, kLogoFolder, 0);
    // The logo files' pixels without compression, with the cache's own header and records.
    double uncompressed = LOGO_CACHE_HEADER;
    for (dword i = 0; i < store.count; i++) {
      const byte *image = LogoStoreImage(&store, &store.records[i], nullptr);
      uncompressed += LOGO_CACHE_RECORD + LOGO_BITMAP_HEADER + (image ? GetLE32(image + 8) : 0);
    }
    LogoStoreClose(&store);
    LogoStoreOpen(&store, kLogoFolder, 0);
    LogoSheetOptions options = {OsdLogoPainter(), &store, "2024/01/01 00:00:00", nullptr, nullptr};
    LogoSheetReport report;
    double t2 = bench::Seconds();
    BuildLogoSpriteSheet(channels.data(), (int)channels.size(), &options, &report);
    double t3 = bench::Seconds();
    LogoStoreClose(&store);
    struct stat cache, png;
    stat((root + "/mnt/hd/ProgramFiles/Settings/Logos/Logo.cache").c_str(), &cache);
    stat((root + "/mnt/hd/ProgramFiles/Settings/Orvane/public_html/service-logos.png").c_str(), &png);
    printf("%9d %10.1f ms %10.1f ms %8d %8ld bytes %8ld bytes %6.0f bytes %7.1f%%\n", n, (t1 - t0) * 1000,
           (t3 - t2) * 1000, report.logos, (long)png.st_size, (long)cache.st_size, uncompressed,
           100.0 * cache.st_size / uncompressed);
  }
  if (system(("rm -rf '" + root + "'").c_str()) != 0) fprintf(stderr, "cannot remove %s\n", root.c_str());
  return 0;
}
