// Firmware functions and tables that the TAP API does not offer, looked up by symbol name
// (platform/firmware_interface.def lists them). Every hook is bound on first use and kept;
// a hook that does not resolve returns null and is tried again at the next use. Callers
// treat null as the feature being absent.
//
// For each hook of the list:
//   FW_FUNCTION(Id, ...)  typedef FwId; FwId HookId();  the function, or null
//   FW_TABLE(Id, ...)     byte *FirmwareId();            the table's address, or null
//   FW_DATA(Id, ..., T)   T *FirmwareId();               the variable's address, or null
#pragma once

#include "platform/firmware_layout.h"

// Looks a symbol of the running firmware up; null when it does not exist.
void *TryResolve(const char *name);

enum FirmwareHookId {
#define FW_FUNCTION(id, name, symbol, ret, params, presence) FW_HOOK_##id,
#define FW_C_FUNCTION FW_FUNCTION
#define FW_TABLE(id, name, symbol, presence) FW_HOOK_##id,
#define FW_DATA(id, name, symbol, type, presence) FW_HOOK_##id,
#include "platform/firmware_interface.def"
  FW_HOOK_COUNT
};

enum FirmwareHookKind { FW_KIND_FUNCTION, FW_KIND_TABLE, FW_KIND_DATA };
enum { FW_ALWAYS = 0, FW_OPTIONAL = 1 };

// What the list says of a hook.
struct FirmwareHookInfo {
  const char *symbol;
  FirmwareHookKind kind;
  int optional;           // FW_OPTIONAL: only some firmware variants have it
  unsigned size;          // bytes of a data hook's variable, 4 for a table hook
};
extern const FirmwareHookInfo gFirmwareHooks[FW_HOOK_COUNT];

#define FW_FUNCTION(id, name, symbol, ret, params, presence) \
  typedef ret(*Fw##id) params;                                \
  Fw##id Hook##id();
#define FW_C_FUNCTION FW_FUNCTION
#define FW_TABLE(id, name, symbol, presence) byte *Firmware##id();
#define FW_DATA(id, name, symbol, type, presence) type *Firmware##id();
#include "platform/firmware_interface.def"

// Binds the five analogue hooks that are still unbound.
void BindAnalogHooks();

// Firmware variants, decided once: the first answer serves all later calls.
// UTF-8 strings: "_Z26Appl_ConvertToValidUTF8StrPhi" resolves.
bool isUTFFirmware();
// The Australian variant: "_contentDesStr_AUS" resolves.
bool isAUFirmware();

// Forgets every bound hook and the firmware variants (for tests that change the emulated
// firmware; product code never calls it).
void ResetFirmwareHooks();
