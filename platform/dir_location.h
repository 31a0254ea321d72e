// Where a folder of the PVR lives: the symbolic link on its path, the mount point and the
// block device that hold it, and the location code the directory listing reports.
// Paths are PVR paths; links and the mount table ("/proc/mounts") are read through the
// platform's path mapping, so an emulated PVR's root provides its own.
#pragma once

#include <stddef.h>

enum {
  DIR_LOCATION_TEXT_SIZE = 512,    // each text of DirLocation
  MOUNT_LINE_SIZE = 1024,          // longest mount table line taken
  MOUNT_LINES = 4096,              // mount table lines read at most
};

// Walks path from its start and reads each prefix that ends before a "/", then the whole
// path, as a symbolic link. At the first link: linkTarget gets the link's text and
// resolvedPath the path through it, normalised (a relative link text is taken from the
// link's folder). Returns the length of the link text, 0 when no prefix is a link (both
// outputs empty). Outputs are cut to their sizes and terminated.
int HDD_FindSymbolicLink(const char *path, char *linkTarget, size_t targetSize, char *resolvedPath,
                         size_t resolvedSize);

// Finds the mount table entry whose mount folder (octal escapes decoded) is the longest
// segment-wise prefix of the absolute path (normalised first); the later of two equal ones,
// as the kernel shows the last mount. mountPoint and device get its folder and device,
// each with a trailing "/" added when missing. Non-zero when found; both empty otherwise.
int HDD_FindMountPointDevice(const char *path, char *mountPoint, size_t mountSize, char *device, size_t deviceSize);

struct DirLocation {
  char link[DIR_LOCATION_TEXT_SIZE];     // link text on the path, empty when none
  char mount[DIR_LOCATION_TEXT_SIZE];
  char device[DIR_LOCATION_TEXT_SIZE];
  // 3: the device is not under "/dev/"; 2: it is, but not "/dev/sda…"; otherwise 1 when
  // the path goes through a link and 0 when not.
  int location;
};

// The location of a folder: its link, and the mount point and device of the folder the
// path leads to (through the link when there is one).
void GetDirLocation(const char *path, DirLocation *where);
