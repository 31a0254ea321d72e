// The drives attached to the PVR (USB disks): the firmware's partition table
// ("_extPartitionInfo", "_nExtPartition") and the space on their file systems.
#pragma once

#include <stdint.h>

#include "platform/firmware_layout.h"

enum { EXTERNAL_DRIVES_MAX = 10 };   // partitions reported at most

struct ExternalDrive {
  char path[EXT_PARTITION_PATH_SIZE + 1];
  char mountPath[EXT_PARTITION_MOUNT_SIZE + 1];
  char name[EXT_PARTITION_NAME_SIZE + 1];
  dword sizeMb;
  dword type;
};

// Reads the first entries of the partition table, at most max and EXTERNAL_DRIVES_MAX, into
// drives; returns how many. 0 when either hook is missing.
int ReadExternalDrives(ExternalDrive *drives, int max);

// Free and total MiB of the file system mounted at mountPath (a path of the PVR's file
// system); false when its statistics cannot be read.
bool DriveSpaceMb(const char *mountPath, int64_t *freeMb, int64_t *sizeMb);
