#include "platform/tap_heap.h"

#include "common/common_memory.h"
#include "platform/tap_api.h"

namespace {

void *TapAlloc(size_t size) {
  dword bytes = (dword)size;
  if (bytes != size) return nullptr;   // the firmware counts in 32 bits
  return TAP_MemAlloc(bytes);
}

void TapFree(void *address) { TAP_MemFree(address); }

}  // namespace

void InstallTapHeap() { SetCommonAllocator(TapAlloc, TapFree); }
