// The audio volume through the API: its level (0..17) and the mute state, which only the
// mute key changes.
#pragma once

void APIVolumeGet();
// Parameter "level": "mute", "unmute" or a level.
void APIVolumeSet(const char *params);
