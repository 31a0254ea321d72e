// Playback and recording slots of the emulated PVR.
#pragma once

#include <stdint.h>

#include <vector>

#include "platform/tap_api.h"

namespace emu {

// Profile "recordings": one entry per recording slot, {"type": n, "duration": minutes,
// "tuner": n, "svc_type": 0 TV / 1 radio, "svc_num": n, "start": local time
// "YYYY-MM-DD hh:mm" (default: when pvrsim started), "file": the recording's file name};
// type 0 means the slot is not recording.
struct RecordingSlot {
  TYPE_RecInfo info = {};   // startTime and endTime as packed local dates
  int64_t startLocal = 0;   // local Unix seconds of the start
};
struct PlaybackProfile {
  std::vector<RecordingSlot> recordings;
};
extern PlaybackProfile gPlayback;

// What is playing: PLAYMODE_None when nothing.
TYPE_PlayInfo PlayState();
// Puts the player into a state (tests).
void SetPlayState(const TYPE_PlayInfo &state);

}  // namespace emu
