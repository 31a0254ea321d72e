// A temporary emulated root for fuzz targets that read files by their PVR paths: made
// once per run in memory (/dev/shm, else /tmp), named by ORVANE_ROOT, removed at exit. Console output of the
// code under test goes to /dev/null, so that fuzzing is not slowed by printing.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace fuzz {

inline std::string &RootFolder() {
  static std::string root;
  return root;
}

inline void RemoveRoot() {
  if (RootFolder().find("/orvane-fuzz-") == std::string::npos) return;
  std::string command = "rm -rf '" + RootFolder() + "'";
  int ignored = system(command.c_str());
  (void)ignored;
}

// Makes the root (once) with the given PVR folders and silences standard output.
inline const std::string &MakeRoot(const char *const *folders, size_t count) {
  if (!RootFolder().empty()) return RootFolder();
  char pattern[] = "/dev/shm/orvane-fuzz-XXXXXX";
  if (!mkdtemp(pattern)) {
    memcpy(pattern, "/tmp/orvane-fuzz-XXXXXX", sizeof "/tmp/orvane-fuzz-XXXXXX");
    if (!mkdtemp(pattern)) abort();
  }
  RootFolder() = pattern;
  setenv("ORVANE_ROOT", pattern, 1);
  for (size_t i = 0; i < count; i++) {
    std::string path = RootFolder();
    const char *folder = folders[i];
    for (const char *slash = folder; *slash; slash++) {
      if (*slash == '/' && slash != folder) mkdir((path + std::string(folder, slash)).c_str(), 0755);
    }
    mkdir((path + folder).c_str(), 0755);
  }
  atexit(RemoveRoot);
  if (!freopen("/dev/null", "w", stdout)) abort();
  return RootFolder();
}

// Host path of a PVR path ("/mnt/hd/...") below the root.
inline std::string HostPath(const char *pvrPath) { return RootFolder() + pvrPath; }

// Writes size bytes as the file at a PVR path, replacing what was there.
inline void WriteFile(const char *pvrPath, const uint8_t *data, size_t size) {
  FILE *file = fopen(HostPath(pvrPath).c_str(), "wb");
  if (!file) abort();
  if (size && fwrite(data, 1, size, file) != size) abort();
  fclose(file);
}

// Splits input into two parts at a 32-bit little-endian length at its start (clamped to
// what follows), so that one input can hold two files.
inline void SplitTwo(const uint8_t *data, size_t size, const uint8_t **a, size_t *aSize, const uint8_t **b,
                     size_t *bSize) {
  uint32_t n = 0;
  if (size >= 4) n = (uint32_t)data[0] | (uint32_t)data[1] << 8 | (uint32_t)data[2] << 16 | (uint32_t)data[3] << 24;
  size_t rest = size >= 4 ? size - 4 : 0;
  *a = data + (size >= 4 ? 4 : size);
  *aSize = n < rest ? n : rest;
  *b = *a + *aSize;
  *bSize = rest - *aSize;
}

}  // namespace fuzz
