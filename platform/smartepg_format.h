// The database files of the SmartEPG TAP, layouts 13 and 15: a 20-byte header, the event
// records, and texts stored as a 32-bit length followed by the bytes. All integers are
// little-endian. Read field by field; nothing here uses the TAP API.
#pragma once

#include <stdint.h>
#include <string.h>

#include "platform/byte_order.h"

enum {
  SE_HEADER_SIZE = 20,
  SE_HEADER_TYPE = 0,          // 8 bytes: "EPG_EDB", zero-filled
  SE_HEADER_TYPE_SIZE = 8,
  SE_HEADER_VERSION = 8,       // u32: 13 or 15
  SE_HEADER_LOADED = 12,       // u32 of SmartEPG's own
  SE_HEADER_COUNT = 16,        // u32: number of records

  SE_V13_VERSION = 13,
  SE_V15_VERSION = 15,
  SE_V13_RECORD_SIZE = 120,
  SE_V15_RECORD_SIZE = 136,
  SE_V13_MAX_RECORDS = 80000,  // the web server's static area holds this many
  SE_V15_TEXT_BASE = 24,       // layout 15: text reference r lies at r + 24 + count × 136

  // Record fields.
  SE_REC_CHANNEL = 0,          // u64 channel (logo) ID
  SE_REC_TIMESTAMP = 8,        // u32 packed date, for the time zone only
  SE_REC_START = 12,           // u32 packed local start
  SE_REC_DURATION = 16,        // u16 minutes
  SE_REC_NAME_REF = 20,        // u32 text reference of the name
  SE_REC_DESCRIPTION_REF = 40, // u32 text reference of the short description
  SE_REC_TEXT_REF = 60,        // u32 text reference of the extended text
  SE_REC_GENRE = 64,           // u8 DVB content nibbles
  SE_REC_EVENTID = 68,         // u32 event ID (low 16 bits used)

  SE_TEXT_LENGTH_SIZE = 4,
};
static_assert(SE_HEADER_TYPE + SE_HEADER_TYPE_SIZE == SE_HEADER_VERSION && SE_HEADER_VERSION + 4 == SE_HEADER_LOADED &&
                  SE_HEADER_LOADED + 4 == SE_HEADER_COUNT && SE_HEADER_COUNT + 4 == SE_HEADER_SIZE,
              "the header's fields fill it");
static_assert(SE_REC_EVENTID + 4 <= SE_V13_RECORD_SIZE && SE_V13_RECORD_SIZE <= SE_V15_RECORD_SIZE,
              "the fields read lie within a record of either layout");

#define SE_DB_TYPE "EPG_EDB"
#define SE_FOLDER "/mnt/hd/ProgramFiles/Settings/SmartEPG_TMS"
#define SE_V13_EVENT_FILE "Event.db"
#define SE_V13_TEXT_FILE "EventExtDescr.db"
#define SE_V15_FOLDER "/mnt/hd/ProgramFiles/Settings/SmartEPG_TMS/EPGDB"
#define SE_V15_FILE_PATTERN "*.eventdb"

struct SmartEPGHeader {
  char type[SE_HEADER_TYPE_SIZE + 1];
  uint32_t version;
  uint32_t loaded;
  uint32_t count;
};

struct SmartEPGRecord {
  uint64_t channel;
  uint32_t timestamp;
  uint32_t start;
  uint16_t duration;
  uint32_t nameRef;
  uint32_t descriptionRef;
  uint32_t textRef;
  uint8_t genre;
  uint32_t eventId;
};

inline void SmartEPGParseHeader(const uint8_t *b, SmartEPGHeader *h) {
  memcpy(h->type, b + SE_HEADER_TYPE, SE_HEADER_TYPE_SIZE);
  h->type[SE_HEADER_TYPE_SIZE] = '\0';
  h->version = GetLE32(b + SE_HEADER_VERSION);
  h->loaded = GetLE32(b + SE_HEADER_LOADED);
  h->count = GetLE32(b + SE_HEADER_COUNT);
}

// The type text must be "EPG_EDB" and the version the one expected.
inline bool SmartEPGHeaderValid(const SmartEPGHeader *h, uint32_t version) {
  return strcmp(h->type, SE_DB_TYPE) == 0 && h->version == version;
}

inline void SmartEPGParseRecord(const uint8_t *b, SmartEPGRecord *r) {
  r->channel = GetLE64(b + SE_REC_CHANNEL);
  r->timestamp = GetLE32(b + SE_REC_TIMESTAMP);
  r->start = GetLE32(b + SE_REC_START);
  r->duration = GetLE16(b + SE_REC_DURATION);
  r->nameRef = GetLE32(b + SE_REC_NAME_REF);
  r->descriptionRef = GetLE32(b + SE_REC_DESCRIPTION_REF);
  r->textRef = GetLE32(b + SE_REC_TEXT_REF);
  r->genre = b[SE_REC_GENRE];
  r->eventId = GetLE32(b + SE_REC_EVENTID);
}

// The genre byte with its nibbles swapped, as events carry it.
inline uint8_t SmartEPGContent(uint8_t genre) { return (uint8_t)(genre << 4 | genre >> 4); }

// File offset of a text reference in a layout-15 channel file of count records.
inline uint64_t SmartEPGV15TextOffset(uint32_t reference, uint32_t count) {
  return (uint64_t)reference + SE_V15_TEXT_BASE + (uint64_t)count * SE_V15_RECORD_SIZE;
}
