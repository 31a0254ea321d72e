// The PVR's recording slots as the TAP API reports them.
#pragma once

enum { REC_SLOTS_MAX = 16 };   // slots asked for at most

// The number of recording slots: modelSlots when the model record gave a number in
// 1..REC_SLOTS_MAX, else as many slots, from slot 0 on, as the firmware reports.
int RecordingSlotCount(int modelSlots);

// Whether any of those slots records.
bool AnyRecordingRuns(int modelSlots);
