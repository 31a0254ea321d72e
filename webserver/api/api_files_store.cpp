#include "webserver/api/api_files_store.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "common/url_params.h"
#include "platform/path_rules.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"

namespace {

enum StoreError {
  STORE_OK = 0,
  STORE_NO_NAME = 1,
  STORE_OPEN_FAILED = 2,
  STORE_WRITE_FAILED = 3,
  STORE_NO_BODY = 4,
  STORE_BAD_PATH = 5,
};

const char *StoreErrorText(int error) {
  switch (error) {
    case STORE_OK: return "No error";
    case STORE_NO_NAME: return "File name not provided";
    case STORE_OPEN_FAILED: return "Error opening file for writing";
    case STORE_WRITE_FAILED: return "Failed to write POST data to file";
    case STORE_NO_BODY: return "Error receiving complete POST data";
    default: return "Error: Path is not valid";
  }
}

// An upload's outcome, as the answer reports it.
struct StoreOutcome {
  int error;
  int systemError;
  int stored;
};

// The body can be stored: a POST whose header end was found, with a Content-Length.
bool BodyIsComplete() {
  if (strcmp(gHTTPmethod, "POST") != 0) {
    LOGF(LOG_OPERATIONAL, "APIFilesStore: only a POST body is stored.");
    return false;
  }
  if (gHTTPpost.headerEndMissing) return false;
  if (!gHTTPpost.contentLengthSet) {
    LOGF(LOG_OPERATIONAL, "APIFilesStore: Content-Length missing or not valid.");
    return false;
  }
  return true;
}

// An absolute path below "/mnt/" without ".." segments, normalised into out.
bool IsUploadPath(const char *name, char *out, size_t size) {
  if (strncmp(name, "/mnt/", 5) != 0) return false;
  for (const char *p = name; (p = strstr(p, "..")) != nullptr; p += 2) {
    if ((p == name || p[-1] == '/') && (p[2] == '\0' || p[2] == '/')) return false;
  }
  return PathBelowMnt(name, out, size) != 0;
}

// Copies the file at path into the replacement (appending keeps what the file had).
int CopyOldContent(ReplacingFile *target, const char *path) {
  MappedPath mapped(path);
  int old = mapped.c_str() ? open(mapped.c_str(), O_RDONLY) : -1;
  if (old < 0) return errno ? errno : EIO;
  char *buffer = static_cast<char *>(TAP_MemAlloc(STORE_BUFFER_MAX));
  int error = buffer ? 0 : ENOMEM;
  while (!error) {
    ssize_t n = read(old, buffer, STORE_BUFFER_MAX);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno ? errno : EIO;
    if (n <= 0) break;
    error = ReplacingFileWrite(target, buffer, (size_t)n);
  }
  if (buffer) TAP_MemFree(buffer);
  close(old);
  return error;
}

// Stores the body at path (normalised): the temporary file replaces the file only when
// the whole body was written.
void StoreBody(const char *path, bool append, StoreOutcome *outcome) {
  if (IsFolder(path)) {
    outcome->error = STORE_OPEN_FAILED;
    outcome->systemError = EISDIR;
    return;
  }
  ReplacingFile target;
  int error = ReplacingFileOpen(&target, path);
  if (!error && append && IsRegularFile(path)) error = CopyOldContent(&target, path);
  if (error) {
    ReplacingFileAbandon(&target);
    outcome->error = STORE_OPEN_FAILED;
    outcome->systemError = error;
    return;
  }
  LOGF(LOG_OPERATIONAL, "Storing %d bytes in file '%s'.", gHTTPpost.contentLength, path);
  int stored = 0;
  error = fwrite_post_data(&target, &stored);
  if (error) {
    ReplacingFileAbandon(&target);
  } else {
    error = ReplacingFileCommit(&target);
  }
  if (error) {
    outcome->error = STORE_WRITE_FAILED;
    outcome->systemError = error;
    return;
  }
  outcome->stored = stored;
}

void SendStoreAnswer(const StoreOutcome &outcome) {
  JsonAnswer answer;
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Error allocating memory for files-store response.");
    return;
  }
  answer.Printf("{\"content\":\"file_Store\",\r\n\"bytes_stored\":%d,\r\n\"error_code\":%d,\r\n\"errno\":%d,\r\n"
                "\"error_text\":\"%s\",\r\n\"timestamp\":\"%s\"}\r\n",
                outcome.stored, outcome.error, outcome.systemError, StoreErrorText(outcome.error),
                PVRDateToJSON(0, 0));
  LOGF(LOG_NETWORK, "Sending files-store response.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}

// Whether the tick has been reached (the tick counter may wrap).
bool Reached(dword now, dword deadline) { return (int32_t)(now - deadline) >= 0; }

}  // namespace

int fwrite_post_data(ReplacingFile *file, int *stored) {
  int length = gHTTPpost.contentLength;
  LOGF(LOG_DETAIL, "store_post_data(): Content-Length: %d; in inbound buffer: %d.", length, gHTTPpost.bodyBytes);
  int first = gHTTPpost.bodyBytes < length ? gHTTPpost.bodyBytes : length;
  *stored = 0;
  if (first > 0 && ReplacingFileWrite(file, gHTTPpost.body, (size_t)first) != 0) {
    LOGF(LOG_OPERATIONAL, "fwrite_post_data(): inbound buffer write error (%d B; errno=%d).", first, file->error);
    return file->error;
  }
  *stored = first;
  int expected = length - first;
  LOGF(LOG_DETAIL, "%d bytes written. Processed %d bytes of %d bytes.", first, *stored, length);
  if (expected == 0) return 0;

  int size = expected < STORE_BUFFER_MAX ? expected : STORE_BUFFER_MAX;
  char *buffer = static_cast<char *>(TAP_MemAlloc((dword)size));
  if (!buffer) {
    LOGF(LOG_OPERATIONAL, "store_post_data(): allocating buffer of %d Bytes failed (errno=%d).", size, ENOMEM);
    return ENOMEM;
  }
  int result = 0;
  dword deadline = TAP_GetTick() + STORE_TIMEOUT_TICKS;
  while (expected > 0) {
    ssize_t received = recv(gInboundSocket, buffer, (size_t)(expected < size ? expected : size), MSG_DONTWAIT);
    if (received > 0) {
      if (ReplacingFileWrite(file, buffer, (size_t)received) != 0) {
        LOGF(LOG_OPERATIONAL, "fwrite_post_data(): write error (received=%ld; errno=%d).", (long)received, file->error);
        result = file->error;
        break;
      }
      *stored += (int)received;
      expected -= (int)received;
      deadline = TAP_GetTick() + STORE_TIMEOUT_TICKS;
      LOGF(LOG_DETAIL, "Received %ld bytes. Processed %d bytes of %d bytes.", (long)received, *stored, length);
    } else if (received == 0) {
      LOGF(LOG_OPERATIONAL, "fwrite_post_data(): connection closed; Processed %d bytes of %d bytes.", *stored, length);
      result = ECONNRESET;
      break;
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      result = errno;
      LOGF(LOG_OPERATIONAL, "store_post_data(): receive error; only received %d bytes of %d bytes (errno=%d).",
           *stored, length, result);
      break;
    } else if (Reached(TAP_GetTick(), deadline)) {
      LOGF(LOG_OPERATIONAL, "fwrite_post_data(): timeout error; Processed %d bytes of %d bytes.", *stored, length);
      result = ETIMEDOUT;
      break;
    } else {
      TAP_Sleep(10);
    }
  }
  TAP_MemFree(buffer);
  return result;
}

int force_dir(const char *path) {
  if (!path || !*path) return 0;
  char partial[PVR_PATH_SIZE];
  for (const char *slash = strchr(path + 1, '/'); slash; slash = strchr(slash + 1, '/')) {
    size_t length = (size_t)(slash - path);
    if (length >= sizeof partial) {
      errno = ENAMETOOLONG;
      return 0;
    }
    memcpy(partial, path, length);
    partial[length] = '\0';
    MappedPath mapped(partial);
    struct stat s;
    if (!mapped.c_str()) {
      errno = ENAMETOOLONG;
      return 0;
    }
    if (stat(mapped.c_str(), &s) == 0) {
      if (S_ISDIR(s.st_mode)) continue;
      errno = ENOTDIR;
      LOGF(LOG_OPERATIONAL, "force_dir(): Error: %s is an existing file!", partial);
      return 0;
    }
    // "/mnt" and the mount points below it belong to the system.
    bool mountLevel = length <= 5 || strncmp(partial, "/mnt/", 5) != 0 || !strchr(partial + 5, '/');
    if (mountLevel || mkdir(mapped.c_str(), 0777) != 0) {
      if (mountLevel) errno = ENOENT;
      int error = errno;
      LOGF(LOG_OPERATIONAL, "force_dir(): Error: creating '%s' failed (mode=0777)!", partial);
      errno = error;
      return 0;
    }
    LOGF(LOG_DETAIL, "force_dir(): '%s' created (mode=0777)", partial);
  }
  return 1;
}

void APIFilesStore(const char *params) {
  LOGF(LOG_DETAIL, "%s().", "APIFilesStore");
  parseParams(params, 1);
  bool append = gCommand.appendSet && gCommand.append == 1;
  StoreOutcome outcome = {STORE_OK, 0, 0};
  char path[PVR_PATH_SIZE];
  if (!BodyIsComplete()) {
    outcome.error = STORE_NO_BODY;
  } else if (!gCommand.fileNameSet || !gCommand.fileName[0]) {
    outcome.error = STORE_NO_NAME;
  } else if (gHTTPpathCut) {
    LOGF(LOG_OPERATIONAL, "APIFilesStore: request target too long.");
    outcome.error = STORE_BAD_PATH;
    outcome.systemError = ENAMETOOLONG;
  } else if (!IsUploadPath(gCommand.fileName, path, sizeof path)) {
    LOGF(LOG_OPERATIONAL, "APIFilesStore: refused path '%s'.", gCommand.fileName);
    outcome.error = STORE_BAD_PATH;
    outcome.systemError = EINVAL;
  } else if (!force_dir(path)) {
    outcome.error = STORE_BAD_PATH;
    outcome.systemError = errno;
  } else {
    StoreBody(path, append, &outcome);
  }
  SendStoreAnswer(outcome);
}
