#include "search/event_sources.h"

#include <dirent.h>
#include <stddef.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <inttypes.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/mjd.h"
#include "platform/byte_order.h"
#include "platform/pvr_date_math.h"
#include "platform/pvr_epg_format.h"
#include "platform/pvr_path.h"
#include "platform/pvr_text.h"
#include "platform/smartepg_format.h"
#include "search/matching.h"
#include "search/result_delivery.h"
#include "search/search_definitions.h"
#include "search/skimlet.h"

namespace {

enum {
  RAW_TEXT_SIZE = 8192,                   // raw bytes of one PVR text item kept for conversion
  TEXT_WINDOW = 65536,                    // bytes a text reader keeps around its last read
  PVR_READ_BUFFER = 65536,
};

SkimletEvent gEvent;
char gRaw[RAW_TEXT_SIZE + 1];
char gConverted[4 * RAW_TEXT_SIZE + 1];

// Clears an event for the next record: everything but the large text areas, which only
// need to be empty.
void ClearEvent(SkimletEvent *se, int source) {
  EPGEvent &e = se->event;
  se->source = source;
  se->channelId = 0;
  se->definition = 0;
  se->definitionName[0] = '\0';
  memset(&e, 0, offsetof(EPGEvent, name));
  e.name[0] = e.description[0] = e.text[0] = '\0';
  memset(reinterpret_cast<char *>(&e) + offsetof(EPGEvent, citid), 0, sizeof e - offsetof(EPGEvent, citid));
  e.svctype = -1;
  e.svcnum = -1;
}

// After each event: the hit on the console and, every twentieth of the way, progress.
struct Progress {
  int total;
  int step;
  int next;
};

void AfterEvent(SkimletEvent *se, int score, int done, Progress *progress) {
  if (score >= CLAIM_SCORE) {
    uint32_t start = se->event.starttime;
    CalendarDate d = MjdToDate((uint16_t)(start >> 16));
    PrintLine("   Match found: %04d/%02d/%02d %02d:%02d '%s' [%s = %d] (0x%02x).", d.year, d.month, d.day,
              (int)((start >> 8) & 0xFF), (int)(start & 0xFF), se->event.name, se->definitionName, score,
              se->event.contentidentifier);
  }
  if (gShowProgress && gResultsPort != 0 && done >= progress->next) {
    sendProgress(progress->total, done);
    progress->next += progress->step;
  }
}

// Reads texts at file offsets through a window, so that texts stored one after the other
// cost one read per window rather than two per text.
struct TextReader {
  int fd;
  uint64_t start;
  size_t length;
  uint8_t window[TEXT_WINDOW];

  void Open(int file) {
    fd = file;
    start = 0;
    length = 0;
  }

  // Copies up to n bytes from offset; returns the bytes copied (fewer at the end of the file).
  size_t Read(uint64_t offset, void *out, size_t n) {
    uint8_t *o = static_cast<uint8_t *>(out);
    size_t copied = 0;
    while (copied < n) {
      uint64_t at = offset + copied;
      if (at < start || at >= start + length) {
        ssize_t got = pread(fd, window, sizeof window, (off_t)at);
        if (got <= 0) break;
        start = at;
        length = (size_t)got;
      }
      size_t inWindow = (size_t)(start + length - at);
      size_t take = n - copied < inWindow ? n - copied : inWindow;
      memcpy(o + copied, window + (at - start), take);
      copied += take;
    }
    return copied;
  }

  // The text stored at offset (a 32-bit length, then the bytes): at most maxRead bytes of
  // it into out (maxRead + 1 bytes), terminated. An unreadable length gives an empty text.
  size_t Text(uint64_t offset, char *out, size_t maxRead) {
    uint8_t word[SE_TEXT_LENGTH_SIZE];
    out[0] = '\0';
    if (Read(offset, word, sizeof word) != sizeof word) return 0;
    uint32_t stored = GetLE32(word);
    size_t n = stored < maxRead ? stored : maxRead;
    size_t got = Read(offset + SE_TEXT_LENGTH_SIZE, out, n);
    out[got] = '\0';
    return got;
  }
};

TextReader gTextReader;

int OpenPvrFd(const char *pvrPath) {
  MappedPath path(pvrPath);
  if (!path.c_str()) return -1;
  return open(path.c_str(), O_RDONLY);
}

// Builds the event of a SmartEPG record; text offsets come from textOffset(reference).
template <typename Offset>
void BuildSmartEPGEvent(const SmartEPGRecord &r, Offset textOffset) {
  ClearEvent(&gEvent, SOURCE_SMARTEPG);
  EPGEvent &e = gEvent.event;
  gEvent.channelId = r.channel;
  e.eventid = (uint16_t)r.eventId;
  e.starttime = r.start;
  e.endtime = AddTime(r.start, r.duration);
  e.timezone = (int16_t)TimeDiff(r.timestamp, r.start);   // minutes of the start less the stamp
  e.duration = r.duration;
  e.contentidentifier = SmartEPGContent(r.genre);

  gTextReader.Text(textOffset(r.nameRef), gRaw, SE_NAME_READ);
  e.namelength = (uint8_t)keepText(gRaw, e.name, NAME_KEEP);
  gTextReader.Text(textOffset(r.descriptionRef), gRaw, SE_NAME_READ);
  e.descriptionlength = (uint8_t)keepText(gRaw, e.description, NAME_KEEP);
  gTextReader.Text(textOffset(r.textRef), gRaw, SE_TEXT_READ);
  e.textlength = (uint16_t)keepText(gRaw, e.text, TEXT_KEEP);
}

// Reads one text item of a PVR dump record and converts it to UTF-8 into out. False when
// the file ends inside the item.
bool ReadPvrItem(FILE *file, off_t dataEnd, char *out, size_t keep, size_t *kept) {
  uint8_t header[PVR_ITEM_HEADER_SIZE];
  if (fread(header, 1, sizeof header, file) != sizeof header) return false;
  uint32_t length = GetLE32(header + 4);
  off_t here = ftello(file);
  if (here < 0 || (uint64_t)length > (uint64_t)(dataEnd - here)) return false;
  size_t n = length < (uint32_t)RAW_TEXT_SIZE ? length : (size_t)RAW_TEXT_SIZE;
  if (fread(gRaw, 1, n, file) != n) return false;
  gRaw[n] = '\0';
  if (length > n && fseeko(file, (off_t)(length - n), SEEK_CUR) != 0) return false;
  StrToUTF8(gRaw, gConverted, gDefaultCharacterSet);
  *kept = keepText(gConverted, out, keep);
  return true;
}

}  // namespace

size_t keepText(const char *text, char *out, size_t limit) {
  size_t n = strnlen(text, limit + 1);
  if (n > limit) {
    n = limit;
    // Back up to the lead byte of a character that the limit cuts (at most 3 bytes).
    size_t lead = n;
    for (int i = 0; i < 3 && lead > 0 && ((unsigned char)text[lead] & 0xC0) == 0x80; i++) lead--;
    if (((unsigned char)text[lead] & 0xC0) == 0xC0) n = lead;
  }
  memcpy(out, text, n);
  out[n] = '\0';
  return n;
}

int checkChannel(uint64_t channelId) {
  for (int i = 0; i < gSearchCount; i++) {
    const SearchDefinition &d = gSearchList[i];
    if (d.channelCount == 0) return 1;
    for (int j = 0; j < d.channelCount; j++) {
      if (d.channels[j] == channelId) return 1;
    }
  }
  return 0;
}

int readPVREvents() {
  FILE *file = OpenPvrFile(PVR_EPG_PATH, "rb");
  if (!file) {
    PrintLine(" ERROR - Unable to open '/ProgramFiles/Settings/Orvane/PVR.epg'");
    return 0;
  }
  setvbuf(file, nullptr, _IOFBF, PVR_READ_BUFFER);
  uint8_t trailer[PVR_TRAILER_SIZE];
  off_t dataEnd = 0;
  if (fseeko(file, -(off_t)PVR_TRAILER_SIZE, SEEK_END) != 0 || (dataEnd = ftello(file)) < 0 ||
      fread(trailer, 1, sizeof trailer, file) != sizeof trailer || fseeko(file, 0, SEEK_SET) != 0) {
    fclose(file);
    return 0;
  }
  uint32_t structSize = GetLE32(trailer + PVR_TRAILER_STRUCT_SIZE);
  int count = (int)(GetLE32(trailer + PVR_TRAILER_COUNT) & 0x7FFFFFFF);
  Progress progress = {count, count / 20, count / 20};

  uint8_t b[PVR_REC_FIXED_SIZE];
  for (int done = 0; done < count;) {
    // A count that claims more records than the file holds ends at the last whole one.
    off_t here = ftello(file);
    if (here < 0 || dataEnd - here < (off_t)PVR_REC_FIXED_SIZE || fread(b, 1, sizeof b, file) != sizeof b) break;
    ClearEvent(&gEvent, SOURCE_PVR);
    EPGEvent &e = gEvent.event;
    gEvent.channelId = GetLE64(b + PVR_REC_CHANNEL);
    e.starttime = GetLE32(b + PVR_REC_LOCAL_START);
    e.timezone = (int16_t)GetLE16(b + PVR_REC_START_OFFSET);
    e.endtime = GetLE32(b + PVR_REC_LOCAL_END);

    size_t kept = 0;
    if (!ReadPvrItem(file, dataEnd, e.name, NAME_KEEP, &kept)) break;
    e.namelength = (uint8_t)kept;
    if (!ReadPvrItem(file, dataEnd, e.description, NAME_KEEP, &kept)) break;
    e.descriptionlength = (uint8_t)kept;
    if (!ReadPvrItem(file, dataEnd, e.text, TEXT_KEEP, &kept)) break;
    e.textlength = (uint16_t)kept;

    uint32_t status = GetLE32(b + PVR_EVT_STATUS);
    e.duration = (uint16_t)PvrEventDuration(status);
    e.datastatus = (uint8_t)PvrEventDataStatus(status);
    e.runningstatus = PvrEventRunningStatus(status);
    e.eventid = GetLE16(b + PVR_EVT_EVENTID);
    e.networkid = GetLE16(b + PVR_EVT_NETWORKID);
    e.tsid = GetLE16(b + PVR_EVT_TSID);
    e.serviceid = GetLE16(b + PVR_EVT_SERVICEID);
    e.satindex = b[PVR_EVT_SATINDEX];
    e.parental = b[PVR_EVT_PARENTAL];
    memcpy(e.lang, b + PVR_EVT_LANG, PVR_EVT_LANG_SIZE);
    e.lang[PVR_EVT_LANG_SIZE] = '\0';
    e.citid = (int32_t)GetLE32(b + PVR_EVT_CITID);
    if (structSize > PVR_EVT_EXTRA_FROM) {
      e.contentidentifier = b[PVR_EVT_CONTENT];
      e.sourceflag = b[PVR_EVT_SOURCEFLAG];
      e.unknown14 = GetLE16(b + PVR_EVT_UNKNOWN14);
      e.icechannel = GetLE16(b + PVR_EVT_ICECHANNEL);
    }
    if (structSize > PVR_EVT_UNKNOWN15_FROM) memcpy(e.unknown15, b + PVR_EVT_UNKNOWN15, PVR_EVT_UNKNOWN15_SIZE);

    int score = testMatching(&gEvent);
    done++;
    AfterEvent(&gEvent, score, done, &progress);
  }
  fclose(file);
  return 0;
}

int readSEv13Events() {
  char eventPath[SKIMLET_PATH_SIZE], textPath[SKIMLET_PATH_SIZE];
  snprintf(eventPath, sizeof eventPath, "%s/%s", SE_FOLDER, SE_V13_EVENT_FILE);
  snprintf(textPath, sizeof textPath, "%s/%s", SE_FOLDER, SE_V13_TEXT_FILE);
  FILE *events = OpenPvrFile(eventPath, "rb");
  if (!events) {
    PrintLine(" ERROR - Unable to open '%s'", eventPath);
    return 0;
  }
  int texts = OpenPvrFd(textPath);
  if (texts < 0) {
    PrintLine(" ERROR - Unable to open '%s'", textPath);
    fclose(events);
    return 0;
  }
  setvbuf(events, nullptr, _IOFBF, PVR_READ_BUFFER);
  gTextReader.Open(texts);

  uint8_t b[SE_V15_RECORD_SIZE];
  SmartEPGHeader header;
  bool valid = fread(b, 1, SE_HEADER_SIZE, events) == SE_HEADER_SIZE;
  if (valid) {
    SmartEPGParseHeader(b, &header);
    valid = SmartEPGHeaderValid(&header, SE_V13_VERSION);
  }
  if (!valid) {
    PrintLine(" ERROR - Invalid file type or version.");
  } else {
    int count = (int)(header.count & 0x7FFFFFFF);
    Progress progress = {count, count / 20, count / 20};
    auto offset = [](uint32_t reference) { return (uint64_t)reference; };
    // A count that claims more records than the file holds ends at the last whole one.
    for (int done = 0; done < count && fread(b, 1, SE_V13_RECORD_SIZE, events) == SE_V13_RECORD_SIZE;) {
      SmartEPGRecord r;
      SmartEPGParseRecord(b, &r);
      BuildSmartEPGEvent(r, offset);
      int score = testMatching(&gEvent);
      done++;
      AfterEvent(&gEvent, score, done, &progress);
    }
  }
  close(texts);
  fclose(events);
  return 0;
}

namespace {

bool IsFolder(const char *folder, const dirent *entry) {
#ifdef _DIRENT_HAVE_D_TYPE
  if (entry->d_type != DT_UNKNOWN) return entry->d_type == DT_DIR;
#endif
  char path[PVR_PATH_SIZE];
  struct stat st;
  if (snprintf(path, sizeof path, "%s/%s", folder, entry->d_name) >= (int)sizeof path) return true;
  return stat(path, &st) != 0 || S_ISDIR(st.st_mode);
}

// Scans one channel file. False when it cannot be opened (which ends the whole scan).
bool ScanChannelFile(const char *pvrPath) {
  int fd = OpenPvrFd(pvrPath);
  if (fd < 0) {
    PrintLine(" ERROR - Unable to open '%s'", pvrPath);
    return false;
  }
  uint8_t b[SE_HEADER_SIZE];
  SmartEPGHeader header;
  struct stat st;
  bool valid = pread(fd, b, sizeof b, 0) == (ssize_t)sizeof b && fstat(fd, &st) == 0;
  if (valid) {
    SmartEPGParseHeader(b, &header);
    valid = SmartEPGHeaderValid(&header, SE_V15_VERSION);
  }
  if (!valid) {
    PrintLine(" ERROR - Invalid file type or version.");
    close(fd);
    return true;
  }
  // Only the records the file really holds are read.
  uint64_t held = st.st_size > SE_HEADER_SIZE ? (uint64_t)(st.st_size - SE_HEADER_SIZE) / SE_V15_RECORD_SIZE : 0;
  uint32_t count = header.count < held ? header.count : (uint32_t)held;
  size_t bytes = (size_t)count * SE_V15_RECORD_SIZE;
  uint8_t *records = count > 0 ? static_cast<uint8_t *>(malloc(bytes)) : nullptr;
  if (count > 0 && !records) {
    PrintLine(" ERROR - Unable to allocate %d bytes of RAM for SmartEPG events.", (int)bytes);
    close(fd);
    return true;
  }
  size_t got = 0;
  while (got < bytes) {
    ssize_t n = pread(fd, records + got, bytes - got, (off_t)(SE_HEADER_SIZE + got));
    if (n <= 0) break;
    got += (size_t)n;
  }
  gTextReader.Open(fd);
  uint32_t headerCount = header.count;
  auto offset = [headerCount](uint32_t reference) { return SmartEPGV15TextOffset(reference, headerCount); };
  for (size_t i = 0; i < got / SE_V15_RECORD_SIZE; i++) {
    SmartEPGRecord r;
    SmartEPGParseRecord(records + i * SE_V15_RECORD_SIZE, &r);
    BuildSmartEPGEvent(r, offset);
    int score = testMatching(&gEvent);
    Progress none = {0, 0, 0x7FFFFFFF};
    AfterEvent(&gEvent, score, 0, &none);
  }
  free(records);
  close(fd);
  return true;
}

}  // namespace

int readSEv15Events() {
  MappedPath folder(SE_V15_FOLDER);
  DIR *dir = folder.c_str() ? opendir(folder.c_str()) : nullptr;
  if (!dir) {
    PrintLine(" ERROR - Unable to open '%s'", SE_V15_FOLDER);
    return 0;
  }
  bool reporting = gShowProgress && gResultsPort != 0;
  int total = 0;
  if (reporting) {
    for (dirent *entry; (entry = readdir(dir)) != nullptr;) {
      if (fnmatch(SE_V15_FILE_PATTERN, entry->d_name, 0) == 0 && !IsFolder(folder.c_str(), entry)) total++;
    }
    rewinddir(dir);
  }
  int done = 0;
  for (dirent *entry; (entry = readdir(dir)) != nullptr;) {
    if (fnmatch(SE_V15_FILE_PATTERN, entry->d_name, 0) != 0) continue;
    if (IsFolder(folder.c_str(), entry)) continue;
    done++;
    uint64_t channel = 0;
    sscanf(entry->d_name, "%16" SCNx64, &channel);
    if (checkChannel(channel)) {
      char path[SKIMLET_PATH_SIZE];
      snprintf(path, sizeof path, "%s/%s", SE_V15_FOLDER, entry->d_name);
      if (!ScanChannelFile(path)) break;
    }
    if (reporting) sendProgress(total, done);
  }
  closedir(dir);
  return 0;
}
