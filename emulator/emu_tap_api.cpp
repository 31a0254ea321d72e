// The TAP API of the emulated firmware: files on the emulated disk, clock, MJD, memory.
#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "common/mjd.h"
#include "emulator/emulator.h"

#define TAP_API extern "C" __attribute__((visibility("default")))

// An open file of the TAP file system.
struct TYPE_File {
  FILE *file;
};

namespace {

std::string HostPath(const char *name) {
  return emu::HostPathOfTapPath(emu::CurrentTask().record.folder, name ? name : "");
}

bool IsFolder(const std::string &path) {
  struct stat s;
  return stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}

bool RemoveTree(const std::string &path) {
  if (!IsFolder(path)) return unlink(path.c_str()) == 0;
  DIR *dir = opendir(path.c_str());
  if (!dir) return false;
  bool ok = true;
  while (dirent *entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") ok &= RemoveTree(path + "/" + name);
  }
  closedir(dir);
  return ok && rmdir(path.c_str()) == 0;
}

}  // namespace

TAP_API TYPE_File *TAP_Hdd_Fopen(const char *name) {
  std::string path = HostPath(name);
  if (!name || !*name || IsFolder(path)) return nullptr;
  FILE *file = fopen(path.c_str(), "r+b");
  if (!file) file = fopen(path.c_str(), "rb");
  if (!file) return nullptr;
  return new TYPE_File{file};
}

TAP_API dword TAP_Hdd_Fread(void *buffer, dword size, dword count, TYPE_File *file) {
  if (!file || !buffer) return 0;
  return (dword)fread(buffer, size, count, file->file);
}

TAP_API dword TAP_Hdd_Fwrite(const void *buffer, dword size, dword count, TYPE_File *file) {
  if (!file || !buffer) return 0;
  dword written = (dword)fwrite(buffer, size, count, file->file);
  fflush(file->file);
  return written;
}

TAP_API dword TAP_Hdd_Fseek(TYPE_File *file, long offset, int origin) {
  if (!file) return 0;
  int whence = origin == SEEK_CURRENT ? SEEK_CUR : origin == SEEK_FROM_END ? SEEK_END : SEEK_SET;
  fseek(file->file, offset, whence);
  return (dword)ftell(file->file);
}

TAP_API dword TAP_Hdd_Flen(TYPE_File *file) {
  if (!file) return 0;
  struct stat s;
  return fstat(fileno(file->file), &s) == 0 ? (dword)s.st_size : 0;
}

TAP_API void TAP_Hdd_Fclose(TYPE_File *file) {
  if (!file) return;
  fclose(file->file);
  delete file;
}

TAP_API int TAP_Hdd_Exist(const char *name) {
  if (!name || !*name) return 0;
  return access(HostPath(name).c_str(), F_OK) == 0 ? 1 : 0;
}

TAP_API int TAP_Hdd_Create(const char *name, byte attribute) {
  if (!name || !*name) return 0;
  std::string path = HostPath(name);
  if (attribute == ATTR_FOLDER) return mkdir(path.c_str(), 0775) == 0 || IsFolder(path) ? 1 : 0;
  FILE *file = fopen(path.c_str(), "wb");
  if (!file) return 0;
  fclose(file);
  return 1;
}

TAP_API int TAP_Hdd_Delete(const char *name) {
  if (!name || !*name) return 0;
  std::string tapPath = emu::JoinTapPath(emu::CurrentTask().record.folder, name);
  if (tapPath == "/") return 0;
  return RemoveTree(HostPath(name)) ? 1 : 0;
}

TAP_API int TAP_Hdd_ChangeDir(const char *folder) {
  if (!folder || !*folder) return 0;
  emu::Task &task = emu::CurrentTask();
  std::string tapPath = emu::JoinTapPath(task.record.folder, folder);
  if (tapPath.size() >= sizeof task.record.folder || !IsFolder(HostPath(folder))) return 0;
  snprintf(task.record.folder, sizeof task.record.folder, "%s", tapPath.c_str());
  return 1;
}

TAP_API int TAP_Hdd_GetRecInfo(byte slot, TYPE_RecInfo *info) {
  if (!info || slot >= emu::gProfile.recordings.size()) return 0;
  *info = emu::gProfile.recordings[slot];
  return 1;
}

TAP_API int TAP_GetSystemVar(int variable) {
  auto found = emu::gProfile.systemVars.find(variable);
  return found == emu::gProfile.systemVars.end() ? 0 : found->second;
}

TAP_API word TAP_GetSystemId(void) { return emu::gProfile.systemId; }

TAP_API int TAP_GetTime(word *mjd, byte *hour, byte *minute, byte *second) {
  int64_t local = emu::LocalNow();
  int64_t days = local / 86400, seconds = local % 86400;
  if (mjd) *mjd = (word)(days + 40587);
  if (hour) *hour = (byte)(seconds / 3600);
  if (minute) *minute = (byte)(seconds / 60 % 60);
  if (second) *second = (byte)(seconds % 60);
  return 1;
}

TAP_API dword TAP_GetTick(void) {
  static timespec start;
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  if (start.tv_sec == 0 && start.tv_nsec == 0) start = now;
  return (dword)((now.tv_sec - start.tv_sec) * 100 + (now.tv_nsec - start.tv_nsec) / 10000000);
}

TAP_API int TAP_ExtractMjd(word mjd, word *year, byte *month, byte *day, byte *weekDay) {
  CalendarDate date = MjdToDate(mjd);
  if (year) *year = (word)date.year;
  if (month) *month = (byte)date.month;
  if (day) *day = (byte)date.day;
  if (weekDay) *weekDay = (byte)date.weekDay;
  return 1;
}

TAP_API word TAP_MakeMjd(word year, byte month, byte day) { return DateToMjd(year, month, day); }

TAP_API void *TAP_MemAlloc(dword size) { return malloc(size ? size : 1); }

TAP_API int TAP_MemFree(const void *address) {
  free(const_cast<void *>(address));
  return 1;
}

TAP_API void TAP_Reboot(void) { emu::Effect("reboot"); }

TAP_API void TAP_Delay(dword ticks) { usleep(ticks * 10000); }
