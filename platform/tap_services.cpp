#include "platform/tap_services.h"

#include "common/common_memory.h"
#include "common/packed_date.h"
#include "platform/rivlib_log.h"
#include "platform/support_log.h"
#include "platform/tap_api.h"

namespace {

void *TapAlloc(size_t size) {
  dword bytes = (dword)size;
  if (bytes != size) return nullptr;   // the firmware counts in 32 bits
  return TAP_MemAlloc(bytes);
}

void TapFree(void *address) { TAP_MemFree(address); }

}  // namespace

void InstallTapServices() {
  SetCommonAllocator(TapAlloc, TapFree);
  SetPVRClock(TAP_GetTime);
  SetRivlibLog(RivlibLogWrite);
}
