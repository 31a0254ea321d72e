#include "webserver/epg/epg_search.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "common/text_helpers.h"
#include "common/url_params.h"
#include "platform/child_process.h"
#include "platform/pvr_epg_format.h"
#include "platform/pvr_path.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"
#include "webserver/epg/apprentice_status.h"
#include "webserver/epg/epg_dump.h"
#include "webserver/epg/epg_genre.h"
#include "webserver/epg/smartepg_reader.h"

char gApprenticeSource[SEARCH_SOURCE_SIZE];

namespace {

enum {
  STOP_GRACE_TICKS = 300,    // what skimlet gets to end after SIGTERM before SIGKILL
  STOP_POLL_MICROSECONDS = 10000,
};

pthread_t gApprenticeThread;
bool gWorkerStarted;         // a worker exists and has not been joined
int gApprenticePid;          // skimlet's process (and process group) while the worker waits
bool gDumpsPending;          // a reload's description dumps wait for the search to end

// Whether the PVR dump may be reused: caching asked for and allowed, the file there and
// its expiry not reached (ticks compared across their wrap).
bool PvrDumpFresh(bool cacheAsked, dword now) {
  if (!cacheAsked || gEPGCacheTimeout == 0 || gNextEPGRefresh == 0) return false;
  MappedPath dump(PVR_EPG_PATH);
  struct stat s;
  if (!dump.c_str() || stat(dump.c_str(), &s) != 0) return false;
  return (int32_t)(now - gNextEPGRefresh) < 0;
}

// Writes "PVR.epg" unless it is fresh; false when it could not be written.
bool PreparePvrDump(bool cacheAsked) {
  dword now = TAP_GetTick();
  if (PvrDumpFresh(cacheAsked, now)) {
    LOGF(LOG_DETAIL, "PVR EPG cache still fresh, %ld minutes until expiry.", (long)((gNextEPGRefresh - now) / 6000));
    return true;
  }
  bool expiry = cacheAsked && gEPGCacheTimeout != 0;
  int count = dumpEPG2File();
  if (count < 0) {
    gNextEPGRefresh = 0;   // nothing fresh to reuse
    return false;
  }
  if (expiry) {
    LOGF(LOG_DETAIL, "PVR EPG cache expired, refreshing PVR EPG data cache with %d events.", count);
    gNextEPGRefresh = now + gNextEPGOffset;
    if (gNextEPGRefresh == 0) gNextEPGRefresh = 1;   // 0 means "no cache"
  } else {
    LOGF(LOG_DETAIL, "Built PVR EPG data cache with %d events.", count);
    gNextEPGRefresh = 0;
  }
  return true;
}

// The source text for skimlet: "pvr", "smartepg15" or "smartepg13".
const char *SearchSource(bool *pvr) {
  int source = gEPGSource;
  if (gCommand.sourceSet) {
    if (strcmp(gCommand.source, "pvr") == 0) source = 0;
    else if (strcmp(gCommand.source, "smartepg") == 0) source = 1;
  }
  *pvr = true;
  if (source == 1) {
    int layout = settleSmartEPG();
    if (layout == SE_LAYOUT_15 || layout == SE_LAYOUT_13) {
      *pvr = false;
      return layout == SE_LAYOUT_15 ? "smartepg15" : "smartepg13";
    }
  }
  return "pvr";
}

void Answer(int errorCode, const char *errorText, bool pvr, const char *source) {
  JsonAnswer answer;
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Insufficient free RAM to allocate JSON response buffer.");
    return;
  }
  answer.Cat("{\"content\":\"skimlet_ack\",\r\n");
  answer.Printf("\"error_code\":%d,\r\n", errorCode);
  answer.Cat("\"error_text\":");
  answer.String(errorText);
  answer.Cat(",\r\n\"epgsource\":");
  answer.String(pvr ? "pvr" : source);
  answer.Printf(",\r\n\"requested_cache\":\"%d\",\r\n", gCommand.cacheSet ? (int)gCommand.cache : 0);
  answer.Printf("\"port\":%d,\r\n", gSearchPort);
  answer.Printf("\"timestamp\":\"%s\"}\r\n", PVRDateToJSON(0, 0));
  LOGF(LOG_NETWORK, "Sending EPG-Search response.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}

// Joins the worker after skimlet has ended.
void JoinWorker() {
  pthread_join(gApprenticeThread, nullptr);
  gWorkerStarted = false;
  gApprenticePid = 0;
  ApprenticeStatusSet(APPRENTICE_IDLE);
  if (gDumpsPending) {
    gDumpsPending = false;
    dumpGenreParental2File();
  }
}

}  // namespace

int checkApprentice() {
  MappedPath path(SKIMLET_PATH);
  int fd = path.c_str() ? open(path.c_str(), O_RDWR) : -1;
  if (fd < 0) return 0;
  struct stat s;
  const mode_t execute = S_IXUSR | S_IXGRP | S_IXOTH;
  if (fstat(fd, &s) == 0 && (s.st_mode & execute) != execute) fchmod(fd, (s.st_mode & 07777) | execute);
  close(fd);
  return 1;
}

void *runApprentice(void *) {
  int status = 0, error = 0;
  if (!WaitChildProcess(gApprenticePid, &status, &error)) ApprenticeErrnoSet(error);
  ApprenticeStatusSet(APPRENTICE_FINISHED);
  return nullptr;
}

int startApprentice(const char *sourceText) {
  ApprenticeStatusSet(APPRENTICE_STARTING);
  LOGF(LOG_OPERATIONAL, "About to start 'skimlet' application.");
  CopyBounded(gApprenticeSource, sizeof gApprenticeSource, sourceText, strlen(sourceText));
  char australian[16], results[32];
  snprintf(australian, sizeof australian, "%d", gAUFirmwareFlag);
  snprintf(results, sizeof results, "tcp:%d", gSearchPort);
  const char *const argv[] = {SKIMLET_PATH, "-a", australian, "-r", results, "-s", gApprenticeSource, nullptr};
  MappedPath program(SKIMLET_PATH), output(SKIMLET_OUTPUT_PATH);
  int pid = 0, error = ENOENT;
  if (!program.c_str() || !output.c_str() ||
      StartChildProcess(program.c_str(), argv, output.c_str(), &pid, &error) != CHILD_STARTED) {
    ApprenticeErrnoSet(error);
    ApprenticeStatusSet(APPRENTICE_IDLE);
    LOGF(LOG_OPERATIONAL, "ERROR - unable to start 'skimlet', errno %d.", error);
    return 0;
  }
  gApprenticePid = pid;
  ApprenticeTickSet(TAP_GetTick());
  ApprenticeStatusSet(APPRENTICE_RUNNING);
  LOGF(LOG_DETAIL, "Creating 'skimlet' thread.");
  if (pthread_create(&gApprenticeThread, nullptr, runApprentice, nullptr) != 0) {
    LOGF(LOG_OPERATIONAL, "ERROR - pthread_create() failed!");
    // No worker to wait for skimlet: it must not run unwatched.
    SignalChildGroup(pid, SIGKILL);
    int status;
    WaitChildProcess(pid, &status, &error);
    gApprenticePid = 0;
    ApprenticeStatusSet(APPRENTICE_IDLE);
    return 0;
  }
  gWorkerStarted = true;
  return 1;
}

void APIskimlet(const char *params) {
  LOGF(LOG_DETAIL, "Processing API-EPG-Search.");
  parseParams(params ? params : "", 1);
  // A search that has just ended is joined first, so that it does not block the next one.
  ApprenticeEventCheck();
  bool pvr;
  const char *source = SearchSource(&pvr);
  if (ApprenticeStatusGet() != APPRENTICE_IDLE) {
    Answer(SEARCH_ALREADY_RUNNING, "'skimlet' already running", pvr, source);
    return;
  }
  if (pvr && !PreparePvrDump(gCommand.cacheSet && gCommand.cache != 0)) {
    Answer(SEARCH_DUMP_FAILED, "'skimlet' not started: the PVR EPG data could not be written", pvr, source);
    return;
  }
  if (!startApprentice(source)) {
    Answer(SEARCH_START_FAILED, "'skimlet' could not be started", pvr, source);
    return;
  }
  Answer(SEARCH_STARTING, "'skimlet' starting", pvr, source);
}

void ApprenticeEventCheck() {
  int error = ApprenticeErrnoGet();
  if (error != 0) {
    LOGF(LOG_DETAIL, "Unable to start 'skimlet' process, ERRNO = %d.", error);
    ApprenticeErrnoSet(0);
  }
  if (gWorkerStarted && ApprenticeStatusGet() == APPRENTICE_FINISHED) {
    LOGF(LOG_DETAIL, "Joining 'skimlet' thread after %ld ticks.", (long)(TAP_GetTick() - ApprenticeTickGet()));
    JoinWorker();
  }
}

void StopApprentice() {
  if (!gWorkerStarted) return;
  if (ApprenticeStatusGet() == APPRENTICE_RUNNING) {
    LOGF(LOG_OPERATIONAL, "Ending 'skimlet' (process %d).", gApprenticePid);
    SignalChildGroup(gApprenticePid, SIGTERM);
    for (int waited = 0; ApprenticeStatusGet() == APPRENTICE_RUNNING && waited < STOP_GRACE_TICKS; waited++) {
      usleep(STOP_POLL_MICROSECONDS);
    }
    if (ApprenticeStatusGet() == APPRENTICE_RUNNING) SignalChildGroup(gApprenticePid, SIGKILL);
  }
  gDumpsPending = false;   // the TAP is going: nothing more is written
  JoinWorker();
}

void RefreshSearchDumps() {
  if (ApprenticeBusy()) {
    LOGF(LOG_DETAIL, "'skimlet' is running, description dumps written when it ends.");
    gDumpsPending = true;
    return;
  }
  dumpGenreParental2File();
}
