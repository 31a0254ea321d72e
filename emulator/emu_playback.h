// Playback and recording slots of the emulated PVR.
#pragma once

#include <vector>

#include "platform/tap_api.h"

namespace emu {

// Profile "recordings": one entry per recording slot, {"type": n, "duration": minutes};
// type 0 means the slot is not recording.
struct PlaybackProfile {
  std::vector<TYPE_RecInfo> recordings;
};
extern PlaybackProfile gPlayback;

// What is playing: PLAYMODE_None when nothing.
TYPE_PlayInfo PlayState();

}  // namespace emu
