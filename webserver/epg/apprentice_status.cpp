#include "webserver/epg/apprentice_status.h"

int gApprenticeStatus, gApprenticeERRNO;
dword gApprenticeTick;

int ApprenticeStatusGet() { return __atomic_load_n(&gApprenticeStatus, __ATOMIC_SEQ_CST); }

void ApprenticeStatusSet(int status) { __atomic_store_n(&gApprenticeStatus, status, __ATOMIC_SEQ_CST); }

bool ApprenticeBusy() {
  int status = ApprenticeStatusGet();
  return status == APPRENTICE_STARTING || status == APPRENTICE_RUNNING;
}

int ApprenticeErrnoGet() { return __atomic_load_n(&gApprenticeERRNO, __ATOMIC_SEQ_CST); }

void ApprenticeErrnoSet(int error) { __atomic_store_n(&gApprenticeERRNO, error, __ATOMIC_SEQ_CST); }

dword ApprenticeTickGet() { return __atomic_load_n(&gApprenticeTick, __ATOMIC_SEQ_CST); }

void ApprenticeTickSet(dword tick) { __atomic_store_n(&gApprenticeTick, tick, __ATOMIC_SEQ_CST); }
