// Firmware functions and tables that the TAP API does not offer, looked up by symbol name.
// Every hook is bound on first use; a hook that does not resolve returns null (or the
// documented failure value) and its callers treat the feature as absent.
#pragma once

#include "platform/firmware_layout.h"

// Looks a symbol of the running firmware up; null when it does not exist.
void *TryResolve(const char *name);

// Analogue input.
byte *FirmwareIsAnalogMode();                       // "_isAnalogMode"
typedef int (*FwGetAnalogEncoderState)(void);
typedef void (*FwAnalogChangeAction)(void);
typedef void (*FwSetAnalogEncoderMode)(byte mode);
typedef byte (*FwGetAnalogEncoderMode)(void);
FwGetAnalogEncoderState HookGetAnalogEncoderState();
FwAnalogChangeAction HookAnalogChangeAction();
FwSetAnalogEncoderMode HookSetAnalogEncoderMode();
FwGetAnalogEncoderMode HookGetAnalogEncoderMode();
// Binds the five analogue hooks that are still unbound.
void BindAnalogHooks();

// Firmware variants.
// Whether the firmware works with UTF-8 strings: "_Z26Appl_ConvertToValidUTF8StrPhi"
// resolves. Decided once; the first answer serves all later calls.
bool isUTFFirmware();
// Whether the firmware is the Australian variant: "_contentDesStr_AUS" resolves.
bool isAUFirmware();

// System.
byte *FirmwareTimeInfo();                           // time block, null when absent
typedef dword (*FwTimeToLocal)(dword utcPackedDate);
FwTimeToLocal HookTimeToLocal();                    // "_Z16Appl_TimeToLocalj"
typedef void (*FwPutDevEvt)(dword event, dword param);
FwPutDevEvt HookPutDevEvt();                        // "PutDevEvt"
typedef int (*FwExecProgram)(char *fileName);
FwExecProgram HookExecProgram();                    // "_Z16Appl_ExecProgramPc"

// Folders.
typedef void (*FwSaveWorkFolder)(void);
typedef void (*FwRestoreWorkFolder)(void);
typedef int (*FwSelectFolder)(void *folder, const char *path);
typedef void (*FwSetWorkFolder)(void *folder);
FwSaveWorkFolder HookSaveWorkFolder();              // "_Z22ApplHdd_SaveWorkFolderv"
FwRestoreWorkFolder HookRestoreWorkFolder();        // "_Z25ApplHdd_RestoreWorkFolderv"
FwSelectFolder HookSelectFolder();                  // "_Z20ApplHdd_SelectFolderPvPKc"
FwSetWorkFolder HookSetWorkFolder();                // "_Z21ApplHdd_SetWorkFolderPv"

// TAPs.
FirmwareTapTask *FirmwareTapTasks();                // "_tapTask", 16 slots
dword *FirmwareCurrentTapTask();                    // "_curTapTask"
