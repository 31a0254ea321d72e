// "PVR.epg", the dump of the PVR's own EPG that the web server writes for the search
// program: per event the firmware's 80-byte event structure, the channel ID, the local
// start and end with their offsets and three text items; then an 8-byte trailer (event
// structure size, record count). Little-endian, no header. Nothing here uses the TAP API.
#pragma once

#include <stdint.h>

#include "platform/byte_order.h"

#define PVR_EPG_PATH "/mnt/hd/ProgramFiles/Settings/Orvane/PVR.epg"

enum {
  // The firmware event structure, as far as it is read.
  PVR_EVT_SIZE = 80,
  PVR_EVT_STATUS = 0,          // u32: bits 0-1 data status, 2-4 running status,
                               //      12-19 duration minutes, 20-27 duration hours
  PVR_EVT_EVENTID = 4,         // u16
  PVR_EVT_START_UTC = 8,       // u32 packed date
  PVR_EVT_END_UTC = 12,        // u32 packed date
  PVR_EVT_NAME_LENGTH = 16,    // u8
  PVR_EVT_PARENTAL = 17,       // u8
  PVR_EVT_NETWORKID = 18,      // u16
  PVR_EVT_TSID = 20,           // u16
  PVR_EVT_SERVICEID = 22,      // u16
  PVR_EVT_SATINDEX = 24,       // u8
  PVR_EVT_LANG = 27,           // 3 characters
  PVR_EVT_LANG_SIZE = 3,
  PVR_EVT_TEXT_LENGTH = 58,    // u16 extended-text length
  PVR_EVT_CITID = 64,          // u32
  PVR_EVT_CONTENT = 68,        // u8 (valid when the structure is larger than 68 bytes)
  PVR_EVT_SOURCEFLAG = 69,     // u8
  PVR_EVT_UNKNOWN14 = 70,      // u16
  PVR_EVT_ICECHANNEL = 72,     // u16
  PVR_EVT_UNKNOWN15 = 74,      // 6 bytes (valid when the structure is larger than 72 bytes)
  PVR_EVT_UNKNOWN15_SIZE = 6,
  PVR_EVT_EXTRA_FROM = 68,     // structure sizes above this carry bytes 68-73
  PVR_EVT_UNKNOWN15_FROM = 72, // structure sizes above this carry bytes 74-79

  // The fixed part of a record after the event structure.
  PVR_REC_CHANNEL = 80,        // u64 logo ID
  PVR_REC_LOCAL_START = 88,    // u32 packed local start
  PVR_REC_START_OFFSET = 92,   // s16 minutes
  PVR_REC_LOCAL_END = 94,      // u32 packed local end
  PVR_REC_END_OFFSET = 98,     // s16 minutes
  PVR_REC_FIXED_SIZE = 100,    // then three items

  // An item: u32 tag, u32 length, the bytes.
  PVR_ITEM_HEADER_SIZE = 8,
  PVR_ITEM_NAME = 1,
  PVR_ITEM_DESCRIPTION = 2,
  PVR_ITEM_TEXT = 3,
  PVR_ITEM_COUNT = 3,

  // Trailer: u32 event structure size (0xFFFFFFFF unknown), u32 record count.
  PVR_TRAILER_SIZE = 8,
  PVR_TRAILER_STRUCT_SIZE = 0,
  PVR_TRAILER_COUNT = 4,
};
static_assert(PVR_EVT_LANG + PVR_EVT_LANG_SIZE <= PVR_EVT_TEXT_LENGTH && PVR_EVT_TEXT_LENGTH + 2 <= PVR_EVT_CITID,
              "the event structure's fields do not overlap");
static_assert(PVR_EVT_CITID + 4 == PVR_EVT_CONTENT && PVR_EVT_CONTENT == PVR_EVT_EXTRA_FROM &&
                  PVR_EVT_ICECHANNEL + 2 == PVR_EVT_UNKNOWN15 &&
                  PVR_EVT_UNKNOWN15 + PVR_EVT_UNKNOWN15_SIZE == PVR_EVT_SIZE,
              "the fields from the content byte on fill the end of the event structure");
static_assert(PVR_REC_CHANNEL == PVR_EVT_SIZE && PVR_REC_LOCAL_START == PVR_REC_CHANNEL + 8 &&
                  PVR_REC_START_OFFSET == PVR_REC_LOCAL_START + 4 && PVR_REC_LOCAL_END == PVR_REC_START_OFFSET + 2 &&
                  PVR_REC_END_OFFSET == PVR_REC_LOCAL_END + 4 && PVR_REC_FIXED_SIZE == PVR_REC_END_OFFSET + 2,
              "a record's fixed part follows the event structure without gaps");
static_assert(PVR_TRAILER_COUNT + 4 == PVR_TRAILER_SIZE, "the trailer is two 32-bit words");

inline int PvrEventDataStatus(uint32_t status) { return (int)(status & 0x3); }
inline int PvrEventRunningStatus(uint32_t status) { return (int)((status >> 2) & 0x7); }
inline int PvrEventDuration(uint32_t status) {
  return (int)((status >> 20) & 0xFF) * 60 + (int)((status >> 12) & 0xFF);
}
