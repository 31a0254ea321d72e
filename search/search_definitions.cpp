#include "search/search_definitions.h"

#include <inttypes.h>
#include <stdlib.h>
#include <string.h>

#include "common/text_helpers.h"
#include "platform/epg_genre_format.h"
#include "search/skimlet.h"

SearchDefinition *gSearchList = nullptr;
int gSearchCount = 0;

namespace {

struct KeyName {
  const char *key;
  int code;
};

constexpr KeyName kKeys[] = {
    {"Name:", KEY_NAME},
    {"Search:", KEY_SEARCH},
    {"ChannelID:", KEY_CHANNELID},
    {"StartTime:", KEY_STARTTIME},
    {"EndTime:", KEY_ENDTIME},
    {"MaxLength:", KEY_MAXLENGTH},
    {"MinLength:", KEY_MINLENGTH},
    {"StartDate:", KEY_STARTDATE},
    {"EndDate:", KEY_ENDDATE},
    {"WeekDays:", KEY_WEEKDAYS},
    {"ID:", KEY_ID},
    {"Genre:", KEY_GENRE},
    {"RecordingMode:", KEY_RECORDINGMODE},
    {"SearchCount:", KEY_SEARCHCOUNT},
    {"TextCount:", KEY_TEXTCOUNT},
    {"ChannelCount:", KEY_CHANNELCOUNT},
    {"ShowProgress:", KEY_SHOWPROGRESS},
};

// The state of one loading pass.
struct Loader {
  int capacity;          // definitions allocated
  bool building;         // gSearchList[gSearchCount - 1] takes the lines that follow
  FILE *file;            // file mode: where countSizes reads the sizes
  bool fromRequest;
  int pendingChannels;   // request mode: "ChannelCount:" and "TextCount:" for the next arrays
  int pendingTexts;
};

void FreeDefinition(SearchDefinition *d) {
  if (d->texts) {
    for (int i = 0; i < d->textCount; i++) {
      if (d->texts[i].matchData) pcre2_match_data_free(d->texts[i].matchData);
      if (d->texts[i].code) pcre2_code_free(d->texts[i].code);
    }
    free(d->texts);
  }
  free(d->channels);
  memset(d, 0, sizeof *d);
}

// Skips the 3-byte UTF-8 byte-order mark at the start of a file when it is there.
void SkipMarker(FILE *file) {
  rewind(file);
  unsigned char marker[3];
  if (fread(marker, 1, 3, file) != 3 || marker[0] != 0xEF || marker[1] != 0xBB || marker[2] != 0xBF) {
    rewind(file);
  }
}

// Reads at most digits hexadecimal digits.
unsigned long ReadHex(const char *value, int digits) {
  char part[16];
  CopyBounded(part, (size_t)digits + 1, value, (size_t)digits + 1);
  return strtoul(part, nullptr, 16);
}

int TimeMinutes(int raw) { return ((raw >> 8) & 0xFF) * 60 + (raw & 0xFF); }

void AddSearchText(SearchDefinition *d, const char *value) {
  if (!d->texts || d->textCount >= d->textCapacity) return;
  char type = 0;
  char pattern[SEARCH_TEXT_SIZE] = "";
  int weight = 0;
  if (sscanf(value, "%c;%255[^;];%d", &type, pattern, &weight) < 2) return;

  SearchText *t = &d->texts[d->textCount++];
  memset(t, 0, sizeof *t);
  CopyBounded(t->text, sizeof t->text, pattern, sizeof t->text);
  t->weight = weight;
  switch (type) {
    case 'T': t->inName = 1; break;
    case 'D': t->inDescription = 1; break;
    case 'E': t->inText = 1; break;
    case 'A': t->inName = t->inDescription = 1; break;
    case 'S': t->inDescription = t->inText = 1; break;
    case 'q': t->inName = t->inText = 1; break;
    case 'B': t->inName = t->inDescription = t->inText = 1; break;
    case 'G': t->genreFlag = 1; break;
    default: break;
  }

  char regex[SEARCH_REGEX_SIZE];
  makeRegexText(t->text, regex, sizeof regex);
  PrintLine("Text '%s' = regex text '%s'.", t->text, regex);
  int error = 0;
  PCRE2_SIZE offset = 0;
  t->code = pcre2_compile((PCRE2_SPTR)regex, PCRE2_ZERO_TERMINATED, PCRE2_CASELESS, &error, &offset, nullptr);
  if (!t->code) {
    PCRE2_UCHAR message[128];
    pcre2_get_error_message(error, message, sizeof message);
    PrintLine(" ERROR - Pattern '%s' does not compile at offset %u: %s.", regex, (unsigned)offset,
              (const char *)message);
    return;
  }
  // Compiled to machine code where the platform allows; matching falls back otherwise.
  t->jit = pcre2_jit_compile(t->code, PCRE2_JIT_COMPLETE) == 0;
  if (pcre2_pattern_info(t->code, PCRE2_INFO_MINLENGTH, &t->minLength) != 0) t->minLength = 0;
  t->matchData = pcre2_match_data_create_from_pattern(t->code, nullptr);
  if (!t->matchData) {
    pcre2_code_free(t->code);
    t->code = nullptr;
  }
}

// Allocates the channel and text arrays of a definition. 0, or -1 with the message.
int AllocateArrays(Loader *loader, SearchDefinition *d) {
  int channels = 0, texts = 0;
  if (loader->fromRequest) {
    channels = loader->pendingChannels;
    texts = loader->pendingTexts;
    loader->pendingChannels = loader->pendingTexts = 0;
  } else {
    countSizes(loader->file, &channels, &texts);
  }
  PrintLine("Channel Count = %d, Text count = %d.", channels, texts);
  int index = gSearchCount - 1;
  if (channels > 0) d->channels = static_cast<uint64_t *>(calloc((size_t)channels, sizeof *d->channels));
  if (!d->channels) {
    PrintLine(" ERROR - definition %d, Unable to allocate memory for channels.", index);
    return -1;
  }
  d->channelCapacity = channels;
  if (texts > 0) d->texts = static_cast<SearchText *>(calloc((size_t)texts, sizeof *d->texts));
  if (!d->texts) {
    PrintLine(" ERROR - definition %d, Unable to allocate memory for search text.", index);
    return -1;
  }
  d->textCapacity = texts;
  return 0;
}

// Applies one line. 0, or -1 when loading must stop.
int HandleLine(Loader *loader, int code, const char *line) {
  const char *value = searchLineValue(line);
  SearchDefinition *d = loader->building ? &gSearchList[gSearchCount - 1] : nullptr;

  switch (code) {
    case KEY_NAME:
      loader->building = false;
      if (gSearchCount >= loader->capacity) return 0;   // more than were counted: ignored
      d = &gSearchList[gSearchCount++];
      memset(d, 0, sizeof *d);
      CopyBounded(d->name, sizeof d->name, value, sizeof d->name);
      d->weekdays = SEARCH_WEEKDAYS_EVERY_DAY;
      loader->building = true;
      return 0;
    case KEY_SHOWPROGRESS:
      gShowProgress = 1;
      return 0;
    case KEY_TEXTCOUNT:
      if (loader->fromRequest) loader->pendingTexts = atoi(value);
      return 0;
    case KEY_CHANNELCOUNT:
      if (loader->fromRequest) loader->pendingChannels = atoi(value);
      return 0;
    default:
      break;
  }
  if (!d) return 0;

  switch (code) {
    case KEY_RECORDINGMODE:
      if (value[0] == '1') {
        FreeDefinition(d);
        gSearchCount--;
        loader->building = false;
        return 0;
      }
      if (d->channels || d->texts) return 0;   // arrays exist already
      return AllocateArrays(loader, d);
    case KEY_CHANNELID: {
      uint64_t id = 0;
      if (sscanf(value, "%16" SCNx64, &id) == 1 && id != 0 && d->channels && d->channelCount < d->channelCapacity) {
        d->channels[d->channelCount++] = id;
      }
      return 0;
    }
    case KEY_SEARCH:
      AddSearchText(d, value);
      return 0;
    case KEY_STARTTIME: {
      int raw = atoi(value);
      d->startTimeRaw = (uint16_t)raw;
      d->startMinutes = TimeMinutes(raw);
      d->timeWindowActive = 1;
      if (!d->windowWraps && d->endMinutes != 0 && d->endMinutes < d->startMinutes) {
        d->endMinutes += 1440;
        d->windowWraps = 1;
      }
      return 0;
    }
    case KEY_ENDTIME: {
      int raw = atoi(value);
      int minutes = TimeMinutes(raw);
      d->endTimeRaw = (uint16_t)raw;
      d->timeWindowActive = 1;
      if (!d->windowWraps && minutes != 0 && minutes < d->startMinutes) {
        d->endMinutes = minutes + 1440;
        d->windowWraps = 1;
      } else {
        d->endMinutes = minutes;
      }
      return 0;
    }
    case KEY_MINLENGTH:
      d->minLength = atoi(value);
      return 0;
    case KEY_MAXLENGTH:
      d->maxLength = atoi(value);
      return 0;
    case KEY_STARTDATE:
      d->startDate = (uint32_t)(ReadHex(value, 4) << 16);
      if (d->startDate != 0) d->dateRangeActive = 1;
      return 0;
    case KEY_ENDDATE:
      d->endDate = (uint32_t)(ReadHex(value, 4) << 16);
      if (d->endDate != 0) d->dateRangeActive = 1;
      return 0;
    case KEY_WEEKDAYS: {
      unsigned mask = 0;
      for (int i = 0; i < 9 && value[i]; i++) {
        unsigned bit = (unsigned)(value[i] - '0') & 31;
        mask |= 1u << bit;
      }
      d->weekdays = (uint8_t)mask;
      if (d->weekdays == 0) d->weekdays = SEARCH_WEEKDAYS_EVERY_DAY;
      return 0;
    }
    case KEY_GENRE: {
      unsigned genre = (unsigned)ReadHex(value, 2);
      if (genre != 0) {
        d->genres[genre & 0xFF] = 1;
        d->genreActive = 1;
      }
      return 0;
    }
    default:
      return 0;
  }
}

int AllocateList(int count) {
  gSearchList = nullptr;
  gSearchCount = 0;
  if (count <= 0) return 1;
  gSearchList = static_cast<SearchDefinition *>(calloc((size_t)count, sizeof *gSearchList));
  if (!gSearchList) {
    PrintLine(" ERROR - Unable to reserve memory for %d search definitions.", count);
    return 0;
  }
  return 1;
}

int LoadFromFile() {
  FILE *file = OpenPvrFile(gSearchFileName, "rb");
  if (!file) {
    PrintLine("  ERROR - Unable to open search file '%s'.", gSearchFileName);
    return 0;
  }
  SkipMarker(file);
  int count = countSearches(file);
  PrintLine(" Total searches found = %d, total channels found = %d.", count, 0);
  if (!AllocateList(count)) {
    fclose(file);
    return 0;
  }
  SkipMarker(file);

  Loader loader = {count, false, file, false, 0, 0};
  char line[SEARCH_LINE_SIZE];
  int result = 0;
  while (result == 0 && readSearchLine(file, line, sizeof line)) {
    PrintLine("Processing [%s]", line);
    result = HandleLine(&loader, parseSearchLine(line, 1), line);
  }
  fclose(file);
  return result < 0 ? result : gSearchCount;
}

// The next line of the request at *at (lines end at CR or LF); null at the end.
char *NextRequestLine(char **at) {
  char *p = *at;
  while (*p == '\r' || *p == '\n') p++;
  if (*p == '\0') return nullptr;
  char *line = p;
  while (*p && *p != '\r' && *p != '\n') p++;
  if (*p) *p++ = '\0';
  *at = p;
  return line;
}

int LoadFromRequest() {
  gSearchBuffer[SEARCH_BUFFER_SIZE - 1] = '\0';
  char *at = gSearchBuffer;
  char *first = NextRequestLine(&at);
  int count = first ? atoi(searchLineValue(first)) : 0;
  if (count < 0) count = 0;
  PrintLine(" Total searches found = %d, total channels found = %d.", count, 0);
  if (!AllocateList(count)) return 0;

  Loader loader = {count, false, nullptr, true, 0, 0};
  char line[SEARCH_LINE_SIZE];
  int result = 0;
  char *raw;
  while (result == 0 && (raw = NextRequestLine(&at)) != nullptr) {
    CopyBounded(line, sizeof line, raw, sizeof line);
    PrintLine("Processing [%s]", line);
    result = HandleLine(&loader, parseSearchLine(line, 1), line);
  }
  return result < 0 ? result : gSearchCount;
}

}  // namespace

const char *searchLineValue(const char *line) {
  return strnlen(line, SEARCH_VALUE_COLUMN) < SEARCH_VALUE_COLUMN ? "" : line + SEARCH_VALUE_COLUMN;
}

int parseSearchLine(char *line, int strip) {
  if (!line) return KEY_OTHER;
  if (strip) {
    size_t n = strlen(line);
    for (int i = 0; i < 2 && n > 0 && (line[n - 1] == '\r' || line[n - 1] == '\n'); i++) line[--n] = '\0';
  }
  for (const KeyName &k : kKeys) {
    if (strncmp(line, k.key, strlen(k.key)) == 0) return k.code;
  }
  return KEY_OTHER;
}

int readSearchLine(FILE *file, char *line, size_t size) {
  size_t n = 0;
  int c = getc(file);
  if (c == EOF) return 0;
  while (c != EOF && c != '\r' && c != '\n') {
    if (n + 1 < size) line[n++] = (char)c;   // the rest of an overlong line is dropped
    c = getc(file);
  }
  if (c == '\r') {
    int next = getc(file);
    if (next != '\n' && next != EOF) ungetc(next, file);
  }
  line[n] = '\0';
  return 1;
}

int countSearches(FILE *file) {
  long position = ftell(file);
  char line[SEARCH_LINE_SIZE];
  int count = 0;
  while (readSearchLine(file, line, sizeof line)) {
    int code = parseSearchLine(line, 1);
    if (code == KEY_NAME) count++;
    if (code == KEY_RECORDINGMODE && searchLineValue(line)[0] == '1') count--;
  }
  fseek(file, position, SEEK_SET);
  return count < 0 ? 0 : count;
}

void countSizes(FILE *file, int *channels, int *texts) {
  long position = ftell(file);
  char line[SEARCH_LINE_SIZE];
  *channels = *texts = 0;
  while (readSearchLine(file, line, sizeof line)) {
    int code = parseSearchLine(line, 1);
    if (code == KEY_NAME) break;
    if (code == KEY_CHANNELID) (*channels)++;
    if (code == KEY_SEARCH) (*texts)++;
  }
  fseek(file, position, SEEK_SET);
}

int makeRegexText(const char *pattern, char *regex, size_t size) {
  if (!regex || size == 0) return 0;
  regex[0] = '\0';
  if (!pattern) return 0;
  size_t length = strlen(pattern);
  if (length > 3 && pattern[0] == '/' && pattern[length - 1] == '/' && pattern[1] != '/' &&
      pattern[length - 2] != '/') {
    size_t n = length - 2 < size - 1 ? length - 2 : size - 1;
    memcpy(regex, pattern + 1, n);
    regex[n] = '\0';
    return 1;
  }
  size_t o = 0;
  for (size_t i = 0; i < length; i++) {
    char c = pattern[i];
    const char *piece;
    char pair[3] = {c, 0, 0};
    switch (c) {
      case '\\':
        if (i + 1 < length) pair[1] = pattern[++i];
        piece = pair;
        break;
      case '.': piece = "\\."; break;
      case '?': piece = "."; break;
      case '*': piece = ".*"; break;
      default: piece = pair; break;
    }
    size_t n = strlen(piece);
    if (o + n >= size) break;
    memcpy(regex + o, piece, n);
    o += n;
  }
  regex[o] = '\0';
  return 0;
}

int loadSearch(int fromRequest) {
  freeSearches();
  return fromRequest ? LoadFromRequest() : LoadFromFile();
}

void freeSearches() {
  if (gSearchList) {
    for (int i = 0; i < gSearchCount; i++) FreeDefinition(&gSearchList[i]);
    free(gSearchList);
  }
  gSearchList = nullptr;
  gSearchCount = 0;
}

namespace {

int ReadTable(const char *pvrPath, void *table, size_t size) {
  FILE *file = OpenPvrFile(pvrPath, "rb");
  if (!file) {
    PrintLine("Unable to open '%s'.", pvrPath);
    return 0;
  }
  // A short dump leaves the rest of the table empty.
  size_t n = fread(table, 1, size, file);
  memset(static_cast<char *>(table) + n, 0, size - n);
  fclose(file);
  return 1;
}

}  // namespace

int loadParentalGenre() {
  PrintLine(" Loading parental and genre descriptions from file.");
  PrintLine(" Loading parental descriptions from file.");
  int result = 0;
  if (!ReadTable(PARENTAL_DUMP_PATH, gParental, sizeof gParental)) {
    result = -1;
  } else {
    PrintLine(" Loading ETSI genre descriptions from file.");
    if (!ReadTable(GENRE_DUMP_PATH, gGenreDescription, sizeof gGenreDescription)) {
      result = -2;
    } else {
      PrintLine(" Loading AU genre descriptions from file.");
      if (!ReadTable(GENRE_AU_DUMP_PATH, gGenreDescriptionAU, sizeof gGenreDescriptionAU)) result = -3;
    }
  }
  TerminateGenreTables();
  return result;
}
