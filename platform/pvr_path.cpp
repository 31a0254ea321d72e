#include "platform/pvr_path.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

char *PvrPath(const char *pvrPath, char *out, size_t size) {
  if (!pvrPath || !out || size == 0) return nullptr;
#ifdef ORVANE_PVR
  const char *root = "";
#else
  const char *root = getenv("ORVANE_ROOT");
  if (!root || !*root) return nullptr;
  if (pvrPath[0] != '/') root = "";   // relative paths stay relative
#endif
  size_t rootLength = strlen(root);
  while (rootLength > 0 && root[rootLength - 1] == '/') rootLength--;
  int n = snprintf(out, size, "%.*s%s", (int)rootLength, root, pvrPath);
  if (n < 0 || (size_t)n >= size) return nullptr;
  return out;
}
