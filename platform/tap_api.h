// The TAP API: the functions the PVR firmware offers to its plug-ins (TAPs), declared from
// the one list of the firmware interface (platform/firmware_interface.def). On the PVR the
// firmware resolves them when it loads a TAP; on a PC pvrsim defines them.
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

// File attributes for TAP_Hdd_Create and of folder entries.
enum : byte {
  ATTR_NORMAL = 208,   // a plain file
  ATTR_FOLDER = 224,   // a folder
};

// Origins for TAP_Hdd_Fseek.
enum { SEEK_START = 0, SEEK_CURRENT = 1, SEEK_FROM_END = 2 };

// System variables by number.
enum {
  SYSVAR_Volume = 0,   // 0..17
  SYSVAR_OsdLan = 1,   // menu language (0 English, 1 French, 2 German, ...)
};

// TAP_GetState states.
enum { STATE_Normal = 0, STATE_Tap = 1 };   // the receiver's display, or a TAP's

// TAP_Timer_Add / TAP_Timer_Modify results.
enum { TIMER_ADDED = 0, TIMER_INVALID = 1, TIMER_TABLE_FULL = 2 };

// An open file of the TAP file system; its layout belongs to the firmware.
typedef struct TYPE_File TYPE_File;

// One entry of the current folder (TAP_Hdd_FindFirst / TAP_Hdd_FindNext).
typedef struct {
  char name[256];
  byte attribute;   // ATTR_NORMAL or ATTR_FOLDER
  word mjd;         // last change, local PVR time
  byte hour, minute, second;
  uint64_t size;    // bytes
} TYPE_FolderEntry;

// The state of one recording slot.
typedef struct {
  byte recType;     // 0: the slot is not recording
  dword duration;   // minutes
} TYPE_RecInfo;

// Playback state (TAP_Hdd_GetPlayInfo): 308 bytes, cleared by the caller. The status
// answer and the playback handlers read it; the byte offsets are those of the fields below.
enum { PLAYMODE_None = 0, PLAYMODE_Playing = 1, PLAYMODE_Mp3 = 2, PLAYMODE_Paused = 4 };
enum { TRICKMODE_Normal = 0, TRICKMODE_Forward = 1, TRICKMODE_Rewind = 2, TRICKMODE_Slow = 3 };
enum { PLAY_INFO_PATH_SIZE = 288 };
typedef struct {
  byte playMode;        // 0: PLAYMODE_
  byte trickMode;       // 1: TRICKMODE_
  byte speed;           // 2: 1 normal speed, else the trick mode's factor
  byte svcType;         // 3: service type of the recording (0 TV, 1 radio); 0 for other files
  word svcNum;          // 4: its service number
  word durationMin;     // 6: duration of the playing file, minutes
  byte durationSec;     // 8: and seconds
  byte reserved[3];     // 9
  dword currentBlock;   // 12: position in blocks
  dword totalBlock;     // 16: length in blocks
  // 20: absolute path of the playing file on the PVR ("/mnt/hd/DataFiles/News.rec"),
  // terminated; its last segment is the file name. Empty when nothing plays.
  char filePath[PLAY_INFO_PATH_SIZE];
} TYPE_PlayInfo;
static_assert(sizeof(TYPE_PlayInfo) == 308, "play information is 308 bytes");
static_assert(offsetof(TYPE_PlayInfo, svcNum) == 4 && offsetof(TYPE_PlayInfo, currentBlock) == 12 &&
                  offsetof(TYPE_PlayInfo, filePath) == 20,
              "play information offsets");

// A service as the TAP API describes it (TAP_Channel_GetInfo).
typedef struct {
  char chName[24];
  char satName[24];
  word logicalChNum;
  byte satIdx;
  byte reserved;
  word orgNetId;
  word networkId;
  word tsId;
  word svcId;
} TYPE_TapChInfo;

// A timer as the TAP API passes it (TAP_Timer_Add, TAP_Timer_Modify, TAP_Timer_GetInfo).
typedef struct {
  byte isRec;             // 1 record, 0 switch only
  byte tuner;             // 3: the PVR chooses; 4: the analogue input
  byte svcType;           // 0 TV, 1 radio
  byte reserved;
  word svcNum;
  byte reservationType;   // repetition kind
  byte nameFix;           // 1 when the file name was set by the user
  word duration;          // minutes
  dword startTime;        // packed PVR date
  char fileName[128];
} TYPE_TimerInfo;

// A video capture (TAP_CaptureScreen): 720 x 576 pixels of 4 bytes (blue, green, red,
// alpha), allocated with TAP_MemAlloc for the caller.
typedef struct {
  byte *pixels;
  word format;          // 1: 32-bit pixels
  word width, height;
} TYPE_VideoBank;

// A copy of an OSD plane (TAP_Osd_GetPlaneBaseInfo): pixels as for a capture, allocated
// with TAP_MemAlloc for the caller.
typedef struct {
  byte *pixels;
  word width, height;
  dword bytesPerLine;
} TYPE_OsdBaseInfo;

// The record __TAP_Init_ fills: the firmware calls these two entry points.
typedef int (*TAP_MainFunction)(void);
typedef dword (*TAP_EventHandlerFunction)(word event, TapParam param1, TapParam param2);
struct TAP_Registration {
  TAP_MainFunction main;
  TAP_EventHandlerFunction eventHandler;
};

extern "C" {
#define TAP_API(name, ret, params) ret name params;
#include "platform/firmware_interface.def"
}  // extern "C"

// Entry points every TAP defines.
TAP_EXPORT int TAP_Main(void);
TAP_EXPORT dword TAP_EventHandler(word event, TapParam param1, TapParam param2);
TAP_EXPORT void __TAP_Init_(TAP_Registration *registration);
