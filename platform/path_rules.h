// The rules for paths and names that API requests give: a path is normalised and must stay
// below "/mnt/", also once its symbolic links are followed; a file name is one plain name.
//
// Paths here are PVR paths ("/mnt/hd/DataFiles"); symbolic links are read through the
// platform's path mapping (PvrPath), so an emulated PVR's links resolve inside its root.
#pragma once

#include <stddef.h>

enum {
  PATH_LINK_HOPS = 16,   // symbolic links followed for one path at most
};

// Normalises an absolute path: repeated slashes become one, "." segments are dropped and
// ".." takes back the segment before it; no trailing slash but for "/" itself. Returns 1
// with the result in out; 0 (out empty) when the path is not absolute, ".." would climb
// above "/", or the result does not fit in size bytes.
int NormalisePath(const char *path, char *out, size_t size);

// Whether path is folder or lies below it, segment by segment: "/mnt/hd/x" is within
// "/mnt/hd", "/mnt/hdd" is not. Both are taken as they are (normalise them first).
bool PathIsWithin(const char *path, const char *folder);

// Follows the symbolic links of an absolute path segment by segment as the kernel does
// (".." after a link climbs from the link's target); segments that do not exist are taken
// as they are. Returns 1 with the link-free path in out; 0 when the path is not absolute,
// climbs above "/", has more than PATH_LINK_HOPS links or does not fit.
int ResolvePath(const char *path, char *out, size_t size);

// The check for every folder an API request names: 1 when the normalised path lies below
// "/mnt/" (not "/mnt" itself) and so does its resolution; out gets the normalised path,
// the one to use for every file operation that follows. 0 (out empty) otherwise.
int PathBelowMnt(const char *path, char *out, size_t size);

// A name of a file within a folder, as rename and delete take it: not empty, not "." or
// "..", and without "/".
bool IsPlainFileName(const char *name);
