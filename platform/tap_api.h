// The TAP API: the functions the PVR firmware offers to its plug-ins (TAPs).
// On the PVR the firmware resolves them when it loads a TAP; on a PC pvrsim defines them.
#pragma once

#include <stdint.h>
#include <stddef.h>

typedef uint8_t byte;
typedef uint16_t word;
typedef uint32_t dword;
// An event parameter: a 32-bit word on the PVR; as wide as an address on a 64-bit host, so
// that events can carry the address of a message.
typedef uintptr_t TapParam;

// Symbols a TAP exports to the firmware; everything else stays hidden.
#define TAP_EXPORT extern "C" __attribute__((visibility("default")))

// Event codes.
enum : word {
  EVT_IDLE = 0x0000,
  EVT_KEY = 0x0100,               // param1 = key code
  EVT_STOP = 0x0900,              // the firmware stops the TAP
  EVT_TMSCOMMANDER = 0x0B00,      // sent by the TMSCommander TAP, param1 = command
  EVT_API_FORWARD = 0x0C01,       // an HTTP API request forwarded to another TAP
  EVT_RELOAD_CONFIG = 0xFE01,     // re-read the settings files
};

// File attributes for TAP_Hdd_Create.
enum : byte {
  ATTR_NORMAL = 208,   // a plain file
  ATTR_FOLDER = 224,   // a folder
};

// Origins for TAP_Hdd_Fseek.
enum { SEEK_START = 0, SEEK_CURRENT = 1, SEEK_FROM_END = 2 };

// An open file of the TAP file system; its layout belongs to the firmware.
typedef struct TYPE_File TYPE_File;

// The state of one recording slot.
typedef struct {
  byte recType;     // 0: the slot is not recording
  dword duration;   // minutes
} TYPE_RecInfo;

// The record __TAP_Init_ fills: the firmware calls these two entry points.
typedef int (*TAP_MainFunction)(void);
typedef dword (*TAP_EventHandlerFunction)(word event, TapParam param1, TapParam param2);
struct TAP_Registration {
  TAP_MainFunction main;
  TAP_EventHandlerFunction eventHandler;
};

extern "C" {

// Files on the PVR disk, relative to the TAP's current folder ("/" is the disk's top).
TYPE_File *TAP_Hdd_Fopen(const char *name);           // existing file, read and write
dword TAP_Hdd_Fread(void *buffer, dword size, dword count, TYPE_File *file);   // items read
dword TAP_Hdd_Fwrite(const void *buffer, dword size, dword count, TYPE_File *file);
dword TAP_Hdd_Fseek(TYPE_File *file, long offset, int origin);                 // new position
dword TAP_Hdd_Flen(TYPE_File *file);
void TAP_Hdd_Fclose(TYPE_File *file);
int TAP_Hdd_Exist(const char *name);                  // 1 when a file or folder of that name exists
int TAP_Hdd_Create(const char *name, byte attribute); // 1 on success
int TAP_Hdd_Delete(const char *name);                 // 1 on success
int TAP_Hdd_ChangeDir(const char *folder);            // 1 on success; "/", "..", a name or a path

// Recording.
int TAP_Hdd_GetRecInfo(byte slot, TYPE_RecInfo *info);   // 1 when the slot exists

// System, time and memory.
word TAP_GetSystemId(void);
// System variables by number; 1 is the menu language (0 English, 1 French, 2 German, ...).
enum { SYSVAR_OsdLan = 1 };
int TAP_GetSystemVar(int variable);
int TAP_GetTime(word *mjd, byte *hour, byte *minute, byte *second);   // local PVR time
dword TAP_GetTick(void);                                              // 1/100 s since power-on
int TAP_ExtractMjd(word mjd, word *year, byte *month, byte *day, byte *weekDay);
word TAP_MakeMjd(word year, byte month, byte day);
void *TAP_MemAlloc(dword size);
int TAP_MemFree(const void *address);
int TAP_GenerateEvent(word event, dword param1, dword param2);
void TAP_Exit(void);
void TAP_Reboot(void);
void TAP_Delay(dword ticks);

}  // extern "C"

// Entry points every TAP defines.
TAP_EXPORT int TAP_Main(void);
TAP_EXPORT dword TAP_EventHandler(word event, TapParam param1, TapParam param2);
TAP_EXPORT void __TAP_Init_(TAP_Registration *registration);
