#include "common/common_memory.h"

#include <stdlib.h>

namespace {

CommonAllocFunction gCommonAlloc = nullptr;
CommonFreeFunction gCommonFree = nullptr;

}  // namespace

void SetCommonAllocator(CommonAllocFunction alloc, CommonFreeFunction release) {
  bool both = alloc && release;
  gCommonAlloc = both ? alloc : nullptr;
  gCommonFree = both ? release : nullptr;
}

void *CommonAlloc(size_t size) {
  if (size == 0) size = 1;
  return gCommonAlloc ? gCommonAlloc(size) : malloc(size);
}

void CommonFree(void *address) {
  if (!address) return;
  if (gCommonFree) {
    gCommonFree(address);
  } else {
    free(address);
  }
}
