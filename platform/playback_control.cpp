#include "platform/playback_control.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "common/text_helpers.h"
#include "platform/byte_order.h"
#include "platform/firmware_hooks.h"
#include "platform/firmware_model.h"
#include "platform/flash_tables.h"
#include "platform/pvr_path.h"

int PlayMediaFile(const char *path) {
  FwSaveWorkFolder save = HookSaveWorkFolder();
  FwRestoreWorkFolder restore = HookRestoreWorkFolder();
  FwSelectFolder select = HookSelectFolder();
  FwSetWorkFolder setWork = HookSetWorkFolder();
  FwStartPlayback startRecording = HookStartPlayback();
  FwStartPlaybackMedia startMedia = HookStartPlaybackMedia();
  if (!path || !save || !restore || !select || !setWork || !startRecording || !startMedia) return 0;
  const char *slash = strrchr(path, '/');
  char folder[FOLDER_RECORD_SIZE];
  if (!slash || (size_t)(slash - path) >= sizeof folder) return 0;
  CopyBounded(folder, sizeof folder, path, slash == path ? 1 : (size_t)(slash - path));

  save();
  byte record[FOLDER_RECORD_SIZE];
  memset(record, 0, sizeof record);
  int selected = select(record, folder);
  if (selected != 0) {
    restore();
    return selected;
  }
  setWork(record);
  char header[PVR_PATH_SIZE];
  int length = snprintf(header, sizeof header, "%s.inf", path);
  MappedPath mapped(length > 0 && (size_t)length < sizeof header ? header : "");
  bool recording = mapped.c_str() && access(mapped.c_str(), F_OK) == 0;
  int result = recording ? startRecording(path, 0, true) : startMedia(path, 0, true, false);
  restore();
  return result == 0 ? 1 : 0;
}

int HDD_RECSlotSetDuration(int slot, word minutes) {
  byte *slots = FirmwareRecordingSlots();
  const byte *model = FindModelRecord(TAP_GetSystemId());
  int entrySize = FlashTimerStructSize();
  if (!slots || !model || entrySize <= 0 || slot < 0) return 0;
  if ((dword)slot >= ModelField32(model, MODEL_REC_STREAMS)) return 0;
  byte *entry = slots + (size_t)slot * (size_t)entrySize;
  if (GetLE16(entry + RECORDING_SLOT_DURATION) == 0) return 0;
  PutLE16(entry + RECORDING_SLOT_DURATION, minutes);
  return 1;
}
