#include "webserver/core/static_files.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/pvr_path.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

namespace {

const char *const kDocumentRoot = "/mnt/hd/ProgramFiles/Settings/Orvane/public_html/";
const char *const kDefaultDocument = "index.html";
enum {
  NAME_SIZE = 512,
  FULL_PATH_SIZE = 1024,
  // Files up to this size are read into a buffer, which costs less than mapping them
  // (bench/file_send_bench); larger ones are mapped and never copied.
  FILE_READ_LIMIT = 65536,
};

struct MimeType {
  const char *suffix, *type;
};

constexpr MimeType kMimeTypes[] = {
    {".png", "image/png"},        {".jpg", "image/jpeg"},        {".jpeg", "image/jpeg"},
    {".jpe", "image/jpeg"},       {".bmp", "image/bmp"},         {".ico", "image/ico"},
    {".gif", "image/gif"},        {".tif", "image/tiff"},        {".tiff", "image/tiff"},
    {".mp3", "audio/mpeg"},       {".wav", "audio/x-wav"},       {".mpg", "video/mpeg"},
    {".mpeg", "video/mpeg"},      {".mp4", "video/mp4"},         {".wmv", "video/x-ms-wm"},
    {".avi", "video/avi"},        {".css", "text/css"},          {".js", "application/javascript"},
    {".json", "application/json"}, {".swf", "application/x-shockwave-flash"},
    {".txt", "text/plain"},       {".log", "text/plain"},        {".ini", "text/plain"},
    {".lng", "text/plain"},       {".prn", "text/plain"},        {".csv", "text/plain"},
    {".sh", "text/plain"},
};

bool EndsWith(const char *text, const char *suffix) {
  size_t a = strlen(text), b = strlen(suffix);
  return a >= b && strcmp(text + a - b, suffix) == 0;
}

// True when a segment of name is "..", which could lead out of the served folders.
bool HasParentSegment(const char *name) {
  for (const char *p = name; (p = strstr(p, "..")) != nullptr; p += 2) {
    bool starts = p == name || p[-1] == '/';
    bool ends = p[2] == '\0' || p[2] == '/';
    if (starts && ends) return true;
  }
  return false;
}

// The relative name of a request path: leading "/" removed, "index.html" for a folder,
// query string cut. False when it does not fit.
bool RelativeName(const char *path, int length, char *name) {
  const char *relative = path[0] == '/' ? path + 1 : path;
  int n = snprintf(name, NAME_SIZE, "%.*s%s", length - (int)(relative - path), relative,
                   (length == 0 || path[length - 1] == '/') ? kDefaultDocument : "");
  if (n < 0 || n >= NAME_SIZE) return false;
  char *query = strchr(name, '?');
  if (query) *query = '\0';
  if (!name[0]) snprintf(name, NAME_SIZE, "%s", kDefaultDocument);
  return true;
}

void SetEntityTag(const struct stat &status) {
  char tag[160];
  snprintf(tag, sizeof tag, "%d-%ld-%lld-%lld", gCacheControl, (long)status.st_mtime,
           (long long)status.st_size, (long long)status.st_ino);
  LOGF(LOG_DETAIL, "NetServeFile: curr. Etag: '%s'.", tag);
  LOGF(LOG_DETAIL, "NetServeFile: recv. Etag: '%s'.", gHTTPetag);
  if (strcmp(tag, gHTTPetag) == 0) {
    gHTTPstatus = 304;
    LOGF(LOG_DETAIL, "NetServeFile: set Status to 304 Not Modified.");
  } else {
    snprintf(gHTTPetag, sizeof gHTTPetag, "%s", tag);
  }
}

// The bytes of an open regular file, read or mapped, released when it goes out of scope.
class FileBytes {
 public:
  FileBytes() = default;
  FileBytes(const FileBytes &) = delete;
  FileBytes &operator=(const FileBytes &) = delete;
  ~FileBytes() {
    if (mSize == 0) return;
    if (mMapped) {
      munmap(mData, mSize);
    } else {
      TAP_MemFree(mData);
    }
  }

  // Takes the first size bytes of the file (all of it when it is as large as its status
  // said); false when they can be neither read nor mapped. An empty file has no bytes.
  bool Take(int fd, off_t size) {
    if (size <= 0) return true;
    if (size > 0x7FFFFFFF) return false;
    mSize = (size_t)size;
    if (size <= FILE_READ_LIMIT && (mData = TAP_MemAlloc((dword)size)) != nullptr) return Read(fd);
    mData = mmap(nullptr, mSize, PROT_READ, MAP_SHARED, fd, 0);
    mMapped = true;
    if (mData != MAP_FAILED) {
      mLength = mSize;
      return true;
    }
    mData = nullptr;
    mSize = 0;
    return false;
  }
  const char *Data() const { return static_cast<const char *>(mData); }
  // The bytes there are: fewer than the status said when the file shrank while being read.
  int Length() const { return (int)mLength; }

 private:
  bool Read(int fd) {
    while (mLength < mSize) {
      ssize_t n = read(fd, static_cast<char *>(mData) + mLength, mSize - mLength);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) break;
      mLength += (size_t)n;
    }
    return true;
  }
  void *mData = nullptr;
  size_t mSize = 0;     // bytes reserved or mapped
  size_t mLength = 0;   // bytes read; all of a mapping
  bool mMapped = false;
};

}  // namespace

const char *ContentTypeOf(const char *name) {
  for (const MimeType &mime : kMimeTypes) {
    if (EndsWith(name, mime.suffix)) return mime.type;
  }
  return "text/html";
}

void NetServeFile(const char *path, int length) {
  char name[NAME_SIZE];
  char fullPath[FULL_PATH_SIZE];
  if (length < 0 || length >= NAME_SIZE || !RelativeName(path, length, name)) {
    LOGF(LOG_OPERATIONAL, "NetServeFile: Request path too long.");
    NetSend404();
    return;
  }
  bool underMnt = strncmp(name, "mnt/", 4) == 0;
  snprintf(fullPath, sizeof fullPath, "%s%s", underMnt ? "/" : kDocumentRoot, name);
  LOGF(LOG_OPERATIONAL, "NetServeFile: Trying to send file '%s'.", fullPath);
  if (HasParentSegment(name)) {
    LOGF(LOG_OPERATIONAL, "NetServeFile: Refused path with a '..' segment.");
    NetSend404();
    return;
  }

  MappedPath host(fullPath);
  int fd = host.c_str() ? open(host.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  struct stat status;
  if (fd < 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    if (fd >= 0) close(fd);
    LOGF(LOG_DETAIL, "File not found.");
    NetSend404();
    return;
  }
  const char *contentType = ContentTypeOf(name);
  FileBytes bytes;
  if (!bytes.Take(fd, status.st_size)) {
    close(fd);
    LOGF(LOG_OPERATIONAL, "NetServeFile: Unable to read '%s'.", fullPath);
    NetSend404();
    return;
  }
  close(fd);
  if (gCacheControl & 1) SetEntityTag(status);
  NetHTTPRespond(bytes.Data(), bytes.Length(), contentType, 1);
  LOGF(LOG_NETWORK, "Response sent.");
}
