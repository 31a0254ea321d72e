// The emulated screen as a television would show it: the video picture with the OSD planes
// over it.
#pragma once

#include <string>
#include <vector>

#include "platform/tap_api.h"

namespace emu {

// The screen in 720 x 576 pixels of 4 bytes (red, green, blue, alpha), rows top to bottom:
// the video picture scaled to that size, then planes 2, 1 and 0, each pixel of a plane with
// any non-zero byte covering what lies beneath.
std::vector<byte> ComposedScreen();
// Writes that screen as a PNG file (a host path); false with a message.
bool WriteScreenPicture(const std::string &hostFile, std::string *error);

}  // namespace emu
