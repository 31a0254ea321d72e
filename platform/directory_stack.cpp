#include "platform/directory_stack.h"

#include <string.h>

#include "platform/byte_order.h"
#include "platform/firmware_hooks.h"
#include "platform/tap_api.h"

namespace {
char gDirStack[DIR_STACK_DEPTH][DIR_STACK_ENTRY];
int gDirStackDepth;
}  // namespace

int HDD_TAP_GetCurrentDir(char *out, size_t size) {
  if (!out || size == 0) return 0;
  out[0] = '\0';
  // The firmware keeps each TAP's current folder in its task record.
  const byte *tasks = FirmwareTapTasks();
  const dword *current = FirmwareCurrentTapTask();
  if (!tasks || !current || *current >= TAP_TASK_SLOTS) return 0;
  const byte *record = FirmwareAddress(GetLE32(tasks + *current * TAP_TASK_SLOT_SIZE + TAP_TASK_RECORD));
  if (!record) return 0;
  const char *folder = reinterpret_cast<const char *>(record + TAP_TASK_FOLDER);
  size_t length = strnlen(folder, TAP_FOLDER_PATH_SIZE);
  if (length >= size || length == TAP_FOLDER_PATH_SIZE) return 0;
  memcpy(out, folder, length);
  out[length] = '\0';
  return 1;
}

int HDD_TAP_PushDir() {
  if (gDirStackDepth >= DIR_STACK_DEPTH) return 0;
  if (!HDD_TAP_GetCurrentDir(gDirStack[gDirStackDepth], DIR_STACK_ENTRY)) return 0;
  gDirStackDepth++;
  return 1;
}

int HDD_TAP_PopDir() {
  if (gDirStackDepth <= 0) return 0;
  gDirStackDepth--;
  return HDD_ChangeDir(gDirStack[gDirStackDepth]);
}

int HDD_ChangeDir(const char *folder) {
  if (!folder || !*folder) return 0;
  return TAP_Hdd_ChangeDir(folder);
}
