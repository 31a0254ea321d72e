// The TAP file system on the emulated disk and the firmware's work folder.
#pragma once

#include <string>

namespace emu {

// The folder the firmware runs programs from: the one set through the work-folder hooks,
// else the current TAP's folder.
std::string WorkFolder();

}  // namespace emu
