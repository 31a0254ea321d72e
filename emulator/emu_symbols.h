// Which firmware symbols the emulated firmware has, and the firmware variables behind the
// data and table hooks. A hook exists while its firmware module is loaded: always-present
// hooks unless the profile ("absent_symbols") or a fault makes them absent, optional hooks
// only when the profile names them ("optional_symbols").
#pragma once

#include <string>
#include <vector>

#include "platform/firmware_hooks.h"

namespace emu {

// Makes exactly these optional hooks exist (the others absent). False with a message for
// a symbol that is not an optional hook, or when a module cannot be loaded.
bool SetOptionalSymbols(const std::vector<std::string> &symbols, std::string *error);
// Makes exactly these hooks absent (optional or not), on top of the optional ones chosen.
bool SetAbsentSymbols(const std::vector<std::string> &symbols, std::string *error);
// The same for the hooks made absent by fault injection (emu_faults.h).
bool SetFaultedSymbols(const std::vector<std::string> &symbols, std::string *error);
// Loads and unloads the modules as the profile and the faults ask (Start calls it).
bool ApplySymbols(std::string *error);
// Every optional hook of the list.
const std::vector<std::string> &KnownOptionalSymbols();
// The hook with this symbol, or -1.
int FindHook(const std::string &symbol);
bool HookPresent(FirmwareHookId id);

// What the hook's module exports under its symbol: the function or the variable; null
// while the hook is absent.
void *HookDefinition(FirmwareHookId id);

// The firmware variable of a data or table hook: in its module while the hook exists,
// else kept aside (and copied into the module when the hook appears).
void *HookVariable(FirmwareHookId id);
template <typename T>
T &FirmwareVariable(FirmwareHookId id) {
  return *static_cast<T *>(HookVariable(id));
}
// Stores a table's address in a table hook's variable.
void PublishTable(FirmwareHookId id, const void *table);
byte *PublishedTable(FirmwareHookId id);

}  // namespace emu
