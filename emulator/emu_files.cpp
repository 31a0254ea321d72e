// Files: the TAP API's files and folders on the emulated disk (DIR/mnt/hd), the firmware's
// work-folder hooks and its folder records ("_hddTapFolder", "_hddRecordFile").
#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "emulator/emu_files.h"
#include "emulator/emu_firmware.h"
#include "emulator/emulator.h"

// An open file of the TAP file system.
struct TYPE_File {
  FILE *file;
};

namespace emu {

namespace {

std::string gWorkFolder;                  // empty: the current TAP's folder
std::vector<std::string> gSavedWorkFolders;
byte *gTapFolder, *gRecordFolder;         // FOLDER_RECORD_SIZE bytes each

// The state of a folder walk (TAP_Hdd_FindFirst / TAP_Hdd_FindNext) of one TAP slot.
struct FolderWalk {
  std::string folder;                     // host path
  std::vector<std::string> names;
  size_t next = 0;
};
FolderWalk gWalks[TAP_TASK_SLOTS];

std::string TapPath(const char *name) { return JoinTapPath(TaskFolder(CurrentSlot()), name ? name : ""); }

std::string HostPath(const char *name) { return HostPathOfTapPath(TaskFolder(CurrentSlot()), name ? name : ""); }

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

void PutFolderRecord(byte *record, const std::string &path) {
  memset(record, 0, FOLDER_RECORD_SIZE);
  memcpy(record + FOLDER_RECORD_PATH, path.data(), std::min(path.size(), (size_t)FOLDER_RECORD_SIZE - 1));
}

std::string GetFolderRecord(const byte *record) {
  const char *path = reinterpret_cast<const char *>(record + FOLDER_RECORD_PATH);
  return std::string(path, strnlen(path, FOLDER_RECORD_SIZE));
}

// Fills a folder entry from the file of the current walk; false when it is gone.
bool Describe(const FolderWalk &walk, const std::string &name, TYPE_FolderEntry *entry) {
  struct stat s;
  if (stat((walk.folder + "/" + name).c_str(), &s) != 0) return false;
  memset(entry, 0, sizeof *entry);
  snprintf(entry->name, sizeof entry->name, "%s", name.c_str());
  entry->attribute = S_ISDIR(s.st_mode) ? ATTR_FOLDER : ATTR_NORMAL;
  entry->size = S_ISDIR(s.st_mode) ? 0 : (uint64_t)s.st_size;
  int64_t local = (int64_t)s.st_mtime + LocalOffsetMinutes() * 60;
  entry->mjd = (word)(local / 86400 + 40587);
  entry->hour = (byte)(local % 86400 / 3600);
  entry->minute = (byte)(local % 3600 / 60);
  entry->second = (byte)(local % 60);
  return true;
}

dword DiskMiB(bool freeOnly) {
  struct statvfs s;
  std::string disk = gRoot + "/mnt/hd";
  if (statvfs(disk.c_str(), &s) != 0) return 0;
  unsigned long long blocks = freeOnly ? s.f_bavail : s.f_blocks;
  return (dword)(blocks * s.f_frsize >> 20);
}

bool ReadProfile(const nlohmann::json &, std::string *) { return true; }

void StartFiles() {
  if (!gTapFolder) {
    gTapFolder = FirmwareAlloc(FOLDER_RECORD_SIZE);
    gRecordFolder = FirmwareAlloc(FOLDER_RECORD_SIZE);
  }
  PutFolderRecord(gTapFolder, "/ProgramFiles");
  PutFolderRecord(gRecordFolder, "/DataFiles");
  PublishTable(FW_HOOK_TapFolder, gTapFolder);
  PublishTable(FW_HOOK_RecordFile, gRecordFolder);
  gWorkFolder.clear();
  gSavedWorkFolders.clear();
}

}  // namespace

extern const Subsystem kFilesSubsystem = {"files", ReadProfile, StartFiles};

std::string WorkFolder() { return gWorkFolder.empty() ? TaskFolder(CurrentSlot()) : gWorkFolder; }

}  // namespace emu

// ---- TAP API ----

TAP_API_FUNCTION TYPE_File *TAP_Hdd_Fopen(const char *name) {
  if (!name || !*name || emu::FileOpenFails(emu::TapPath(name))) return nullptr;
  std::string path = emu::HostPath(name);
  if (emu::IsFolder(path)) return nullptr;
  FILE *file = fopen(path.c_str(), "r+b");
  if (!file) file = fopen(path.c_str(), "rb");
  if (!file) return nullptr;
  return new TYPE_File{file};
}

TAP_API_FUNCTION dword TAP_Hdd_Fread(void *buffer, dword size, dword count, TYPE_File *file) {
  if (!file || !buffer) return 0;
  return (dword)fread(buffer, size, count, file->file);
}

TAP_API_FUNCTION dword TAP_Hdd_Fwrite(const void *buffer, dword size, dword count, TYPE_File *file) {
  if (!file || !buffer) return 0;
  dword written = (dword)fwrite(buffer, size, count, file->file);
  fflush(file->file);
  return written;
}

TAP_API_FUNCTION dword TAP_Hdd_Fseek(TYPE_File *file, long offset, int origin) {
  if (!file) return 0;
  int whence = origin == SEEK_CURRENT ? SEEK_CUR : origin == SEEK_FROM_END ? SEEK_END : SEEK_SET;
  fseek(file->file, offset, whence);
  return (dword)ftell(file->file);
}

TAP_API_FUNCTION dword TAP_Hdd_Flen(TYPE_File *file) {
  if (!file) return 0;
  struct stat s;
  return fstat(fileno(file->file), &s) == 0 ? (dword)s.st_size : 0;
}

TAP_API_FUNCTION void TAP_Hdd_Fclose(TYPE_File *file) {
  if (!file) return;
  fclose(file->file);
  delete file;
}

TAP_API_FUNCTION int TAP_Hdd_Exist(const char *name) {
  if (!name || !*name) return 0;
  return access(emu::HostPath(name).c_str(), F_OK) == 0 ? 1 : 0;
}

TAP_API_FUNCTION int TAP_Hdd_Create(const char *name, byte attribute) {
  if (!name || !*name || emu::FileOpenFails(emu::TapPath(name))) return 0;
  std::string path = emu::HostPath(name);
  if (attribute == ATTR_FOLDER) return mkdir(path.c_str(), 0775) == 0 || emu::IsFolder(path) ? 1 : 0;
  FILE *file = fopen(path.c_str(), "wb");
  if (!file) return 0;
  fclose(file);
  return 1;
}

TAP_API_FUNCTION int TAP_Hdd_Delete(const char *name) {
  if (!name || !*name || emu::TapPath(name) == "/") return 0;
  return emu::RemoveTree(emu::HostPath(name)) ? 1 : 0;
}

TAP_API_FUNCTION int TAP_Hdd_ChangeDir(const char *folder) {
  if (!folder || !*folder) return 0;
  int slot = emu::CurrentSlot();
  if (!emu::IsFolder(emu::HostPath(folder))) return 0;
  return emu::SetTaskFolder(slot, emu::TapPath(folder)) ? 1 : 0;
}

TAP_API_FUNCTION dword TAP_Hdd_FindFirst(TYPE_FolderEntry *entry) {
  if (!entry) return 0;
  emu::FolderWalk &walk = emu::gWalks[emu::CurrentSlot()];
  walk = emu::FolderWalk();
  walk.folder = emu::HostPath(".");
  DIR *dir = opendir(walk.folder.c_str());
  if (!dir) return 0;
  while (dirent *found = readdir(dir)) {
    std::string name = found->d_name;
    if (name != "." && name != "..") walk.names.push_back(name);
  }
  closedir(dir);
  while (walk.next < walk.names.size()) {
    if (emu::Describe(walk, walk.names[walk.next++], entry)) return (dword)walk.names.size();
  }
  return 0;
}

TAP_API_FUNCTION dword TAP_Hdd_FindNext(TYPE_FolderEntry *entry) {
  if (!entry) return 0;
  emu::FolderWalk &walk = emu::gWalks[emu::CurrentSlot()];
  while (walk.next < walk.names.size()) {
    if (emu::Describe(walk, walk.names[walk.next++], entry)) return 1;
  }
  return 0;
}

TAP_API_FUNCTION dword TAP_Hdd_TotalSize(void) { return emu::DiskMiB(false); }

TAP_API_FUNCTION dword TAP_Hdd_FreeSize(void) { return emu::DiskMiB(true); }

// ---- Firmware hooks ----

FIRMWARE_HOOK void ApplHdd_SaveWorkFolder() { emu::gSavedWorkFolders.push_back(emu::WorkFolder()); }

FIRMWARE_HOOK void ApplHdd_RestoreWorkFolder() {
  if (emu::gSavedWorkFolders.empty()) return;
  emu::gWorkFolder = emu::gSavedWorkFolders.back();
  emu::gSavedWorkFolders.pop_back();
}

// Fills a folder record for a folder named by a TAP path or by an absolute path of the
// PVR's file system ("/mnt/hd/MediaFiles", "/mnt/sdb1/Films"); the record holds the TAP
// path of a folder on the disk and the absolute path of any other. 0 on success, -1 when
// the folder does not exist.
FIRMWARE_HOOK int ApplHdd_SelectFolder(void *folder, const char *path) {
  if (!folder || !path) return -1;
  std::string record = emu::JoinTapPath("/", path);
  std::string host = emu::HostPathOfTapPath("/", record);
  if (record.compare(0, 5, "/mnt/") == 0) {
    host = emu::gRoot + record;
    if (record == "/mnt/hd") record = "/";
    if (record.compare(0, 8, "/mnt/hd/") == 0) record = record.substr(7);
  }
  if (!emu::IsFolder(host)) return -1;
  emu::PutFolderRecord(static_cast<byte *>(folder), record);
  return 0;
}

FIRMWARE_HOOK void ApplHdd_SetWorkFolder(void *folder) {
  if (folder) emu::gWorkFolder = emu::GetFolderRecord(static_cast<const byte *>(folder));
}
