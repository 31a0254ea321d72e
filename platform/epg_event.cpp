#include "platform/epg_event.h"

#include <inttypes.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "common/text_helpers.h"
#include "common/packed_date.h"
#include "platform/epg_genre_format.h"
#include "platform/pvr_text.h"

namespace {

// Either counts the bytes a record takes or appends them; one code path for both, so the
// count is exact.
struct RecordSink {
  char *buffer;   // null: count only
  int length;

  void Cat(const char *text) {
    if (buffer) {
      stringCat(buffer, &length, text, 0);
    } else {
      length += (int)strlen(text);
    }
  }

  void Line(const char *format, ...) __attribute__((format(printf, 2, 3))) {
    char line[160];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    Cat(line);
  }

  // The text as a JSON string body; text ends at its NUL or after size bytes.
  void Escaped(const char *text, size_t size) {
    size_t n = strnlen(text, size);
    if (n == 0) return;
    if (buffer) {
      stringCatEscape(buffer, &length, text, (int)n);
      return;
    }
    for (size_t i = 0; i < n; i++) {
      unsigned char c = (unsigned char)text[i];
      switch (c) {
        case '\b': case '\t': case '\n': case '\f': case '\r': case '"': case '/': case '\\':
          length += 2;
          break;
        default:
          if (c >= 32) length += 1;
          break;
      }
    }
  }
};

// Areas for the web server's UTF-8 conversion (four bytes per input byte at most).
char gConvertedName[4 * EPG_NAME_SIZE + 1];
char gConvertedDescription[4 * EPG_DESCRIPTION_SIZE + 1];
char gConvertedText[4 * EPG_TEXT_SIZE + 1];

char gFieldCopy[EPG_TEXT_SIZE + 1];

// Copies a field that may fill its whole size into a terminated area, then converts it.
void ConvertField(const char *field, size_t size, char *out) {
  char *copy = gFieldCopy;
  size_t n = strnlen(field, size < sizeof gFieldCopy - 1 ? size : sizeof gFieldCopy - 1);
  memcpy(copy, field, n);
  copy[n] = '\0';
  StrToUTF8(copy, out, gDefaultCharacterSet);
}

struct RecordTexts {
  const char *name, *description, *text;
  size_t nameSize, descriptionSize, textSize;
  char parental[4 * PARENTAL_ENTRY_SIZE + 1];
  char genre[4 * GENRE_ENTRY_SIZE + 1];
  uint8_t auGenre, genreCode;
};

void PrepareTexts(const EPGEvent *event, int form, int auFlag, RecordTexts *t) {
  if (form == EPG_RECORD_SERVER) {
    ConvertField(event->name, sizeof event->name, gConvertedName);
    ConvertField(event->description, sizeof event->description, gConvertedDescription);
    ConvertField(event->text, sizeof event->text, gConvertedText);
    t->name = gConvertedName;
    t->description = gConvertedDescription;
    t->text = gConvertedText;
    t->nameSize = sizeof gConvertedName;
    t->descriptionSize = sizeof gConvertedDescription;
    t->textSize = sizeof gConvertedText;
  } else {
    t->name = event->name;
    t->description = event->description;
    t->text = event->text;
    t->nameSize = sizeof event->name;
    t->descriptionSize = sizeof event->description;
    t->textSize = sizeof event->text;
  }

  t->parental[0] = '\0';
  if (event->parental < PARENTAL_ENTRIES) {
    char entry[PARENTAL_ENTRY_SIZE + 1];
    size_t n = strnlen(gParental[event->parental], PARENTAL_ENTRY_SIZE);
    memcpy(entry, gParental[event->parental], n);
    entry[n] = '\0';
    StrToUTF8(entry, t->parental, gDefaultCharacterSet);
  }

  char genre[GENRE_ENTRY_SIZE];
  FindGenreDescription(auFlag, GENRE_MODE_AUTO, event->contentidentifier, event->sourceflag, genre,
                       &t->auGenre, &t->genreCode);
  StrToUTF8(genre, t->genre, gDefaultCharacterSet);
}

void WriteRecord(RecordSink *out, const EPGEvent *e, int first, int form, uint64_t logoId,
                 const RecordTexts &t) {
  out->Line(first ? "\t{\"eventid\":%u,\r\n" : "\t,{\"eventid\":%u,\r\n", (unsigned)e->eventid);
  out->Line("\t\"datastatus\":%u,\r\n", (unsigned)e->datastatus);
  out->Line("\t\"runningstatus\":%d,\r\n", (int)e->runningstatus);
  out->Line("\t\"starttime_local\":\"%s\",\r\n", PVRDateToJSON(e->starttime, 0));
  out->Line("\t\"endtime_local\":\"%s\",\r\n", PVRDateToJSON(e->endtime, 0));
  out->Line("\t\"timezone\":%d,\r\n", (int)e->timezone);
  out->Line("\t\"duration\":%u,\r\n", (unsigned)e->duration);
  out->Line("\t\"satindex\":%u,\r\n", (unsigned)e->satindex);
  out->Line("\t\"networkid\":%u,\r\n", (unsigned)e->networkid);
  out->Line("\t\"tsid\":%u,\r\n", (unsigned)e->tsid);
  if (form == EPG_RECORD_SEARCH) out->Line("\t\"logoid\":\"%016" PRIx64 "\",\r\n", logoId);
  out->Line("\t\"serviceid\":%u,\r\n", (unsigned)e->serviceid);
  out->Line("\t\"svctype\":%d,\r\n", (int)e->svctype);
  out->Line("\t\"svcnum\":%d,\r\n", (int)e->svcnum);
  // The language code comes from the broadcast: escaped like every other text.
  out->Cat("\t\"lang\":\"");
  out->Escaped(e->lang, sizeof e->lang);
  out->Cat("\",\r\n");
  out->Line("\t\"parental\":%u,\r\n", (unsigned)e->parental);
  out->Cat("\t\"parental_text\":\"");
  out->Escaped(t.parental, sizeof t.parental);
  out->Cat("\",\r\n");
  out->Line("\t\"namelength\":%u,\r\n", (unsigned)e->namelength);
  out->Line("\t\"descriptionlength\":%u,\r\n", (unsigned)e->descriptionlength);
  out->Line("\t\"textlength\":%u,\r\n", (unsigned)e->textlength);
  out->Cat("\t\"name\":\"");
  out->Escaped(t.name, t.nameSize);
  out->Cat("\",\r\n");
  out->Cat("\t\"description\":\"");
  out->Escaped(t.description, t.descriptionSize);
  out->Cat("\",\r\n");
  out->Cat("\t\"text\":\"");
  out->Escaped(t.text, t.textSize);
  out->Cat("\",\r\n");
  out->Line("\t\"citid\":%ld,\r\n", (long)e->citid);
  out->Line("\t\"contentidentifier\":%u,\r\n", (unsigned)e->contentidentifier);
  out->Line("\t\"contentidentifier_hex\":\"%02x\",\r\n", (unsigned)e->contentidentifier);
  out->Cat("\t\"genre_text\":\"");
  out->Escaped(t.genre, sizeof t.genre);
  out->Cat("\",\r\n");
  out->Line("\t\"genre_code\":\"%02x\",\r\n", (unsigned)t.genreCode);
  out->Line("\t\"genre_value\":%u,\r\n", (unsigned)t.genreCode);
  out->Line("\t\"au_genre\":%u,\r\n", (unsigned)t.auGenre);
  out->Line("\t\"sourceflag\":%u,\r\n", (unsigned)e->sourceflag);
  out->Line("\t\"unknown14\":%u,\r\n", (unsigned)e->unknown14);
  out->Line("\t\"icechannel\":%u,\r\n", (unsigned)e->icechannel);
  const uint8_t *u = e->unknown15;
  out->Line("\t\"unknown15\":\"0x%02x%02x%02x%02x%02x%02x\"}\r\n", u[0], u[1], u[2], u[3], u[4], u[5]);
}

}  // namespace

int EPGRecordLength(const EPGEvent *event, int form, int auFlag) {
  RecordTexts texts;
  PrepareTexts(event, form, auFlag, &texts);
  RecordSink counter = {nullptr, 0};
  WriteRecord(&counter, event, 1, form, 0, texts);
  return counter.length;
}

int EPGFormatEventRecord(const EPGEvent *event, int first, int form, uint64_t logoId, int auFlag,
                         char *buffer, int *length, int capacity) {
  if (!event || !buffer || !length || *length < 0 || *length >= capacity) return length ? *length : 0;
  RecordTexts texts;
  PrepareTexts(event, form, auFlag, &texts);
  RecordSink counter = {nullptr, 0};
  WriteRecord(&counter, event, first, form, logoId, texts);
  if (counter.length >= capacity - *length) return *length;
  RecordSink writer = {buffer, *length};
  WriteRecord(&writer, event, first, form, logoId, texts);
  *length = writer.length;
  return *length;
}
