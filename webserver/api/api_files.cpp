#include "webserver/api/api_files.h"

#include <dirent.h>
#include <errno.h>
#include <fnmatch.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "common/text_helpers.h"
#include "common/url_params.h"
#include "platform/channel_lookup.h"
#include "platform/dir_location.h"
#include "platform/epg_genre_format.h"
#include "platform/firmware_model.h"
#include "platform/flash_tables.h"
#include "platform/mp3_tags.h"
#include "platform/path_rules.h"
#include "platform/pvr_date_math.h"
#include "platform/pvr_path.h"
#include "platform/pvr_text.h"
#include "platform/pvr_time.h"
#include "platform/rec_header.h"
#include "platform/tap_file_info.h"
#include "webserver/api/files_params.h"
#include "webserver/api/pvr_text_answer.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

namespace {

const char kDefaultFolder[] = "/mnt/hd/DataFiles";
// Folders of the disk that a request may name without "/mnt/hd".
const char *const kDiskFolders[] = {"/DataFiles", "/ProgramFiles", "/MediaFiles", "/PhotoFiles"};
const char kRecordingFolder[] = "/mnt/hd/DataFiles";
enum { ERROR_OPENDIR = 2, PATTERN_SIZE = 16 };
constexpr uint64_t kAnalogueLogoId = 0xffffffffffffff00ull;

struct ListRequest {
  char dir[FILES_DIR_SIZE];   // as given
  bool dirRefused;            // too long to take
  bool noFiles;
  char file[FILES_NAME_SIZE];
  bool fileRefused;           // a name too long for its field: matches no entry
};

// Per request, from the TAP heap: what the companions of one entry tell.
struct EntryScratch {
  RECHeaderInfo header;
  Mp3Tags tags;
  TapFileInfo tap;
  char pvrPath[PVR_PATH_SIZE];
  char hostPath[PVR_PATH_SIZE];
  char companion[PVR_PATH_SIZE];
};

void TakeListParam(void *context, const char *keyword, const char *value, size_t length) {
  ListRequest *r = static_cast<ListRequest *>(context);
  int shown = length > FILES_VALUE_LOG ? (int)FILES_VALUE_LOG : (int)length;
  if (strcmp(keyword, "dir") == 0) {
    r->dirRefused = !TakeFilesValue(r->dir, sizeof r->dir, value, length);
  } else if (strcmp(keyword, "nofiles") == 0) {
    r->noFiles = length == 1 && value[0] == '1';
  } else if (strcmp(keyword, "file") == 0) {
    LOGF(LOG_DETAIL, "'file' present, raw value = '%.*s'.", shown, value);
    char decoded[FILES_NAME_SIZE];
    r->fileRefused = !TakeFilesURLValue(decoded, sizeof decoded, value, length);
    if (gIsUTFFirmware) {
      CopyBounded(r->file, sizeof r->file, decoded, sizeof decoded);
    } else {
      StrToISO(decoded, r->file);   // never longer than its UTF-8 form
    }
    LOGF(LOG_DETAIL, "'file' present, new value = '%s'.", r->file);
  } else if (strcmp(keyword, "file_hex") == 0) {
    LOGF(LOG_DETAIL, "'file_hex' present, raw value = '%.*s'.", shown, value);
    r->fileRefused = !TakeFilesHexValue(r->file, sizeof r->file, value, length);
    LOGF(LOG_DETAIL, "'file_hex' present, new value = '%s'.", r->file);
  }
}

// The folder the request names, URL-decoded, with the disk's folder names completed.
// False when it cannot be had (too long, or a value that does not decode).
bool RequestedFolder(const ListRequest &r, char *folder, size_t size) {
  if (r.dirRefused) return false;
  if (!r.dir[0]) {
    LOGF(LOG_DETAIL, "Setting default location.");
    CopyBounded(folder, size, kDefaultFolder, sizeof kDefaultFolder);
  } else {
    LOGF(LOG_DETAIL, "URLdecode on directory parameter.");
    if (URLndecode(r.dir, nullptr, (int)strlen(r.dir)) < 0) return false;
    URLndecode(r.dir, folder, (int)strlen(r.dir));
  }
  LOGF(LOG_DETAIL, "tempDir = [%s].", r.dir);
  LOGF(LOG_DETAIL, "fullDir = [%s].", folder);
  for (const char *name : kDiskFolders) {
    if (strncmp(folder, name, strlen(name)) != 0) continue;
    char completed[FILES_DIR_SIZE];
    int length = snprintf(completed, sizeof completed, "/mnt/hd%s", folder);
    if (length < 0 || (size_t)length >= sizeof completed || (size_t)length >= size) return false;
    memcpy(folder, completed, (size_t)length + 1);
    break;
  }
  return true;
}

// A packed date as the answers show it; 0 (no date) as zeros rather than as now.
const char *DateText(dword date) { return date ? PVRDateToJSON(date, 0) : "0000/00/00 00:00:00"; }

// The logo ID of the recorded service: the service of the PVR's tables on the same
// satellite and transponder with the same service ID (whose number and type the header
// takes), else the first service of the same name; 0 when none is found.
uint64_t HeaderLogoId(RECHeaderInfo *h) {
  int number = 0, type = h->service.serviceType;
  if (matchChannel(type, h->service.satIndex, h->service.tpIndex, h->service.serviceId, &number)) {
    h->header.serviceNumber = (word)number;
    h->header.serviceType = (word)type;
    return LogoManager_GetChannelID(type, number);
  }
  if (findChannelByName(h->service.serviceName, &type, &number)) return LogoManager_GetChannelID(type, number);
  return 0;
}

bool IsAnalogueRecording(const RECHeaderInfo &h) {
  return h.transponder.originalNetworkId == 0 && h.transponder.tsId == 0 && h.transponder.frequency == 0 &&
         h.transponder.bandwidth == 0 && strcmp(h.service.serviceName, "Analog Stream") == 0;
}

void AppendHeader(JsonAnswer *a, RECHeaderInfo *h) {
  bool analogue = IsAnalogueRecording(*h);
  uint64_t logoId = analogue ? kAnalogueLogoId : HeaderLogoId(h);
  a->Printf(",\"infdata\":\r\n\t{\"header\":\r\n\t{\"starttime\":\"%s\",\r\n", DateText(h->header.startTime));
  a->Printf("\t\"durationmin\":%d,\r\n\t\"durationsec\":%d,\r\n", h->header.durationMinutes,
            h->header.durationSeconds);
  a->Printf("\t\"svcnum\":%d,\r\n\t\"svctype\":%d,\r\n", analogue ? 0 : h->header.serviceNumber,
            analogue ? 99 : h->header.serviceType);
  a->Printf("\t\"logoid\":\"%016llx\",\r\n", (unsigned long long)logoId);
  a->Printf("\t\"cryptflag\":%d,\r\n\t\"headerflags\":%d,\r\n\t\"headerflags2\":%d,\r\n", h->cryptFlag,
            h->header.flags, h->header.flags2);
  a->Printf("\t\"flagtimeshift\":%lu,\r\n\t\"flagcopy\":%lu}\r\n", (unsigned long)h->header.timeShiftFlag,
            (unsigned long)h->header.copyFlag);
}

void AppendService(JsonAnswer *a, const RECHeaderInfo &h) {
  const auto &s = h.service;
  a->Printf("\t,\"service\":\r\n\t{\"satindex\":%d,\r\n\t\"servicetype\":%d,\r\n\t\"tpindex\":%d,\r\n", s.satIndex,
            s.serviceType, s.tpIndex);
  a->Printf("\t\"tunernum\":%d,\r\n\t\"flagskip\":%d,\r\n\t\"flaglock\":%d,\r\n\t\"flagcas\":%d,\r\n", s.tunerNum,
            s.skipFlag, s.lockFlag, s.casFlag);
  a->Printf("\t\"flagdel\":%d,\r\n\t\"serviceid\":%d,\r\n\t\"pmtpid\":%d,\r\n\t\"pcrpid\":%d,\r\n", s.delFlag,
            s.serviceId, s.pmtPid, s.pcrPid);
  a->Printf("\t\"videopid\":%d,\r\n\t\"audiopid\":%d,\r\n\t\"servicename\":\"", s.videoPid, s.audioPid);
  AppendPvrName(a, s.serviceName, sizeof s.serviceName);
  a->Printf("\",\r\n\t\"videostreamtype\":%d,\r\n\t\"audiostreamtype\":%d}\r\n", s.videoStreamType,
            s.audioStreamType);
}

void AppendEvent(JsonAnswer *a, const RECHeaderInfo &h) {
  const auto &e = h.event;
  a->Printf("\t,\"eventinfo\":\r\n\t{\"duration\":%lu,\r\n\t\"eventid\":%lu,\r\n", (unsigned long)e.duration,
            (unsigned long)e.eventId);
  a->Printf("\t\"starttime_utc\":\"%s\",\r\n", DateText(e.startTime));
  a->Printf("\t\"starttime_local\":\"%s\",\r\n", DateText(e.startTime ? UTC2LocalTime(e.startTime, nullptr) : 0));
  a->Printf("\t\"endtime_utc\":\"%s\",\r\n", DateText(e.endTime));
  a->Printf("\t\"endtime_local\":\"%s\",\r\n", DateText(e.endTime ? UTC2LocalTime(e.endTime, nullptr) : 0));
  a->Printf("\t\"runningstatus\":%d,\r\n\t\"parental\":%d,\r\n\t\"parental_text\":\"", e.runningStatus,
            e.parentalRating);
  if (e.parentalRating < PARENTAL_ENTRIES) {
    AppendPvrText(a, gParental[e.parentalRating], PARENTAL_ENTRY_SIZE);
  }
  a->Printf("\",\r\n\t\"serviceid\":%d,\r\n\t\"unknown1\":\"0x%02x%02x\",\r\n\t\"unknown2\":\"0x", e.serviceId,
            e.unknown1[0], e.unknown1[1]);
  a->Hex(e.unknown2, (int)sizeof e.unknown2);
  a->Cat("\",\r\n\t\"name\":\"");
  AppendPvrText(a, e.eventName, sizeof e.eventName);
  a->Cat("\",\r\n\t\"description\":\"");
  AppendPvrText(a, e.eventDescription, sizeof e.eventDescription);
  a->Cat("\"}\r\n");

  const auto &x = h.extEvent;
  a->Printf("\t,\"exteventinfo\":\r\n\t{\"serviceid\":%d,\r\n\t\"eventid\":%lu,\r\n\t\"unknown1\":\"0x", x.serviceId,
            (unsigned long)x.eventId);
  a->Hex(x.unknown1, (int)sizeof x.unknown1);
  a->Cat("\",\r\n\t\"unknown2\":\"0x");
  a->Hex(x.unknown2, (int)sizeof x.unknown2);
  a->Cat("\",\r\n\t\"text\":\"");
  if (x.textLength) AppendPvrText(a, x.text, x.textLength < REC_EXT_TEXT_SIZE ? (size_t)x.textLength : (size_t)REC_EXT_TEXT_SIZE);
  a->Cat("\"}\r\n");
}

void AppendTransponder(JsonAnswer *a, const RECHeaderInfo &h) {
  const auto &t = h.transponder;
  a->Printf("\t,\"tpinfo\":\r\n\t{\"satindex\":%d,\r\n\t\"flags2\":%d,\r\n\t\"polarisation\":%d,\r\n", t.satIndex,
            t.flags2, t.polarisation);
  a->Printf("\t\"mode\":%d,\r\n\t\"modsystem\":%d,\r\n\t\"modulation\":%d,\r\n\t\"fec\":%d,\r\n\t\"pilot\":%d,\r\n",
            t.mode, t.modSystem, t.modulation, t.fec, t.pilot);
  a->Printf("\t\"channelnumber\":%d,\r\n\t\"bandwidth\":%d,\r\n\t\"lphpstream\":%d,\r\n\t\"frequency\":%lu,\r\n",
            t.channelNumber, t.bandwidth, t.lpHpStream, (unsigned long)t.frequency);
  a->Printf("\t\"symbolrate\":%d,\r\n\t\"tsid\":%d,\r\n\t\"clocksync\":%d,\r\n\t\"unusedflags2\":%d,\r\n",
            t.symbolRate, t.tsId, t.clockSync, t.polarisation);
  a->Printf("\t\"networkid\":%d,\r\n\t\"originalnetworkid\":%d}\r\n", t.networkId, t.originalNetworkId);
}

void AppendBookmarks(JsonAnswer *a, const RECHeaderInfo &h) {
  const auto &b = h.bookmarks;
  a->Printf("\t,\"bookmarks\":\r\n\t{\"startposition\":%lu,\r\n\t\"count\":%lu", (unsigned long)b.resume,
            (unsigned long)b.count);
  if (b.count >= 1 && b.count <= REC_BOOKMARKS) {
    a->Cat(",\r\n\t\"bookmark\":\r\n\t[");
    for (dword i = 0; i < b.count; i++) a->Printf("%s{\"block\":%lu}", i ? "," : "", (unsigned long)b.block[i]);
    a->Cat("]");
  }
  a->Cat("}}\r\n");
}

void AppendMp3Tags(JsonAnswer *a, const char *hostPath, Mp3Tags *tags) {
  a->Cat("\t,\"mp3data\":\r\n\t{");
  if (Mp3ReadTags(hostPath, tags)) {
    for (int k = 0; k < MP3_TAG_FRAMES; k++) {
      a->Printf("\"%s\":\"", gMp3TagFields[k].key);
      if (tags->frame[k].present) a->Escaped(tags->frame[k].text);
      a->Cat(k + 1 < MP3_TAG_FRAMES ? "\",\r\n\t" : "\"\r\n\t");
    }
  }
  a->Cat("}\r\n");
}

// The header of a TAP file, in the form of a record of the TAP list (index -1, status -1).
void AppendTap(JsonAnswer *a, const char *pvrPath, const TapFileInfo &tap) {
  a->Printf(",\"tap\":\r\n{\r\n\"index\":%d,\r\n\"status\":%ld,\r\n\"tapid_hex\":\"%08lx\",\r\n\"tapid\":%lu,\r\n", -1,
            -1L, (unsigned long)tap.id, (unsigned long)tap.id);
  a->Cat("\"name\":");
  a->String(tap.programName, (int)sizeof tap.programName);
  a->Cat(",\r\n\"version\":");
  a->String(tap.version, (int)sizeof tap.version);
  a->Cat(",\r\n\"description\":");
  a->String(tap.description, (int)sizeof tap.description);
  a->Cat(",\r\n\"file_name\":");
  a->String(pvrPath);
  a->Cat(",\r\n\"author\":");
  a->String(tap.authorName, (int)sizeof tap.authorName);
  a->Cat("}\r\n");
}

bool HasExtension(const char *name, const char *extension, bool anyCase) {
  size_t length = strlen(name);
  if (length < 5) return false;
  return anyCase ? strcasecmp(name + length - 4, extension) == 0 : strcmp(name + length - 4, extension) == 0;
}

// What the companions and the content of a regular file tell.
void AppendFileDetails(JsonAnswer *a, const char *name, EntryScratch *s, bool *infPresent, bool *navPresent) {
  bool mp3 = HasExtension(name, ".MP3", true);
  int tapPresent = 0;
  if (HasExtension(name, ".tap", false) && ReadTapFileInfo(s->hostPath, &s->tap)) {
    AppendTap(a, s->pvrPath, s->tap);
    tapPresent = 1;
  }
  a->Printf("\t,\"tappresent\":%d\r\n", tapPresent);
  int length = snprintf(s->companion, sizeof s->companion, "%s.inf", s->hostPath);
  int decoded = 0;
  if (length > 0 && (size_t)length < sizeof s->companion &&
      HDD_ReadRECHeaderFile(s->companion, &s->header, gModelInfo ? ModelField32(gModelInfo, MODEL_SYSTEM_TYPE)
                                                                   : (dword)PVRSystemType(),
                            &decoded)) {
    *infPresent = true;
    AppendHeader(a, &s->header);
    AppendService(a, s->header);
    AppendEvent(a, s->header);
    AppendTransponder(a, s->header);
    AppendBookmarks(a, s->header);
  }
  struct stat status;
  length = snprintf(s->companion, sizeof s->companion, "%s.nav", s->hostPath);
  *navPresent = length > 0 && (size_t)length < sizeof s->companion && stat(s->companion, &status) == 0;
  if (mp3) {
    a->Printf("\t,\"mp3present\":%d\r\n", 1);
    AppendMp3Tags(a, s->hostPath, &s->tags);
  }
}

// One entry of the listing as a record; false when the answer is full.
bool AppendEntry(JsonAnswer *a, int index, const char *name, const struct stat &status, EntryScratch *s) {
  int mark = a->BeginRecord();
  a->Cat(index ? "\t,{" : "\t{");
  a->Cat("\"name\":\"");
  AppendPvrName(a, name, strlen(name));
  a->Cat("\",\r\n\t\"name_hex\":");
  a->HexString(name);
  a->Printf(",\r\n\t\"timestamp\":\"%s\",\r\n", PVRDateToJSON(Unix2TFTime((int64_t)status.st_mtime), 0));
  a->Printf("\t\"size\":%lld,\r\n\t\"inode\":%lld,\r\n", (long long)status.st_size, (long long)status.st_ino);
  bool folder = S_ISDIR(status.st_mode);
  a->Printf("\t\"attr\":%d,\r\n", folder ? ATTR_FOLDER : ATTR_NORMAL);
  if (folder) FilesGet_DirLocation(s->pvrPath, a);
  a->Printf("\t\"info\":%u\r\n", (unsigned)status.st_mode);
  bool infPresent = false, navPresent = false;
  if (S_ISREG(status.st_mode)) AppendFileDetails(a, name, s, &infPresent, &navPresent);
  a->Printf("\t,\"navpresent\":%d\r\n\t,\"infpresent\":%d}\r\n", navPresent ? 1 : 0, infPresent ? 1 : 0);
  return a->EndRecord(mark);
}

// Lists the entries of an open folder; returns the number listed.
int AppendEntries(JsonAnswer *a, DIR *dir, const char *folder, const char *hostFolder, const ListRequest &r,
                  EntryScratch *s) {
  char pattern[PATTERN_SIZE] = "*";
  if (strncmp(folder, kRecordingFolder, strlen(kRecordingFolder)) == 0) {
    snprintf(pattern, sizeof pattern, "*%s", gRecordingExt);
  }
  int listed = 0;
  while (dirent *entry = readdir(dir)) {
    const char *name = entry->d_name;
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
    if (r.fileRefused || (r.file[0] && strcmp(name, r.file) != 0)) continue;
    int pvrLength = snprintf(s->pvrPath, sizeof s->pvrPath, "%s/%s", folder, name);
    int hostLength = snprintf(s->hostPath, sizeof s->hostPath, "%s/%s", hostFolder, name);
    struct stat status;
    bool readable = pvrLength > 0 && (size_t)pvrLength < sizeof s->pvrPath && hostLength > 0 &&
                    (size_t)hostLength < sizeof s->hostPath && stat(s->hostPath, &status) == 0;
    bool folderEntry = readable && S_ISDIR(status.st_mode);
    bool wanted = readable && (folderEntry || fnmatch(pattern, name, 0) == 0) && (!r.noFiles || folderEntry);
    if (wanted) {
      if (!AppendEntry(a, listed, name, status, s)) break;
      listed++;
    }
    if (r.file[0]) break;   // the one entry named
  }
  return listed;
}

}  // namespace

bool FilesGet_DirLocation(const char *path, JsonAnswer *answer) {
  DirLocation where;
  GetDirLocation(path, &where);
  bool ok = answer->Cat("\t\"link\":") && answer->String(where.link) && answer->Cat(",\r\n\t\"link_hex\":") &&
            answer->HexString(where.link) && answer->Cat(",\r\n\t\"mount\":") && answer->String(where.mount) &&
            answer->Cat(",\r\n\t\"mount_hex\":") && answer->HexString(where.mount) &&
            answer->Cat(",\r\n\t\"dev\":") && answer->String(where.device) && answer->Cat(",\r\n\t\"dev_hex\":") &&
            answer->HexString(where.device);
  return ok && answer->Printf(",\r\n\t\"location\":%d,\r\n", where.location);
}

void APIFilesGet(const char *params) {
  LOGF(LOG_DETAIL, "Processing API-Files-Get request '%s'.", gHTTPpath);
  ListRequest r;
  memset(&r, 0, sizeof r);
  ScanFilesParams(params, TakeListParam, &r);

  char requested[FILES_DIR_SIZE] = "", folder[FILES_DIR_SIZE] = "";
  bool named = RequestedFolder(r, requested, sizeof requested);
  // Only folders below "/mnt/" are listed, also when a link leads elsewhere.
  bool allowed = named && PathBelowMnt(requested, folder, sizeof folder);
  MappedPath host(folder);
  errno = 0;
  DIR *dir = allowed && host.c_str() ? opendir(host.c_str()) : nullptr;
  int error = 0, savedErrno = 0;
  if (!dir) {
    savedErrno = allowed && host.c_str() ? errno : EINVAL;
    error = ERROR_OPENDIR;
    LOGF(LOG_DETAIL, "Error %d at opendir().", savedErrno);
  }

  EntryScratch *scratch = dir ? static_cast<EntryScratch *>(TAP_MemAlloc(sizeof(EntryScratch))) : nullptr;
  JsonAnswer answer(FILES_ANSWER_LIMIT, FILES_ENTRY_ESTIMATE + 1024);
  if (!answer.Ok() || (dir && !scratch)) {
    LOGF(LOG_OPERATIONAL, "Error allocating memory for files response.");
    if (dir) closedir(dir);
    if (scratch) TAP_MemFree(scratch);
    return;
  }
  answer.Printf("{\"timestamp\":\"%s\",\r\n\"content\":\"files\",\r\n", PVRDateToJSON(0, 0));
  answer.Printf("\"error_code\":%d,\r\n\"errno\":%d,\r\n\"error_text\":\"%s\",\r\n", error, savedErrno,
                error ? "Error at opendir()." : "");
  answer.Cat("\"directory\":");
  answer.String(allowed ? folder : requested);
  answer.Cat(",\r\n");
  if (allowed) FilesGet_DirLocation(folder, &answer);
  answer.Cat("\"files\":\r\n[\r\n");
  int listed = 0;
  if (dir) {
    listed = AppendEntries(&answer, dir, folder, host.c_str(), r, scratch);
    closedir(dir);
    TAP_MemFree(scratch);
  }
  LOGF(LOG_DETAIL, "files = (%d).", listed);
  answer.Cat("]}\r\n");
  answer.InsertPrintf(1, "\"count\":%d,\r\n", listed);
  LOGF(LOG_NETWORK, "Sending files get.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}
