// Recording headers: the ".inf" file beside a recording, decoded field by field at its
// byte offsets into a plain record for the directory listing.
//
// The file starts with the magic "TFrc" and a 16-bit version. The version is read
// big-endian; when that reads 80, 128 or 4176 the file was written little-endian and every
// multi-byte field is read little-endian, otherwise big-endian. The layouts of system
// types 5 (TMSS, satellite), 6 (TMST, terrestrial) and 7 (TMSC, cable) are decoded.
#pragma once

#include "platform/tap_api.h"

enum {
  REC_SERVICE_NAME_SIZE = 24,       // bytes of the service name in the file
  REC_EVENT_TEXT_SIZE = 273,        // bytes shared by the event name and its description
  REC_EXT_TEXT_SIZE = 1024,         // bytes of the extended event text
  REC_BOOKMARKS = 177,
  REC_HEADER_MAGIC = 0x54467263,    // "TFrc", read big-endian
  // The decoded layouts end before this offset: reading this many bytes of a file is
  // enough (a shorter file reads as if padded with zeros).
  REC_HEADER_READ_SIZE = 2128,
};

struct RECHeaderInfo {
  struct {
    dword magic;
    word version;
    byte reserved1[2];         // bytes 6-7
    dword startTime;           // PVR date: MJD << 16 | hour << 8 | minute
    word durationMinutes;
    word durationSeconds;
    word serviceNumber;        // not in these layouts; the listing's channel match sets it
    word serviceType;
    byte flags;                // header flags, masked with 0xFC
    dword copyFlag;            // 0x80 or 0
    dword timeShiftFlag;       // 0x40 or 0
    byte flags2;               // bits 0-5
    byte reserved2[10];        // bytes 18-27
  } header;
  struct {
    byte satIndex;
    byte serviceType;
    word tpIndex;              // 10 bits
    byte tunerNum;             // 2 bits
    byte delFlag, casFlag, lockFlag, skipFlag;
    word serviceId;
    word pmtPid, pcrPid, videoPid, audioPid;
    char serviceName[REC_SERVICE_NAME_SIZE + 1];   // terminated
    byte videoStreamType;
    byte audioStreamType;
  } service;
  struct {
    byte satIndex;
    word flags2;               // the raw word the satellite bit fields come from
    byte polarisation;         // bit 0
    byte mode;                 // bits 1-3
    byte modSystem;            // bit 4
    byte modulation;           // bits 5-6 (satellite), a byte of its own (cable)
    byte fec;                  // bits 7-10
    byte pilot;                // bit 11
    word channelNumber;
    byte bandwidth;
    byte lpHpStream;
    dword frequency;
    word symbolRate;
    word tsId;
    word originalNetworkId;
    word networkId;
    byte clockSync;
    byte reserved[6];          // bytes 1392-1395, then 1399 (satellite, terrestrial) and
                               // 1407 (terrestrial, cable)
  } transponder;
  struct {
    byte unknown1[2];
    dword duration;            // minutes
    dword eventId;
    dword startTime;           // PVR date, UTC
    dword endTime;
    byte runningStatus;
    byte parentalRating;
    word nameLength;           // as stored in the file, at most REC_EVENT_TEXT_SIZE
    char eventName[REC_EVENT_TEXT_SIZE + 1];          // terminated
    char eventDescription[REC_EVENT_TEXT_SIZE + 1];   // terminated
    word serviceId;
    byte unknown2[14];
  } event;
  struct {
    word serviceId;
    word textLength;           // bytes in text after its conversion, at most 1024
    dword eventId;
    char text[REC_EXT_TEXT_SIZE + 1];   // terminated
    byte unknown1[6];
    byte unknown2[2];
  } extEvent;
  byte cryptFlag;              // 2 bits
  struct {
    dword count;               // as stored; only 1..177 name valid blocks
    dword block[REC_BOOKMARKS];
    dword resume;
  } bookmarks;
};

// Decodes size bytes of an ".inf" file into record (cleared first) for the PVR's system
// type. Bytes past size read as zero; texts are cut to their fields and terminated.
// Returns 1 when decoded, also for system types 13 and above, whose headers carry only
// magic and version; 0 when the magic is wrong (only the magic is stored) or the system
// type has no layout here.
int HDD_DecodeRECHeader(const byte *fileBuffer, dword size, RECHeaderInfo *record, dword systemType);

// Reads the ".inf" file at path (a path of the machine running the code: map PVR paths
// with PvrPath first) and decodes it. Returns 0 when the file cannot be opened,
// otherwise 1, with *decoded set to what HDD_DecodeRECHeader returned.
int HDD_ReadRECHeaderFile(const char *path, RECHeaderInfo *record, dword systemType, int *decoded);
