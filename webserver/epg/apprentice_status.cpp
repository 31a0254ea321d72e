#include "webserver/epg/apprentice_status.h"

#include "webserver/core/lifecycle.h"

int ApprenticeStatusGet() { return __atomic_load_n(&gApprenticeStatus, __ATOMIC_SEQ_CST); }

void ApprenticeStatusSet(int status) { __atomic_store_n(&gApprenticeStatus, status, __ATOMIC_SEQ_CST); }

bool ApprenticeBusy() {
  int status = ApprenticeStatusGet();
  return status == APPRENTICE_STARTING || status == APPRENTICE_RUNNING;
}
