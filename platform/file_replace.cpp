#include "platform/file_replace.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/common_memory.h"

namespace {

int StatMode(const char *pvrPath, mode_t *mode) {
  MappedPath path(pvrPath);
  struct stat s;
  if (!path.c_str() || stat(path.c_str(), &s) != 0) return 0;
  *mode = s.st_mode;
  return 1;
}

int Fail(ReplacingFile *replacing, int error) {
  if (!replacing->error) replacing->error = error ? error : EIO;
  return replacing->error;
}

}  // namespace

int IsFolder(const char *pvrPath) {
  mode_t mode;
  return StatMode(pvrPath, &mode) && S_ISDIR(mode);
}

int IsRegularFile(const char *pvrPath) {
  mode_t mode;
  return StatMode(pvrPath, &mode) && S_ISREG(mode);
}

int ReadWholeFile(const char *pvrPath, size_t limit, char **data, size_t *length) {
  *data = nullptr;
  *length = 0;
  MappedPath path(pvrPath);
  if (!path.c_str()) return ENAMETOOLONG;
  struct stat s;
  if (stat(path.c_str(), &s) != 0) return errno ? errno : ENOENT;
  if (!S_ISREG(s.st_mode)) return EISDIR;
  if ((unsigned long long)s.st_size > limit) return EFBIG;
  size_t size = (size_t)s.st_size;
  char *bytes = static_cast<char *>(CommonAlloc(size + 1));
  if (!bytes) return ENOMEM;
  FILE *file = fopen(path.c_str(), "rb");
  int error = file ? 0 : (errno ? errno : EIO);
  // A file that changed its length meanwhile is taken as far as it was read.
  if (file) size = fread(bytes, 1, size, file);
  if (file) fclose(file);
  if (error) {
    CommonFree(bytes);
    return error;
  }
  bytes[size] = '\0';
  *data = bytes;
  *length = size;
  return 0;
}

int ReplacingFileOpen(ReplacingFile *replacing, const char *pvrPath) {
  replacing->file = nullptr;
  replacing->error = 0;
  replacing->temporary[0] = '\0';
  if (!PvrPath(pvrPath, replacing->path, sizeof replacing->path)) return Fail(replacing, ENAMETOOLONG);
  int n = snprintf(replacing->temporary, sizeof replacing->temporary, "%s.tmp", replacing->path);
  if (n < 0 || (size_t)n >= sizeof replacing->temporary) {
    replacing->temporary[0] = '\0';
    return Fail(replacing, ENAMETOOLONG);
  }
  replacing->file = fopen(replacing->temporary, "wb");
  if (!replacing->file) {
    int error = errno;
    replacing->temporary[0] = '\0';   // nothing of ours to remove
    return Fail(replacing, error);
  }
  return 0;
}

int ReplacingFileWrite(ReplacingFile *replacing, const void *data, size_t count) {
  if (replacing->error) return replacing->error;
  if (count && fwrite(data, 1, count, replacing->file) != count) return Fail(replacing, errno);
  return 0;
}

int ReplacingFileWriteAt(ReplacingFile *replacing, long offset, const void *data, size_t count) {
  if (replacing->error) return replacing->error;
  if (fseek(replacing->file, offset, SEEK_SET) != 0) return Fail(replacing, errno);
  ReplacingFileWrite(replacing, data, count);
  if (fseek(replacing->file, 0, SEEK_END) != 0) Fail(replacing, errno);
  return replacing->error;
}

int ReplacingFileCommit(ReplacingFile *replacing) {
  if (replacing->file) {
    if (fflush(replacing->file) != 0) Fail(replacing, errno);
    if (fclose(replacing->file) != 0) Fail(replacing, errno);
    replacing->file = nullptr;
  }
  if (!replacing->error && rename(replacing->temporary, replacing->path) != 0) Fail(replacing, errno);
  if (replacing->error) {
    if (replacing->temporary[0]) unlink(replacing->temporary);
    replacing->temporary[0] = '\0';
    return replacing->error;
  }
  replacing->temporary[0] = '\0';
  return 0;
}

void ReplacingFileAbandon(ReplacingFile *replacing) {
  Fail(replacing, ECANCELED);
  ReplacingFileCommit(replacing);
}

int ReplaceFile(const char *pvrPath, const void *data, size_t count) {
  ReplacingFile replacing;
  if (ReplacingFileOpen(&replacing, pvrPath) == 0) ReplacingFileWrite(&replacing, data, count);
  return ReplacingFileCommit(&replacing);
}
