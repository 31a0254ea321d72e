#include "platform/rec_header.h"

#include <stdio.h>
#include <string.h>

namespace {

// Field reads at byte offsets of a file image of size bytes, in the file's byte order.
// Whatever lies past the image reads as zero, as from a zero-padded buffer.
struct InfReader {
  const byte *data;
  dword size;
  bool littleEndian;

  byte U8(dword offset) const { return offset < size ? data[offset] : 0; }
  word U16(dword offset) const {
    return littleEndian ? (word)(U8(offset) | U8(offset + 1) << 8) : (word)(U8(offset) << 8 | U8(offset + 1));
  }
  dword U32(dword offset) const {
    return littleEndian ? (dword)U16(offset) | (dword)U16(offset + 2) << 16
                        : (dword)U16(offset) << 16 | U16(offset + 2);
  }
  // count bytes into out.
  void Bytes(dword offset, void *out, dword count) const {
    byte *to = static_cast<byte *>(out);
    for (dword i = 0; i < count; i++) to[i] = U8(offset + i);
  }
  // count bytes into a text field of count + 1 bytes, terminated.
  void Text(dword offset, char *out, dword count) const {
    Bytes(offset, out, count);
    out[count] = '\0';
  }
};

bool IsLittleEndianVersion(word bigEndianVersion) {
  return bigEndianVersion == 80 || bigEndianVersion == 128 || bigEndianVersion == 4176;
}

// Bytes 0-1395, common to the three layouts.
void DecodeCommon(const InfReader &in, RECHeaderInfo *record) {
  in.Bytes(6, record->header.reserved1, sizeof record->header.reserved1);
  record->header.startTime = in.U32(8);
  record->header.durationMinutes = in.U16(12);
  record->header.durationSeconds = in.U16(14);
  byte flags = in.U8(16);
  record->cryptFlag = flags & 0x03;
  record->header.flags = flags & 0xFC;
  byte flags2 = in.U8(17);
  record->header.copyFlag = flags2 & 0x80;
  record->header.timeShiftFlag = flags2 & 0x40;
  record->header.flags2 = flags2 & 0x3F;
  in.Bytes(18, record->header.reserved2, sizeof record->header.reserved2);

  record->service.satIndex = in.U8(28);
  record->service.serviceType = in.U8(29);
  word bits = in.U16(30);
  record->service.tpIndex = bits & 0x3FF;
  record->service.tunerNum = (bits >> 10) & 0x03;
  record->service.delFlag = (bits >> 12) & 1;
  record->service.casFlag = (bits >> 13) & 1;
  record->service.lockFlag = (bits >> 14) & 1;
  record->service.skipFlag = (byte)((bits >> 15) & 1);
  record->service.serviceId = in.U16(32);
  record->service.pmtPid = in.U16(34);
  record->service.pcrPid = in.U16(36);
  record->service.videoPid = in.U16(38);
  record->service.audioPid = in.U16(40);
  in.Text(42, record->service.serviceName, REC_SERVICE_NAME_SIZE);
  record->service.videoStreamType = in.U8(66);
  record->service.audioStreamType = in.U8(67);

  in.Bytes(68, record->event.unknown1, sizeof record->event.unknown1);
  record->event.duration = in.U8(70) + 60u * in.U8(71);
  record->event.eventId = in.U32(72);
  record->event.startTime = in.U32(76);
  record->event.endTime = in.U32(80);
  record->event.runningStatus = in.U8(84);
  // The name takes the first L bytes of the 273 and the description the rest.
  dword nameLength = in.U8(85);
  if (nameLength > REC_EVENT_TEXT_SIZE) nameLength = REC_EVENT_TEXT_SIZE;
  record->event.nameLength = (word)nameLength;
  record->event.parentalRating = in.U8(86);
  in.Text(87, record->event.eventName, nameLength);
  in.Text(87 + nameLength, record->event.eventDescription, REC_EVENT_TEXT_SIZE - nameLength);

  record->extEvent.serviceId = in.U16(360);
  record->extEvent.eventId = in.U32(364);
  // A length beyond the field means the text runs to its first NUL (within the field).
  dword length = in.U16(362);
  if (length > REC_EXT_TEXT_SIZE) {
    length = 0;
    while (length < REC_EXT_TEXT_SIZE && in.U8(368 + length) != 0) length++;
  }
  // NUL bytes inside the text become spaces; the two characters '\' 'n' become the DVB
  // line break 0x8A.
  dword out = 0;
  for (dword i = 0; i < length; i++) {
    byte c = in.U8(368 + i);
    if (c == 0) {
      c = ' ';
    } else if (c == '\\' && i + 1 < length && in.U8(368 + i + 1) == 'n') {
      c = 0x8A;
      i++;
    }
    record->extEvent.text[out++] = (char)c;
  }
  record->extEvent.text[out] = '\0';
  record->extEvent.textLength = (word)out;
  in.Bytes(1392, record->transponder.reserved, 4);
}

// The bookmarks (a count, the blocks and the resume block, 32 bits each) end every layout.
enum { REC_BOOKMARKS_AT = 1412, REC_BOOKMARKS_AT_CABLE = 1408 };
static_assert(REC_BOOKMARKS_AT + 4 + 4 * REC_BOOKMARKS + 4 == REC_HEADER_READ_SIZE,
              "the bytes read hold the bookmarks");

void DecodeBookmarks(const InfReader &in, dword at, RECHeaderInfo *record) {
  record->bookmarks.count = in.U32(at);
  for (dword i = 0; i < REC_BOOKMARKS; i++) record->bookmarks.block[i] = in.U32(at + 4 + 4 * i);
  record->bookmarks.resume = in.U32(at + 4 + 4 * REC_BOOKMARKS);
}

// System type 5: satellite.
void DecodeTMSS(const InfReader &in, RECHeaderInfo *record) {
  DecodeCommon(in, record);
  record->transponder.satIndex = in.U8(1396);
  word flags = in.U16(1397);
  record->transponder.flags2 = flags;
  record->transponder.polarisation = flags & 1;
  record->transponder.mode = (flags >> 1) & 0x07;
  record->transponder.modSystem = (flags >> 4) & 1;
  record->transponder.modulation = (flags >> 5) & 0x03;
  record->transponder.fec = (flags >> 7) & 0x0F;
  record->transponder.pilot = (flags >> 11) & 1;
  record->transponder.reserved[4] = in.U8(1399);
  record->transponder.frequency = in.U32(1400);
  record->transponder.symbolRate = in.U16(1404);
  record->transponder.tsId = in.U16(1406);
  record->transponder.networkId = in.U16(1408);
  record->transponder.originalNetworkId = in.U16(1410);
  DecodeBookmarks(in, REC_BOOKMARKS_AT, record);
}

// System type 6: terrestrial.
void DecodeTMST(const InfReader &in, RECHeaderInfo *record) {
  DecodeCommon(in, record);
  record->transponder.satIndex = in.U8(1396);
  record->transponder.channelNumber = in.U8(1397);
  record->transponder.bandwidth = in.U8(1398);
  record->transponder.reserved[4] = in.U8(1399);
  record->transponder.frequency = in.U32(1400);
  record->transponder.tsId = in.U16(1404);
  record->transponder.lpHpStream = in.U8(1406);
  record->transponder.reserved[5] = in.U8(1407);
  record->transponder.originalNetworkId = in.U16(1408);
  record->transponder.networkId = in.U16(1410);
  DecodeBookmarks(in, REC_BOOKMARKS_AT, record);
}

// System type 7: cable.
void DecodeTMSC(const InfReader &in, RECHeaderInfo *record) {
  DecodeCommon(in, record);
  record->transponder.frequency = in.U32(1396) >> 8;
  record->transponder.symbolRate = in.U16(1400);
  record->transponder.tsId = in.U16(1402);
  record->transponder.originalNetworkId = in.U16(1404);
  record->transponder.modulation = in.U8(1406);
  record->transponder.reserved[5] = in.U8(1407);
  DecodeBookmarks(in, REC_BOOKMARKS_AT_CABLE, record);
}

}  // namespace

int HDD_DecodeRECHeader(const byte *fileBuffer, dword size, RECHeaderInfo *record, dword systemType) {
  if (!record) return 0;
  memset(record, 0, sizeof *record);
  if (!fileBuffer) size = 0;
  InfReader in = {fileBuffer, size, false};
  record->header.magic = in.U32(0);
  if (record->header.magic != REC_HEADER_MAGIC) return 0;
  in.littleEndian = IsLittleEndianVersion(in.U16(4));
  record->header.version = in.U16(4);
  if (systemType >= 13) return 1;
  switch (systemType) {
    case 5: DecodeTMSS(in, record); return 1;
    case 6: DecodeTMST(in, record); return 1;
    case 7: DecodeTMSC(in, record); return 1;
    default: return 0;
  }
}

int HDD_ReadRECHeaderFile(const char *path, RECHeaderInfo *record, dword systemType, int *decoded) {
  if (decoded) *decoded = 0;
  if (!path || !record) return 0;
  FILE *file = fopen(path, "rb");
  if (!file) return 0;
  byte buffer[REC_HEADER_READ_SIZE];
  size_t got = fread(buffer, 1, sizeof buffer, file);
  fclose(file);
  int result = HDD_DecodeRECHeader(buffer, (dword)got, record, systemType);
  if (decoded) *decoded = result;
  return 1;
}
