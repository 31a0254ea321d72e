#include "platform/firmware_memory.h"

#include <fcntl.h>
#include <stdint.h>
#include <unistd.h>

namespace {

// One line of "/proc/self/maps": "start-end perms ...", addresses in hex.
struct Mapping {
  uint64_t start, end;
  bool readable;
};

// Reads a hex number at *p; false when there is none.
bool ReadHex(const char **p, const char *end, uint64_t *value) {
  uint64_t v = 0;
  const char *s = *p;
  int digits = 0;
  for (; s < end && digits < 16; s++, digits++) {
    char c = *s;
    int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (d < 0) break;
    v = v << 4 | (uint64_t)d;
  }
  *p = s;
  *value = v;
  return digits > 0;
}

bool ParseLine(const char *line, const char *end, Mapping *m) {
  const char *p = line;
  if (!ReadHex(&p, end, &m->start) || p >= end || *p++ != '-' || !ReadHex(&p, end, &m->end)) return false;
  if (p >= end || *p++ != ' ' || p >= end) return false;
  m->readable = *p == 'r';
  return m->start < m->end;
}

// The run of contiguous readable mappings that holds the address, read line by line.
struct Region {
  uint64_t address;
  uint64_t start = 0, end = 0;
  bool found = false, done = false;

  void Add(const Mapping &m) {
    if (found) {
      if (m.readable && m.start == end) {
        end = m.end;
      } else {
        done = true;   // the lines come in address order: the region is whole
      }
      return;
    }
    if (!m.readable) {
      start = end = 0;
      return;
    }
    if (end == 0 || m.start != end) start = m.start;
    end = m.end;
    found = address >= start && address < end;
  }
};

}  // namespace

int FirmwareMemoryRegion(dword address, const byte **bytes, dword *start, dword *size) {
  if (address == 0) return 0;
  // The process's own memory: not a path of the PVR's file system.
  int fd = open("/proc/self/maps", O_RDONLY);
  if (fd < 0) return 0;
  char buffer[4096];
  char line[512];
  size_t used = 0;
  Region region;
  region.address = address;
  ssize_t n;
  while (!region.done && (n = read(fd, buffer, sizeof buffer)) > 0) {
    for (ssize_t i = 0; i < n && !region.done; i++) {
      if (buffer[i] != '\n') {
        if (used < sizeof line) line[used++] = buffer[i];
        continue;
      }
      Mapping m;
      if (ParseLine(line, line + used, &m)) region.Add(m);
      used = 0;
    }
  }
  close(fd);
  if (!region.found) return 0;
  uint64_t from = region.start, to = region.end;
  if (to > 0x100000000ull) to = 0x100000000ull;
  if (from == 0) from = 1;   // address 0 is never firmware memory
  if (from >= to) return 0;
  *bytes = reinterpret_cast<const byte *>((uintptr_t)from);
  *start = (dword)from;
  uint64_t length = to - from;
  *size = length > 0xFFFFFFFFull ? 0xFFFFFFFFu : (dword)length;
  return 1;
}
