// The status answer: what the PVR is doing now (state, channel, disk and memory, playback,
// every recording slot, the attached drives).
#pragma once

void APIStatusGet();
