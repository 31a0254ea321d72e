#include "platform/mp3_tags.h"

#include <id3tag.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "common/common_memory.h"
#include "platform/pvr_text.h"

const Mp3TagField gMp3TagFields[MP3_TAG_FRAMES] = {
    {"TPE1", "artist"}, {"TIT2", "title"}, {"TALB", "album"}, {"TRCK", "track"},
    {"TYER", "year"},   {"TCON", "genre"}, {"TLEN", "length"},
};

namespace {

enum {
  TAG_HEADER = 10,
  YEAR_FALLBACK = MP3_TAG_FRAMES,   // slot of "TDRC" while the tag is walked
  WANTED = MP3_TAG_FRAMES + 1,
  UNSYNC_FLAG = 0x80,
  EXTENDED_HEADER_FLAG = 0x40,
};

// Version 2.2 frame IDs of the wanted frames; 2.2 has no "TDRC".
const char *const kFrameIds22[WANTED] = {"TP1", "TT2", "TAL", "TRK", "TYE", "TCO", "TLE", nullptr};
const char *const kFallbackId = "TDRC";

uint32_t BigEndian(const uint8_t *p, int count) {
  uint32_t value = 0;
  for (int i = 0; i < count; i++) value = value << 8 | p[i];
  return value;
}

// A 28-bit syncsafe integer; false when a byte has its top bit set.
bool Syncsafe(const uint8_t *p, uint32_t *value) {
  if ((p[0] | p[1] | p[2] | p[3]) & 0x80) return false;
  *value = (uint32_t)p[0] << 21 | (uint32_t)p[1] << 14 | (uint32_t)p[2] << 7 | p[3];
  return true;
}

void PutSyncsafe(uint8_t *p, uint32_t value) {
  for (int i = 0; i < 4; i++) p[i] = (uint8_t)(value >> (7 * (3 - i)) & 0x7F);
}

// The tag body: read from the file as the walk goes, or held whole in memory (a tag
// unsynchronised as a whole, undone before the walk).
struct TagBody {
  FILE *file;
  long start;             // file offset of the body
  const uint8_t *bytes;   // the whole body, when held in memory
  uint32_t length;

  bool Read(uint32_t offset, uint8_t *out, uint32_t count) const {
    if (offset > length || count > length - offset) return false;
    if (bytes) {
      memcpy(out, bytes + offset, count);
      return true;
    }
    return fseek(file, start + (long)offset, SEEK_SET) == 0 && fread(out, 1, count, file) == count;
  }
};

// Undoes unsynchronisation in place (0xFF 0x00 becomes 0xFF); returns the new length.
uint32_t Deunsynchronise(uint8_t *data, uint32_t length) {
  uint32_t out = 0;
  for (uint32_t i = 0; i < length; i++) {
    data[out++] = data[i];
    if (data[i] == 0xFF && i + 1 < length && data[i + 1] == 0x00) i++;
  }
  return out;
}

int WantedIndex(const char *id, int version) {
  for (int k = 0; k < WANTED; k++) {
    const char *wanted = version == 2 ? kFrameIds22[k] : (k == YEAR_FALLBACK ? kFallbackId : gMp3TagFields[k].frameId);
    if (wanted && strcmp(id, wanted) == 0) return k;
  }
  return -1;
}

bool ValidFrameId(const uint8_t *id, int count) {
  for (int i = 0; i < count; i++) {
    if (!((id[i] >= 'A' && id[i] <= 'Z') || (id[i] >= '0' && id[i] <= '9'))) return false;
  }
  return true;
}

// Appends a code point as UTF-8 when it fits before the value's end; false when full.
bool AppendUtf8(char *text, size_t *used, id3_ucs4_t codePoint) {
  char bytes[4];
  byte length = 0;
  UTF32ToUTF8((dword)codePoint, bytes, &length);
  if (*used + length > MP3_TAG_VALUE_SIZE - 1) return false;
  memcpy(text + *used, bytes, length);
  *used += length;
  text[*used] = '\0';
  return true;
}

// An ISO 8859-1 text (code points below 256, one per byte) converted like a PVR text.
void Latin1ToValue(const id3_ucs4_t *string, char *text) {
  enum { MAX_BYTES = MP3_TAG_VALUE_SIZE - 1 };
  char *bytes = static_cast<char *>(CommonAlloc(MAX_BYTES + 1));
  char *converted = static_cast<char *>(CommonAlloc(4 * MAX_BYTES + 1));
  size_t count = 0;
  if (bytes && converted) {
    for (; string[count] && count < MAX_BYTES; count++) bytes[count] = (char)(string[count] & 0xFF);
    bytes[count] = '\0';
    StrToUTF8(bytes, converted, gDefaultCharacterSet);
    // Cut at a character boundary within the value.
    size_t length = strlen(converted);
    if (length > MAX_BYTES) {
      length = MAX_BYTES;
      while (length > 0 && ((unsigned char)converted[length] & 0xC0) == 0x80) length--;
    }
    memcpy(text, converted, length);
    text[length] = '\0';
  }
  CommonFree(bytes);
  CommonFree(converted);
}

void UnicodeToValue(const id3_ucs4_t *string, char *text) {
  size_t used = 0;
  text[0] = '\0';
  if (string[0] == 0xFEFF) string++;   // a byte-order mark the decoder kept
  for (; *string && AppendUtf8(text, &used, *string); string++) {
  }
}

bool AllDigits(const char *text) {
  if (!*text) return false;
  for (; *text; text++) {
    if (*text < '0' || *text > '9') return false;
  }
  return true;
}

// The size a compressed frame claims to have once inflated, which the decoder allocates
// whole before it inflates: 0 for a frame that is not compressed, UINT32_MAX when the
// size cannot be read. 2.3 puts a 32-bit size before the data; 2.4 a syncsafe data
// length after the optional group and encryption bytes.
uint32_t InflatedLength(const uint8_t *frame, uint32_t frameLength, int version) {
  if (version == 2) return 0;
  const uint8_t formatFlags = frame[9];
  const uint8_t *data = frame + 10;
  const uint32_t dataLength = frameLength - 10;
  if (version == 3) {
    if (!(formatFlags & 0x80)) return 0;
    return dataLength >= 4 ? BigEndian(data, 4) : UINT32_MAX;
  }
  if (!(formatFlags & 0x08)) return 0;
  uint32_t at = ((formatFlags & 0x40) ? 1u : 0u) + ((formatFlags & 0x04) ? 1u : 0u);
  uint32_t length;
  if (!(formatFlags & 0x01) || dataLength < at + 4 || !Syncsafe(data + at, &length)) return UINT32_MAX;
  return length;
}

// A genre of a 2.2 or 2.3 tag, which libid3tag hands over split into references and text
// ("(13)Pop" as "13", "Pop"), put back into that version's form.
void GenreToValue(const union id3_field *list, enum id3_field_textencoding encoding, char *text) {
  size_t used = 0;
  text[0] = '\0';
  char piece[MP3_TAG_VALUE_SIZE];
  for (unsigned i = 0; i < id3_field_getnstrings(list); i++) {
    const id3_ucs4_t *string = id3_field_getstrings(list, i);
    if (!string) continue;
    if (encoding == ID3_FIELD_TEXTENCODING_ISO_8859_1) {
      Latin1ToValue(string, piece);
    } else {
      UnicodeToValue(string, piece);
    }
    bool reference = AllDigits(piece) || !strcmp(piece, "RX") || !strcmp(piece, "CR");
    const char *before = reference ? "(" : piece[0] == '(' ? "(" : "";
    const char *after = reference ? ")" : "";
    size_t need = strlen(before) + strlen(piece) + strlen(after);
    if (used + need > MP3_TAG_VALUE_SIZE - 1) break;
    used += (size_t)snprintf(text + used, MP3_TAG_VALUE_SIZE - used, "%s%s%s", before, piece, after);
  }
}

// Decodes one frame (its header and data as stored in a tag of this version) with
// libid3tag, as the only frame of a tag of its own.
void DecodeFrame(const uint8_t *frame, uint32_t frameLength, int version, bool tagUnsync, bool genre,
                 Mp3TagFrame *out) {
  uint32_t headerLength = version == 2 ? 6 : 10;
  uint32_t dataLength = frameLength - headerLength;
  const uint8_t *data = frame + headerLength;
  // UTF-16 without a byte-order mark is read little-endian: a mark is put in front of a
  // frame stored plainly (no compression, encryption or unsynchronisation).
  uint8_t formatFlags = version == 2 ? 0 : frame[9];
  bool plain = version == 2 || (version == 3 ? (formatFlags & 0xE0) == 0 : (formatFlags & 0x4F) == 0);
  bool addMark = plain && !tagUnsync && dataLength >= 3 && data[0] == 1 &&
                 !((data[1] == 0xFF && data[2] == 0xFE) || (data[1] == 0xFE && data[2] == 0xFF));
  uint32_t newData = dataLength + (addMark ? 2 : 0);
  uint32_t tagLength = TAG_HEADER + headerLength + newData;
  uint8_t *tag = static_cast<uint8_t *>(CommonAlloc(tagLength));
  if (!tag) return;
  memcpy(tag, "ID3", 3);
  tag[3] = (uint8_t)version;
  tag[4] = 0;
  tag[5] = tagUnsync ? UNSYNC_FLAG : 0;
  PutSyncsafe(tag + 6, tagLength - TAG_HEADER);
  uint8_t *header = tag + TAG_HEADER;
  memcpy(header, frame, headerLength);
  if (version == 2) {
    for (int i = 0; i < 3; i++) header[3 + i] = (uint8_t)(newData >> (8 * (2 - i)));
  } else if (version == 3) {
    for (int i = 0; i < 4; i++) header[4 + i] = (uint8_t)(newData >> (8 * (3 - i)));
  } else {
    PutSyncsafe(header + 4, newData);
  }
  uint8_t *body = header + headerLength;
  if (addMark) {
    body[0] = 1;
    body[1] = 0xFF;
    body[2] = 0xFE;
    memcpy(body + 3, data + 1, dataLength - 1);
  } else {
    memcpy(body, data, dataLength);
  }
  struct id3_tag *parsed = id3_tag_parse(tag, tagLength);
  CommonFree(tag);
  if (!parsed) return;
  for (unsigned i = 0; i < parsed->nframes; i++) {
    struct id3_frame *decoded = parsed->frames[i];
    if (decoded->id[0] != 'T' || decoded->nfields < 2) continue;
    union id3_field *encodingField = id3_frame_field(decoded, 0);
    union id3_field *list = id3_frame_field(decoded, 1);
    if (!encodingField || !list || encodingField->type != ID3_FIELD_TYPE_TEXTENCODING ||
        list->type != ID3_FIELD_TYPE_STRINGLIST) {
      continue;
    }
    // A frame without text counts as missing.
    const id3_ucs4_t *first = id3_field_getnstrings(list) > 0 ? id3_field_getstrings(list, 0) : nullptr;
    if (!first) break;
    enum id3_field_textencoding encoding = id3_field_gettextencoding(encodingField);
    out->present = true;
    // The encoding as stored: the frames libid3tag translates from 2.2 and 2.3 (the year)
    // come back in the encoding it chose.
    out->encoding = plain ? data[0] : (int)encoding;
    if (genre && version < 4) {
      GenreToValue(list, encoding, out->text);
    } else if (encoding == ID3_FIELD_TEXTENCODING_ISO_8859_1) {
      Latin1ToValue(first, out->text);
    } else {
      UnicodeToValue(first, out->text);
    }
    break;
  }
  id3_tag_delete(parsed);
}

// Walks the frames of the body and decodes the first of each wanted one into the tags
// (the year's fallback "TDRC" into fallback).
void WalkFrames(const TagBody &body, int version, uint8_t flags, Mp3Tags *tags, Mp3TagFrame *fallback) {
  uint32_t headerLength = version == 2 ? 6 : 10;
  int idLength = version == 2 ? 3 : 4;
  bool tagUnsync = version == 4 && (flags & UNSYNC_FLAG);
  uint32_t at = 0;
  uint8_t header[10];
  if (version >= 3 && (flags & EXTENDED_HEADER_FLAG)) {
    // 2.3: a size that leaves out its own four bytes; 2.4: a syncsafe size of it all.
    if (!body.Read(0, header, 4)) return;
    if (version == 3) {
      at = 4 + BigEndian(header, 4);
    } else if (!Syncsafe(header, &at)) {
      return;
    }
  }
  bool done[WANTED] = {};
  while (at < body.length && body.length - at >= headerLength && body.Read(at, header, headerLength)) {
    if (header[0] == 0 || !ValidFrameId(header, idLength)) break;   // padding, or no frame
    uint32_t size;
    if (version == 2) {
      size = BigEndian(header + 3, 3);
    } else if (version == 3) {
      size = BigEndian(header + 4, 4);
    } else if (!Syncsafe(header + 4, &size)) {
      break;
    }
    uint32_t dataAt = at + headerLength;
    if (size > body.length - dataAt) break;
    char id[5] = {0};
    memcpy(id, header, (size_t)idLength);
    int k = WantedIndex(id, version);
    if (k >= 0 && !done[k] && size > 0 && size <= MP3_TAG_FRAME_LIMIT) {
      done[k] = true;
      uint32_t frameLength = headerLength + size;
      uint8_t *frame = static_cast<uint8_t *>(CommonAlloc(frameLength));
      // A frame that would inflate past the limit is not read, as a larger stored one.
      if (frame && body.Read(at, frame, frameLength) &&
          InflatedLength(frame, frameLength, version) <= MP3_TAG_FRAME_LIMIT) {
        DecodeFrame(frame, frameLength, version, tagUnsync, k == MP3_GENRE,
                    k == YEAR_FALLBACK ? fallback : &tags->frame[k]);
      }
      CommonFree(frame);
    }
    at = dataAt + size;
  }
}

}  // namespace

int Mp3ReadTagsFromFile(FILE *file, Mp3Tags *tags) {
  if (!tags) return 0;
  memset(tags, 0, sizeof *tags);
  if (!file || fseek(file, 0, SEEK_SET) != 0) return 0;
  uint8_t header[TAG_HEADER];
  uint32_t size = 0;
  bool tagged = fread(header, 1, TAG_HEADER, file) == TAG_HEADER && memcmp(header, "ID3", 3) == 0 &&
                header[3] >= 2 && header[3] <= 4 && header[4] != 0xFF && Syncsafe(header + 6, &size);
  // A 2.2 tag compressed as a whole cannot be read.
  if (!tagged || (header[3] == 2 && (header[5] & 0x40))) return 0;
  int version = header[3];
  uint8_t flags = header[5];
  tags->version = version;
  Mp3TagFrame fallback;
  memset(&fallback, 0, sizeof fallback);
  TagBody body = {file, TAG_HEADER, nullptr, size};
  uint8_t *whole = nullptr;
  if (version < 4 && (flags & UNSYNC_FLAG)) {
    // Unsynchronised as a whole: frame sizes count the bytes after it is undone.
    uint32_t length = size < MP3_TAG_UNSYNC_LIMIT ? size : (uint32_t)MP3_TAG_UNSYNC_LIMIT;
    whole = static_cast<uint8_t *>(CommonAlloc(length));
    body.bytes = whole;
    body.length = whole ? Deunsynchronise(whole, (uint32_t)fread(whole, 1, length, file)) : 0;
  }
  WalkFrames(body, version, flags, tags, &fallback);
  CommonFree(whole);
  if (!tags->frame[MP3_YEAR].present) tags->frame[MP3_YEAR] = fallback;
  return 1;
}

int Mp3ReadTags(const char *path, Mp3Tags *tags) {
  if (tags) memset(tags, 0, sizeof *tags);
  FILE *file = path && tags ? fopen(path, "rb") : nullptr;
  if (!file) return 0;
  int result = Mp3ReadTagsFromFile(file, tags);
  fclose(file);
  return result;
}
