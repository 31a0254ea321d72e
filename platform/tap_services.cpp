#include "platform/tap_services.h"

#include "common/packed_date.h"
#include "platform/rivlib_log.h"
#include "platform/support_log.h"
#include "platform/tap_api.h"

void InstallTapServices() {
  SetPVRClock(TAP_GetTime);
  SetRivlibLog(RivlibLogWrite);
}
