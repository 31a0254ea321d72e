#include "platform/pvr_path.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

char *PvrPath(const char *pvrPath, char *out, size_t size) {
  if (!pvrPath || !out || size == 0) return nullptr;
  // An emulated PVR names its root folder; the PVR itself never sets it. A PC build without
  // it maps nothing, so that the host's own folders are never touched.
  const char *root = getenv("ORVANE_ROOT");
  if (!root || !*root) {
#ifdef ORVANE_PVR
    root = "";
#else
    return nullptr;
#endif
  }
  if (pvrPath[0] != '/') root = "";   // relative paths stay relative
  size_t rootLength = strlen(root);
  while (rootLength > 0 && root[rootLength - 1] == '/') rootLength--;
  int n = snprintf(out, size, "%.*s%s", (int)rootLength, root, pvrPath);
  if (n < 0 || (size_t)n >= size) return nullptr;
  return out;
}
