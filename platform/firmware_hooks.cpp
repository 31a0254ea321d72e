#include "platform/firmware_hooks.h"

#include <dlfcn.h>

void *TryResolve(const char *name) {
  void *self = dlopen(nullptr, RTLD_LAZY | RTLD_GLOBAL);
  if (!self) return nullptr;
  dlerror();
  void *address = dlsym(self, name);
  if (dlerror() != nullptr) address = nullptr;
  dlclose(self);
  return address;
}

namespace {

// Resolves a hook once; a null result is not kept, so a later use tries again.
template <typename T>
T Bind(T &cache, const char *name) {
  if (!cache) cache = reinterpret_cast<T>(TryResolve(name));
  return cache;
}

// A table hook names a firmware variable holding a pointer to the table.
template <typename T>
T *Table(const char *name) {
  void **variable = static_cast<void **>(TryResolve(name));
  return variable ? static_cast<T *>(*variable) : nullptr;
}

FwGetAnalogEncoderState gGetAnalogEncoderState;
FwAnalogChangeAction gAnalogChangeAction;
FwSetAnalogEncoderMode gSetAnalogEncoderMode;
FwGetAnalogEncoderMode gGetAnalogEncoderMode;
byte *gIsAnalogMode;

}  // namespace

byte *FirmwareIsAnalogMode() { return Bind(gIsAnalogMode, "_isAnalogMode"); }
FwGetAnalogEncoderState HookGetAnalogEncoderState() {
  return Bind(gGetAnalogEncoderState, "_Z26Appl_GetAnalogEncoderStatev");
}
FwAnalogChangeAction HookAnalogChangeAction() {
  return Bind(gAnalogChangeAction, "_Z23Appl_AnalogChangeActionv");
}
FwSetAnalogEncoderMode HookSetAnalogEncoderMode() {
  return Bind(gSetAnalogEncoderMode, "_Z25Appl_SetAnalogEncoderModeh");
}
FwGetAnalogEncoderMode HookGetAnalogEncoderMode() {
  return Bind(gGetAnalogEncoderMode, "_Z25Appl_GetAnalogEncoderModev");
}

void BindAnalogHooks() {
  FirmwareIsAnalogMode();
  HookGetAnalogEncoderState();
  HookAnalogChangeAction();
  HookSetAnalogEncoderMode();
  HookGetAnalogEncoderMode();
}

bool isUTFFirmware() {
  // The first answer serves all later calls.
  static int known = -1;
  if (known < 0) known = TryResolve("_Z26Appl_ConvertToValidUTF8StrPhi") ? 1 : 0;
  return known == 1;
}

bool isAUFirmware() { return TryResolve("_contentDesStr_AUS") != nullptr; }

byte *FirmwareTimeInfo() { return Table<byte>("_timeInfo"); }

FwTimeToLocal HookTimeToLocal() {
  static FwTimeToLocal hook;
  return Bind(hook, "_Z16Appl_TimeToLocalj");
}
FwPutDevEvt HookPutDevEvt() {
  static FwPutDevEvt hook;
  return Bind(hook, "PutDevEvt");
}
FwExecProgram HookExecProgram() {
  static FwExecProgram hook;
  return Bind(hook, "_Z16Appl_ExecProgramPc");
}

FwSaveWorkFolder HookSaveWorkFolder() {
  static FwSaveWorkFolder hook;
  return Bind(hook, "_Z22ApplHdd_SaveWorkFolderv");
}
FwRestoreWorkFolder HookRestoreWorkFolder() {
  static FwRestoreWorkFolder hook;
  return Bind(hook, "_Z25ApplHdd_RestoreWorkFolderv");
}
FwSelectFolder HookSelectFolder() {
  static FwSelectFolder hook;
  return Bind(hook, "_Z20ApplHdd_SelectFolderPvPKc");
}
FwSetWorkFolder HookSetWorkFolder() {
  static FwSetWorkFolder hook;
  return Bind(hook, "_Z21ApplHdd_SetWorkFolderPv");
}

FirmwareTapTask *FirmwareTapTasks() { return Table<FirmwareTapTask>("_tapTask"); }
dword *FirmwareCurrentTapTask() { return static_cast<dword *>(TryResolve("_curTapTask")); }
