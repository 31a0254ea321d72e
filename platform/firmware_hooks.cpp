#include "platform/firmware_hooks.h"

#include <dlfcn.h>
#include <string.h>

#include "platform/byte_order.h"

void *TryResolve(const char *name) {
  void *self = dlopen(nullptr, RTLD_LAZY | RTLD_GLOBAL);
  if (!self) return nullptr;
  dlerror();
  void *address = dlsym(self, name);
  if (dlerror() != nullptr) address = nullptr;
  dlclose(self);
  return address;
}

const FirmwareHookInfo gFirmwareHooks[FW_HOOK_COUNT] = {
#define FW_FUNCTION(id, name, symbol, ret, params, presence) {symbol, FW_KIND_FUNCTION, presence, 0},
#define FW_C_FUNCTION FW_FUNCTION
#define FW_TABLE(id, name, symbol, presence) {symbol, FW_KIND_TABLE, presence, 4},
#define FW_DATA(id, name, symbol, type, presence) {symbol, FW_KIND_DATA, presence, sizeof(type)},
#include "platform/firmware_interface.def"
};

namespace {

void *gBound[FW_HOOK_COUNT];   // resolved addresses; null until a lookup succeeds
int gUTFFirmware = -1;         // -1: not decided yet
int gAUFirmware = -1;

// The hook's resolved address; a null result is not kept, so a later use tries again.
void *Bind(FirmwareHookId id) {
  if (!gBound[id]) gBound[id] = TryResolve(gFirmwareHooks[id].symbol);
  return gBound[id];
}

// A table hook's variable holds the table's address as a 32-bit word.
byte *Table(FirmwareHookId id) {
  const void *variable = Bind(id);
  return variable ? FirmwareAddress(GetLE32(variable)) : nullptr;
}

}  // namespace

#define FW_FUNCTION(id, name, symbol, ret, params, presence) \
  Fw##id Hook##id() { return reinterpret_cast<Fw##id>(Bind(FW_HOOK_##id)); }
#define FW_C_FUNCTION FW_FUNCTION
#define FW_TABLE(id, name, symbol, presence) \
  byte *Firmware##id() { return Table(FW_HOOK_##id); }
#define FW_DATA(id, name, symbol, type, presence) \
  type *Firmware##id() { return static_cast<type *>(Bind(FW_HOOK_##id)); }
#include "platform/firmware_interface.def"

void BindAnalogHooks() {
  FirmwareIsAnalogMode();
  HookGetAnalogEncoderState();
  HookAnalogChangeAction();
  HookSetAnalogEncoderMode();
  HookGetAnalogEncoderMode();
}

bool isUTFFirmware() {
  if (gUTFFirmware < 0) gUTFFirmware = HookConvertToValidUTF8Str() ? 1 : 0;
  return gUTFFirmware == 1;
}

bool isAUFirmware() {
  if (gAUFirmware < 0) gAUFirmware = Bind(FW_HOOK_AustralianGenreTexts) ? 1 : 0;
  return gAUFirmware == 1;
}

void ResetFirmwareHooks() {
  memset(gBound, 0, sizeof gBound);
  gUTFFirmware = -1;
  gAUFirmware = -1;
}
