#include "platform/path_rules.h"

#include <string.h>
#include <unistd.h>

#include "platform/pvr_path.h"

namespace {

// A path being built segment by segment in a bounded buffer ("" stands for "/").
struct PathBuilder {
  char *text;
  size_t size;
  size_t length;

  bool Append(const char *segment, size_t count) {
    if (length + 1 + count + 1 > size) return false;
    text[length++] = '/';
    memcpy(text + length, segment, count);
    length += count;
    text[length] = '\0';
    return true;
  }
  // Takes back the last segment; false at "/".
  bool Pop() {
    if (length == 0) return false;
    while (length > 0 && text[length - 1] != '/') length--;
    if (length > 0) length--;
    text[length] = '\0';
    return true;
  }
  void Finish() {
    if (length == 0 && size >= 2) {
      text[0] = '/';
      text[1] = '\0';
    }
  }
};

// The next segment of *p (slashes skipped); its length, 0 at the end.
size_t NextSegment(const char **p) {
  while (**p == '/') (*p)++;
  size_t count = 0;
  while ((*p)[count] && (*p)[count] != '/') count++;
  return count;
}

bool IsDot(const char *segment, size_t count) { return count == 1 && segment[0] == '.'; }
bool IsDotDot(const char *segment, size_t count) { return count == 2 && segment[0] == '.' && segment[1] == '.'; }

int Fail(char *out, size_t size) {
  if (out && size > 0) out[0] = '\0';
  return 0;
}

// The target of the symbolic link at a PVR path, terminated; its length, 0 when the path
// is no link (or cannot be read).
size_t ReadLink(const char *pvrPath, char *target, size_t size) {
  MappedPath mapped(pvrPath);
  if (!mapped.c_str() || size < 2) return 0;
  ssize_t n = readlink(mapped.c_str(), target, size - 1);
  if (n <= 0 || (size_t)n >= size - 1) return 0;   // a target that fills the buffer may be cut
  target[n] = '\0';
  return (size_t)n;
}

// A normalised path below "/mnt/" (not "/mnt" itself).
bool IsBelowMnt(const char *path) { return PathIsWithin(path, "/mnt") && strcmp(path, "/mnt") != 0; }

}  // namespace

int NormalisePath(const char *path, char *out, size_t size) {
  if (!path || !out || size < 2 || path[0] != '/') return Fail(out, size);
  PathBuilder built = {out, size, 0};
  out[0] = '\0';
  const char *p = path;
  for (size_t count; (count = NextSegment(&p)) > 0; p += count) {
    if (IsDot(p, count)) continue;
    if (IsDotDot(p, count) ? !built.Pop() : !built.Append(p, count)) return Fail(out, size);
  }
  built.Finish();
  return 1;
}

bool PathIsWithin(const char *path, const char *folder) {
  if (!path || !folder) return false;
  size_t n = strlen(folder);
  while (n > 0 && folder[n - 1] == '/') n--;   // "/" and "/mnt/" as "" and "/mnt"
  return strncmp(path, folder, n) == 0 && (path[n] == '\0' || path[n] == '/') && (n > 0 || path[0] == '/');
}

int ResolvePath(const char *path, char *out, size_t size) {
  if (!path || !out || size < 2 || path[0] != '/') return Fail(out, size);
  // pending holds the segments still to walk; a link's target is put in front of them.
  char pending[2 * PVR_PATH_SIZE];
  char rest[2 * PVR_PATH_SIZE];
  char target[PVR_PATH_SIZE];
  if (strlen(path) >= sizeof pending) return Fail(out, size);
  strcpy(pending, path);
  PathBuilder built = {out, size, 0};
  out[0] = '\0';
  int hops = 0;
  const char *p = pending;
  for (size_t count; (count = NextSegment(&p)) > 0;) {
    const char *segment = p;
    p += count;
    if (IsDot(segment, count)) continue;
    if (IsDotDot(segment, count)) {
      if (!built.Pop()) return Fail(out, size);
      continue;
    }
    if (!built.Append(segment, count)) return Fail(out, size);
    size_t length = ReadLink(out, target, sizeof target);
    if (length == 0) continue;
    if (++hops > PATH_LINK_HOPS) return Fail(out, size);
    // Walk on through the target: from "/" when it is absolute, else from the link's folder.
    built.Pop();
    if (target[0] == '/') {
      built.length = 0;
      out[0] = '\0';
    }
    size_t restLength = strlen(p);
    if (length + 1 + restLength >= sizeof rest) return Fail(out, size);
    memcpy(rest, target, length);
    rest[length] = '/';
    memcpy(rest + length + 1, p, restLength + 1);
    memcpy(pending, rest, length + 1 + restLength + 1);
    p = pending;
  }
  built.Finish();
  return 1;
}

int PathBelowMnt(const char *path, char *out, size_t size) {
  char resolved[PVR_PATH_SIZE];
  if (!NormalisePath(path, out, size)) return 0;
  if (!IsBelowMnt(out) || !ResolvePath(out, resolved, sizeof resolved) || !IsBelowMnt(resolved)) {
    return Fail(out, size);
  }
  return 1;
}

bool IsPlainFileName(const char *name) {
  return name && name[0] && strcmp(name, ".") != 0 && strcmp(name, "..") != 0 && !strchr(name, '/');
}
