// Compression ratio and speed of the TFD block compressor beside gzip -9 and the lh5
// method of Debian's jlha, on a text corpus and on logo-like bitmaps.
//
// Sizes compared: ours = whole TFD containers (headers included); jlha = the lh5 data of
// the archive members (LHA headers left out); gzip = the deflate data (the 18-byte gzip
// wrapper of each member left out). Each item of an input is compressed on its own, as
// the logo store does with every logo. The tools' times exclude their start-up time,
// measured once on a 1-byte file.
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "platform/tfd_compress.h"

namespace {

typedef std::vector<uint8_t> Bytes;

struct Input {
  std::string name;
  std::vector<Bytes> items;
};

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

bool ReadFile(const std::string &path, Bytes *out) {
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) return false;
  out->clear();
  uint8_t buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) out->insert(out->end(), buffer, buffer + n);
  fclose(f);
  return true;
}

bool WriteFile(const std::string &path, const Bytes &data) {
  FILE *f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
  return fclose(f) == 0 && ok;
}

long FileSize(const std::string &path) {
  struct stat s;
  return stat(path.c_str(), &s) == 0 ? (long)s.st_size : -1;
}

// Regular files below a folder, sorted, following no links into other trees.
void ListFiles(const std::string &dir, std::vector<std::string> *out) {
  DIR *d = opendir(dir.c_str());
  if (!d) return;
  std::vector<std::string> names;
  while (dirent *e = readdir(d)) {
    if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.push_back(e->d_name);
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const std::string &name : names) {
    std::string path = dir + "/" + name;
    struct stat s;
    if (lstat(path.c_str(), &s) != 0) continue;
    if (S_ISDIR(s.st_mode)) {
      ListFiles(path, out);
    } else if (S_ISREG(s.st_mode)) {
      out->push_back(path);
    }
  }
}

bool LooksLikeText(const Bytes &b) {
  if (b.empty()) return false;
  size_t odd = 0;
  for (uint8_t c : b) odd += (c < 9 || (c > 13 && c < 32)) ? 1 : 0;
  return odd == 0;
}

// The licences plus plain-text files of /usr/share/doc, up to about limit bytes.
Input TextCorpus(size_t limit) {
  Input in{"text: licences+docs", {Bytes()}};
  Bytes &all = in.items[0];
  std::vector<std::string> files;
  ListFiles("/usr/share/common-licenses", &files);
  ListFiles("/usr/share/doc", &files);
  for (const std::string &path : files) {
    if (all.size() >= limit) break;
    if (path.size() > 3 && path.compare(path.size() - 3, 3, ".gz") == 0) continue;
    Bytes b;
    if (!ReadFile(path, &b) || b.size() > 200000 || !LooksLikeText(b)) continue;
    all.insert(all.end(), b.begin(), b.end());
  }
  if (all.size() > limit) all.resize(limit);
  return in;
}

Input SingleFile(const char *name, const char *path) {
  Input in{name, {}};
  Bytes b;
  if (ReadFile(path, &b) && !b.empty()) in.items.push_back(b);
  return in;
}

// A logo in 32-bit pixels (B, G, R, A in memory): transparent corners, a flat plate, a
// gradient band, a few glyph-like bars with soft edges and a coloured disc.
Bytes SyntheticLogo(int width, int height, std::mt19937 &rng) {
  Bytes b((size_t)width * height * 4);
  uint8_t plate[3] = {(uint8_t)rng(), (uint8_t)rng(), (uint8_t)rng()};
  uint8_t ink[3] = {(uint8_t)(255 - plate[0]), (uint8_t)(255 - plate[1]), (uint8_t)(255 - plate[2])};
  int bars = 2 + rng() % 5;
  int barX[8], barW[8];
  for (int i = 0; i < bars; i++) {
    barX[i] = width / 10 + (int)(rng() % (width * 7 / 10));
    barW[i] = 2 + rng() % 5;
  }
  int cx = (int)(rng() % width), cy = (int)(rng() % height), r = 3 + rng() % (height / 3 + 1);
  bool gradient = rng() % 2;
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      uint8_t *p = &b[((size_t)y * width + x) * 4];
      int corner = std::min(std::min(x, width - 1 - x), std::min(y, height - 1 - y));
      if (corner < 2) {
        p[0] = p[1] = p[2] = p[3] = 0;
        continue;
      }
      p[0] = plate[0], p[1] = plate[1], p[2] = plate[2], p[3] = 0xFF;
      if (gradient && y > height / 2) {
        p[0] = (uint8_t)(plate[0] + x * 2);
        p[1] = (uint8_t)(plate[1] + y);
      }
      for (int i = 0; i < bars; i++) {
        int d = x - barX[i];
        if (d >= 0 && d < barW[i] && y > height / 5 && y < height * 4 / 5) {
          int edge = (d == 0 || d == barW[i] - 1) ? 2 : 1;
          for (int c = 0; c < 3; c++) p[c] = (uint8_t)((ink[c] + p[c] * (edge - 1)) / edge);
        }
      }
      int dx = x - cx, dy = y - cy;
      if (dx * dx + dy * dy <= r * r) {
        p[0] = 0x10;
        p[1] = (uint8_t)(0x80 + dy * 3);
        p[2] = 0xF0;
      }
    }
  }
  return b;
}

Input SyntheticLogos(int count, int width, int height) {
  Input in{"logos: " + std::to_string(count) + " synth. " + std::to_string(width) + "x" +
               std::to_string(height),
           {}};
  std::mt19937 rng(2024);
  for (int i = 0; i < count; i++) in.items.push_back(SyntheticLogo(width, height, rng));
  return in;
}

// One sprite sheet: rows of 54 x 34 cells filled with synthetic logos.
Input SpriteSheet(int across, int rows) {
  Input in{"bitmap: " + std::to_string(across * 54) + "x" + std::to_string(rows * 34) + " sheet",
           {Bytes((size_t)across * 54 * rows * 34 * 4, 0)}};
  std::mt19937 rng(77);
  Bytes &sheet = in.items[0];
  for (int r = 0; r < rows; r++) {
    for (int c = 0; c < across; c++) {
      if (rng() % 6 == 0) continue;   // empty cell
      Bytes cell = SyntheticLogo(54, 34, rng);
      for (int y = 0; y < 34; y++) {
        memcpy(&sheet[(((size_t)r * 34 + y) * across * 54 + c * 54) * 4], &cell[(size_t)y * 54 * 4], 54 * 4);
      }
    }
  }
  return in;
}

// Desktop icons as 32-bit pixels (converted with Debian's Python imaging library).
Input Icons(const std::string &dir, int size, int count, const std::string &work) {
  Input in{"icons: " + std::to_string(size) + "x" + std::to_string(size) + " icons", {}};
  std::string out = work + "/icons-" + std::to_string(size);
  std::string command = "/usr/bin/python3 -c '\n"
                        "import sys, glob, os\n"
                        "from PIL import Image\n"
                        "files = sorted(glob.glob(sys.argv[1] + \"/**/*.png\", recursive=True))[:int(sys.argv[3])]\n"
                        "os.makedirs(sys.argv[2], exist_ok=True)\n"
                        "for i, f in enumerate(files):\n"
                        "    im = Image.open(f).convert(\"RGBA\")\n"
                        "    r, g, b, a = im.split()\n"
                        "    open(sys.argv[2] + \"/%04d.raw\" % i, \"wb\").write(Image.merge(\"RGBA\", (b, g, r, a)).tobytes())\n"
                        "' " + dir + " " + out + " " + std::to_string(count) + " 2>/dev/null";
  if (system(command.c_str()) != 0) return in;
  std::vector<std::string> files;
  ListFiles(out, &files);
  for (const std::string &f : files) {
    Bytes b;
    if (ReadFile(f, &b) && !b.empty()) in.items.push_back(b);
  }
  return in;
}

struct Result {
  double size = -1;   // compressed bytes, -1 when the tool is missing
  double seconds = 0;
};

Result Ours(const Input &in) {
  Result r;
  size_t total = 0;
  for (const Bytes &b : in.items) total += b.size();
  std::vector<uint8_t> out;
  int rounds = 0;
  double start = Now(), size = 0;
  do {
    size = 0;
    for (const Bytes &b : in.items) {
      out.resize(TFDMaxSize((dword)b.size()));
      size += CompressTFD(b.data(), (dword)b.size(), out.data(), 1, 0xFFFF, nullptr);
    }
    rounds++;
  } while (Now() - start < 0.5 && rounds < 50);
  r.size = size;
  r.seconds = (Now() - start) / rounds;
  (void)total;
  return r;
}

// Writes the items as files and returns their names, relative to dir.
std::string WriteItems(const Input &in, const std::string &dir) {
  std::string names;
  if (system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()) != 0) return names;
  for (size_t i = 0; i < in.items.size(); i++) {
    char name[32];
    snprintf(name, sizeof name, "i%05zu.bin", i);
    WriteFile(dir + "/" + name, in.items[i]);
    names += std::string(" ") + name;
  }
  return names;
}

double Timed(const std::string &command, int *status) {
  double start = Now();
  *status = system(command.c_str());
  return Now() - start;
}

// The lh5 data of every member of a level-0 archive; -1 when it cannot be read.
double LhaPackedBytes(const std::string &path) {
  Bytes a;
  if (!ReadFile(path, &a)) return -1;
  double packed = 0;
  size_t at = 0;
  while (at < a.size() && a[at] != 0) {
    if (at + 22 > a.size()) return -1;
    size_t headerSize = a[at];
    uint32_t size = a[at + 7] | a[at + 8] << 8 | a[at + 9] << 16 | (uint32_t)a[at + 10] << 24;
    packed += size;
    at += 2 + headerSize + size;
  }
  return packed;
}

double gJlhaStartup = 0, gGzipStartup = 0;

// The items cut into pieces of one TFD block each, so that jlha compresses exactly what
// one block of ours holds (each piece with a fresh dictionary and its own tables).
Input Pieces(const Input &in) {
  Input out{in.name, {}};
  for (const Bytes &b : in.items) {
    for (size_t at = 0; at < b.size(); at += TFD_BLOCK_MAX) {
      size_t n = std::min<size_t>(TFD_BLOCK_MAX, b.size() - at);
      out.items.push_back(Bytes(b.begin() + at, b.begin() + at + n));
    }
  }
  return out;
}

Result Jlha(const Input &in, const std::string &work) {
  Result r;
  std::string dir = work + "/jlha";
  std::string names = WriteItems(in, dir);
  int status;
  double t = Timed("cd '" + dir + "' && jlha a0o5q archive.lzh" + names + " >/dev/null 2>&1", &status);
  if (status != 0) return r;
  r.size = LhaPackedBytes(dir + "/archive.lzh");
  r.seconds = t - gJlhaStartup;
  return r;
}

Result Gzip(const Input &in, const std::string &work) {
  Result r;
  std::string dir = work + "/gzip";
  std::string names = WriteItems(in, dir);
  int status;
  double t = Timed("cd '" + dir + "' && gzip -9 -n -c" + names + " > out.gz 2>/dev/null", &status);
  if (status != 0) return r;
  r.size = (double)FileSize(dir + "/out.gz") - 18.0 * in.items.size();
  r.seconds = t - gGzipStartup;
  return r;
}

void MeasureStartup(const std::string &work) {
  std::string dir = work + "/startup";
  Input one{"", {Bytes(1, 'x')}};
  WriteItems(one, dir);
  int status;
  double best = 1e9;
  for (int i = 0; i < 3; i++) {
    unlink((dir + "/archive.lzh").c_str());
    best = std::min(best, Timed("cd '" + dir + "' && jlha a0o5q archive.lzh i00000.bin >/dev/null 2>&1", &status));
  }
  gJlhaStartup = status == 0 ? best : 0;
  best = 1e9;
  for (int i = 0; i < 3; i++) {
    best = std::min(best, Timed("cd '" + dir + "' && gzip -9 -n -c i00000.bin >/dev/null 2>&1", &status));
  }
  gGzipStartup = status == 0 ? best : 0;
}

std::string Ratio(const Result &r, double total) {
  char text[32];
  if (r.size < 0) return "      -";
  snprintf(text, sizeof text, "%6.2f%%", r.size * 100 / total);
  return text;
}

std::string Speed(const Result &r, double total) {
  char text[32];
  if (r.size < 0) return "      -";
  if (r.seconds <= 0.0005) return "   fast";
  snprintf(text, sizeof text, "%7.2f", total / r.seconds / 1e6);
  return text;
}

}  // namespace

int main() {
  char pattern[] = "/tmp/tfd-bench-XXXXXX";
  if (!mkdtemp(pattern)) {
    perror("mkdtemp");
    return 1;
  }
  std::string work = pattern;
  MeasureStartup(work);

  std::vector<Input> inputs;
  inputs.push_back(TextCorpus(1 << 20));
  inputs.push_back(SingleFile("text: GPL-3", "/usr/share/common-licenses/GPL-3"));
  inputs.push_back(SyntheticLogos(300, 54, 34));
  inputs.push_back(SyntheticLogos(60, 220, 130));
  inputs.push_back(SpriteSheet(20, 10));
  inputs.push_back(Icons("/usr/share/icons/Adwaita/48x48", 48, 150, work));
  inputs.push_back(Icons("/usr/share/icons/Adwaita/96x96", 96, 57, work));

  printf("TFD compression beside jlha (lh5) and gzip -9. Ratio = compressed / original (lower\n"
         "is better); speed in MB/s of input. Tool start-up (jlha %.3f s, gzip %.3f s) is\n"
         "subtracted from their times. 'jlha' compresses each item as one stream; 'jlha/32K'\n"
         "compresses the same 32762-byte pieces that become our blocks, each on its own.\n\n",
         gJlhaStartup, gGzipStartup);
  printf("%-30s %8s %5s | %7s %6s | %7s %6s | %8s | %7s %6s | %8s %8s\n", "input", "bytes", "items",
         "ours", "MB/s", "jlha", "MB/s", "jlha/32K", "gzip-9", "MB/s", "vs jlha", "vs 32K");
  bool allBetter = true, allBetterPieces = true;
  for (const Input &in : inputs) {
    if (in.items.empty()) {
      printf("%-34s (not available on this machine)\n", in.name.c_str());
      continue;
    }
    double total = 0;
    for (const Bytes &b : in.items) total += b.size();
    Result ours = Ours(in), jlha = Jlha(in, work), pieces = Jlha(Pieces(in), work), gzip = Gzip(in, work);
    char versus[32] = "-", versusPieces[32] = "-";
    if (jlha.size > 0) {
      snprintf(versus, sizeof versus, "%+.2f%%", (ours.size - jlha.size) * 100 / jlha.size);
      if (ours.size > jlha.size) allBetter = false;
    }
    if (pieces.size > 0) {
      snprintf(versusPieces, sizeof versusPieces, "%+.2f%%", (ours.size - pieces.size) * 100 / pieces.size);
      if (ours.size > pieces.size) allBetterPieces = false;
    }
    printf("%-30s %8.0f %5zu | %s %s | %s %s | %s  | %s %s | %8s %8s\n", in.name.c_str(), total,
           in.items.size(), Ratio(ours, total).c_str(), Speed(ours, total).c_str() + 1,
           Ratio(jlha, total).c_str(), Speed(jlha, total).c_str() + 1, Ratio(pieces, total).c_str(),
           Ratio(gzip, total).c_str(), Speed(gzip, total).c_str() + 1, versus, versusPieces);
  }
  printf("\nOurs against jlha on whole items: %s; against jlha on the same 32762-byte\n"
         "pieces: %s.\n",
         allBetter ? "no larger on every input" : "larger on some inputs",
         allBetterPieces ? "no larger on every input" : "larger on some inputs");
  int ignored = system(("rm -rf '" + work + "'").c_str());
  (void)ignored;
  return 0;
}
