#include "platform/external_drives.h"

#include <sys/statvfs.h>

#include "common/text_helpers.h"
#include "platform/byte_order.h"
#include "platform/firmware_hooks.h"
#include "platform/pvr_path.h"

int ReadExternalDrives(ExternalDrive *drives, int max) {
  const byte *table = FirmwareExternalPartitions();
  const dword *reported = FirmwareExternalPartitionCount();
  if (!table || !reported || !drives) return 0;
  dword count = *reported;
  if (max > EXTERNAL_DRIVES_MAX) max = EXTERNAL_DRIVES_MAX;
  if (count > (dword)(max > 0 ? max : 0)) count = (dword)(max > 0 ? max : 0);
  for (dword i = 0; i < count; i++) {
    const byte *entry = table + i * EXT_PARTITION_ENTRY_SIZE;
    ExternalDrive &drive = drives[i];
    CopyBounded(drive.path, sizeof drive.path, reinterpret_cast<const char *>(entry + EXT_PARTITION_PATH),
                EXT_PARTITION_PATH_SIZE);
    CopyBounded(drive.mountPath, sizeof drive.mountPath, reinterpret_cast<const char *>(entry + EXT_PARTITION_MOUNT),
                EXT_PARTITION_MOUNT_SIZE);
    CopyBounded(drive.name, sizeof drive.name, reinterpret_cast<const char *>(entry + EXT_PARTITION_NAME),
                EXT_PARTITION_NAME_SIZE);
    drive.sizeMb = GetLE32(entry + EXT_PARTITION_SIZE_MB);
    drive.type = GetLE32(entry + EXT_PARTITION_TYPE);
  }
  return (int)count;
}

bool DriveSpaceMb(const char *mountPath, int64_t *freeMb, int64_t *sizeMb) {
  if (!mountPath || !mountPath[0]) return false;
  MappedPath path(mountPath);
  struct statvfs s;
  if (!path.c_str() || statvfs(path.c_str(), &s) != 0) return false;
  *freeMb = (int64_t)((uint64_t)s.f_bsize * s.f_bfree >> 20);
  *sizeMb = (int64_t)((uint64_t)s.f_bsize * s.f_blocks >> 20);
  return true;
}
