// How the emulator's source files define the firmware interface.
//
// TAP_API_FUNCTION marks a TAP API function: C linkage, exported so that the TAPs bind to it.
// FIRMWARE_HOOK marks the emulator's definition of a firmware hook: a function at global
// scope with the firmware's name and the list's signature (so it carries the firmware's
// mangled name), kept out of the program's exported symbols. Each hook is exported from a
// firmware module of its own (emulator/firmware_module.cpp), loaded only while the hook
// exists, so that the model profile and the fault injection decide which hooks resolve.
#pragma once

#include "platform/firmware_hooks.h"

#define TAP_API_FUNCTION extern "C" __attribute__((visibility("default")))
#define FIRMWARE_HOOK __attribute__((visibility("hidden")))

// Every function hook of the list, declared as the emulator defines it.
#define FW_FUNCTION(id, name, symbol, ret, params, presence) FIRMWARE_HOOK ret name params;
#define FW_C_FUNCTION(id, name, symbol, ret, params, presence) extern "C" FIRMWARE_HOOK ret name params;
#include "platform/firmware_interface.def"
