// Absolute paths of the PVR's Linux file system ("/mnt/hd/...", "/dev/pts/0", "/proc/mounts").
// On the PVR they are used as they are; on a PC (and in the PVR build's tests under an
// emulator) they lie below the emulated PVR's root folder, named by ORVANE_ROOT.
#pragma once

#include <stddef.h>

// Writes the path to open for pvrPath into out. Returns out, or null when the result does
// not fit or (on a PC) no emulated root is set, so that nothing outside it is touched.
char *PvrPath(const char *pvrPath, char *out, size_t size);

enum { PVR_PATH_SIZE = 1024 };

// A mapped path in a buffer of its own; c_str() is null when the path could not be mapped.
class MappedPath {
 public:
  explicit MappedPath(const char *pvrPath) : ok_(PvrPath(pvrPath, path_, sizeof path_) != nullptr) {}
  const char *c_str() const { return ok_ ? path_ : nullptr; }

 private:
  char path_[PVR_PATH_SIZE];
  bool ok_;
};
