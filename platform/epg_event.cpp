#include "platform/epg_event.h"

#include <inttypes.h>
#include <stdio.h>
#include <string.h>

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "platform/epg_genre_format.h"
#include "platform/pvr_text.h"

namespace {

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

void WriteRecord(JsonAnswer *out, const EPGEvent *e, int first, int form, uint64_t logoId,
                 const RecordTexts &t) {
  out->Printf(first ? "\t{\"eventid\":%u,\r\n" : "\t,{\"eventid\":%u,\r\n", (unsigned)e->eventid);
  out->Printf("\t\"datastatus\":%u,\r\n", (unsigned)e->datastatus);
  out->Printf("\t\"runningstatus\":%d,\r\n", (int)e->runningstatus);
  out->Printf("\t\"starttime_local\":\"%s\",\r\n", PVRDateToJSON(e->starttime, 0));
  out->Printf("\t\"endtime_local\":\"%s\",\r\n", PVRDateToJSON(e->endtime, 0));
  out->Printf("\t\"timezone\":%d,\r\n", (int)e->timezone);
  out->Printf("\t\"duration\":%u,\r\n", (unsigned)e->duration);
  out->Printf("\t\"satindex\":%u,\r\n", (unsigned)e->satindex);
  out->Printf("\t\"networkid\":%u,\r\n", (unsigned)e->networkid);
  out->Printf("\t\"tsid\":%u,\r\n", (unsigned)e->tsid);
  if (form == EPG_RECORD_SEARCH) out->Printf("\t\"logoid\":\"%016" PRIx64 "\",\r\n", logoId);
  out->Printf("\t\"serviceid\":%u,\r\n", (unsigned)e->serviceid);
  out->Printf("\t\"svctype\":%d,\r\n", (int)e->svctype);
  out->Printf("\t\"svcnum\":%d,\r\n", (int)e->svcnum);
  // The language code comes from the broadcast: escaped like every other text.
  out->Cat("\t\"lang\":");
  out->String(e->lang, (int)sizeof e->lang);
  out->Cat(",\r\n");
  out->Printf("\t\"parental\":%u,\r\n", (unsigned)e->parental);
  out->Cat("\t\"parental_text\":");
  out->String(t.parental, (int)sizeof t.parental);
  out->Cat(",\r\n");
  out->Printf("\t\"namelength\":%u,\r\n", (unsigned)e->namelength);
  out->Printf("\t\"descriptionlength\":%u,\r\n", (unsigned)e->descriptionlength);
  out->Printf("\t\"textlength\":%u,\r\n", (unsigned)e->textlength);
  out->Cat("\t\"name\":");
  out->String(t.name, (int)t.nameSize);
  out->Cat(",\r\n");
  out->Cat("\t\"description\":");
  out->String(t.description, (int)t.descriptionSize);
  out->Cat(",\r\n");
  out->Cat("\t\"text\":");
  out->String(t.text, (int)t.textSize);
  out->Cat(",\r\n");
  out->Printf("\t\"citid\":%ld,\r\n", (long)e->citid);
  out->Printf("\t\"contentidentifier\":%u,\r\n", (unsigned)e->contentidentifier);
  out->Printf("\t\"contentidentifier_hex\":\"%02x\",\r\n", (unsigned)e->contentidentifier);
  out->Cat("\t\"genre_text\":");
  out->String(t.genre, (int)sizeof t.genre);
  out->Cat(",\r\n");
  out->Printf("\t\"genre_code\":\"%02x\",\r\n", (unsigned)t.genreCode);
  out->Printf("\t\"genre_value\":%u,\r\n", (unsigned)t.genreCode);
  out->Printf("\t\"au_genre\":%u,\r\n", (unsigned)t.auGenre);
  out->Printf("\t\"sourceflag\":%u,\r\n", (unsigned)e->sourceflag);
  out->Printf("\t\"unknown14\":%u,\r\n", (unsigned)e->unknown14);
  out->Printf("\t\"icechannel\":%u,\r\n", (unsigned)e->icechannel);
  const uint8_t *u = e->unknown15;
  out->Printf("\t\"unknown15\":\"0x%02x%02x%02x%02x%02x%02x\"}\r\n", u[0], u[1], u[2], u[3], u[4], u[5]);
}

}  // namespace

int EPGFormatEventRecord(const EPGEvent *event, int first, int form, uint64_t logoId, int auFlag,
                         JsonAnswer *answer) {
  if (!event || !answer) return 0;
  RecordTexts texts;
  PrepareTexts(event, form, auFlag, &texts);
  int mark = answer->BeginRecord();
  WriteRecord(answer, event, first, form, logoId, texts);
  return answer->EndRecord(mark) ? 1 : 0;
}
