#include "platform/recording_slots.h"

#include "platform/tap_api.h"

int RecordingSlotCount(int modelSlots) {
  if (modelSlots > 0 && modelSlots <= REC_SLOTS_MAX) return modelSlots;
  int slots = 0;
  TYPE_RecInfo info;
  while (slots < REC_SLOTS_MAX && TAP_Hdd_GetRecInfo((byte)slots, &info)) slots++;
  return slots;
}

bool AnyRecordingRuns(int modelSlots) {
  int slots = RecordingSlotCount(modelSlots);
  for (int slot = 0; slot < slots; slot++) {
    TYPE_RecInfo info = {};
    if (TAP_Hdd_GetRecInfo((byte)slot, &info) && info.recType != 0) return true;
  }
  return false;
}
