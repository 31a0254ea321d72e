#include "search/matching.h"

#include <limits.h>
#include <string.h>

#include "common/hex_text.h"
#include "common/json_answer.h"
#include "platform/byte_order.h"
#include "platform/epg_event.h"
#include "search/result_delivery.h"
#include "search/search_definitions.h"

namespace {

// HTML 4 names of the ISO 8859-1 characters 160 to 255, in code order.
constexpr const char *kLatin1Entities[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",
    "uml",    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",
    "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",  "para",   "middot",
    "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest",
    "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
    "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",
    "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",
    "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",
    "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
    "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

enum { ENTITY_NAME_MAX = 63 };

// The value a reference name (without "&" and ";") stands for, or -1.
int EntityValue(const char *name, size_t length) {
  if (length == 0) return -1;
  if (name[0] == '#') {
    size_t i = 1;
    int base = 10;
    if (i < length && (name[i] == 'x' || name[i] == 'X')) {
      base = 16;
      i++;
    }
    if (i >= length) return -1;
    long value = 0;
    for (; i < length; i++) {
      int digit = base == 16 ? HexDigitValue((unsigned char)name[i]) : (name[i] >= '0' && name[i] <= '9' ? name[i] - '0' : -1);
      if (digit < 0) return -1;
      value = value * base + digit;
      if (value > 0xFFFF) value = 0xFFFF;   // far outside any accepted value; no overflow
    }
    return (int)value;
  }
  struct Named {
    const char *name;
    int value;
  };
  static constexpr Named kBasic[] = {{"quot", 34}, {"amp", 38}, {"lt", 60}, {"gt", 62}};
  for (const Named &n : kBasic) {
    if (strlen(n.name) == length && memcmp(n.name, name, length) == 0) return n.value;
  }
  for (int i = 0; i < 96; i++) {
    if (strlen(kLatin1Entities[i]) == length && memcmp(kLatin1Entities[i], name, length) == 0) return 160 + i;
  }
  return -1;
}

// The three texts of the event being tested as subjects: HTML-decoded (or the field itself
// when it holds no ampersand), made once when a pattern first needs them.
struct Subject {
  const char *text;
  size_t length;
  int ready;
  char area[HTML_DECODE_SIZE];
};
Subject gSubjects[FIELD_COUNT];

const Subject &SubjectOf(int field, const char *text, size_t size) {
  Subject &s = gSubjects[field];
  if (s.ready) return s;
  size_t n = strnlen(text, size);
  if (n < size && n < HTML_DECODE_SIZE && !memchr(text, '&', n)) {
    s.text = text;
    s.length = n;
  } else {
    static char copy[EPG_TEXT_SIZE + 1];
    if (n >= sizeof copy) n = sizeof copy - 1;
    memcpy(copy, text, n);
    copy[n] = '\0';
    s.length = htmlDecode(copy, s.area, HTML_DECODE_SIZE);
    s.text = s.area;
  }
  s.ready = 1;
  return s;
}

int Run(pcre2_code *code, pcre2_match_data *data, int jit, const Subject &s) {
  if (jit) return pcre2_jit_match(code, (PCRE2_SPTR)s.text, s.length, 0, 0, data, nullptr);
  return pcre2_match(code, (PCRE2_SPTR)s.text, s.length, 0, 0, data, nullptr);
}

// Whether the text matches in one field of the event. A subject shorter than anything the
// pattern can match is not handed to the matcher at all.
bool MatchesField(SearchText *t, int field, const char *text, size_t size) {
  if (!t->code || !t->matchData) return false;
  const Subject &s = SubjectOf(field, text, size);
  if (s.length < t->minLength) return false;
  return Run(t->code, t->matchData, t->jit, s) >= 0;
}

// The checks of one definition in order of cost; -1 when one fails, else the score.
int Score(SearchDefinition *d, const SkimletEvent *se) {
  const EPGEvent &e = se->event;
  if (d->minLength != 0 && e.duration < d->minLength) return -1;
  if (d->maxLength != 0 && e.duration > d->maxLength) return -1;

  if (d->dateRangeActive) {
    if (d->startDate != 0 && (e.starttime & 0xFFFF0000u) < d->startDate) return -1;
    if (d->endDate != 0 && (e.endtime & 0xFFFF0000u) > d->endDate) return -1;
  }

  if (d->timeWindowActive) {
    int t = (int)((e.starttime >> 8) & 0xFF) * 60 + (int)(e.starttime & 0xFF);
    // A window that wraps past midnight runs from the start to the end on the next day:
    // times of day before the start belong to the next day.
    if (d->windowWraps && t < d->startMinutes) t += 1440;
    if (d->startMinutes != 0 && t < d->startMinutes) return -1;
    if (d->endMinutes != 0 && t > d->endMinutes) return -1;
  }

  if (d->weekdays != 254 && d->weekdays != 255) {
    if (!(d->weekdays & (1u << ExtractWeekDay(e.starttime)))) return -1;
  }

  if (d->genreActive && e.contentidentifier != 0) {
    uint8_t c = e.contentidentifier;
    uint8_t index = se->source == SOURCE_SMARTEPG ? c : (uint8_t)(c << 4 | c >> 4);
    if (!d->genres[index]) return -1;
  }

  if (d->channelCount > 0) {
    bool found = false;
    for (int i = 0; i < d->channelCount && !found; i++) found = d->channels[i] == se->channelId;
    if (!found) return -1;
  }

  // Weights are the user's numbers: their sum is kept wide and then held to an int.
  long long score = 0;
  for (int i = 0; i < d->textCount; i++) {
    SearchText *t = &d->texts[i];
    t->matched = 0;
    if (t->inName && MatchesField(t, FIELD_NAME, e.name, sizeof e.name)) t->matched = t->weight;
    if (t->inDescription && !t->matched && MatchesField(t, FIELD_DESCRIPTION, e.description, sizeof e.description)) {
      t->matched = t->weight;
    }
    if (t->inText && !t->matched && MatchesField(t, FIELD_TEXT, e.text, sizeof e.text)) t->matched = t->weight;
    score += t->matched;
  }
  if (score > INT_MAX) return INT_MAX;
  if (score < INT_MIN) return INT_MIN;
  return (int)score;
}

void PutField(uint8_t *out, size_t at, const void *field, size_t fieldSize, size_t size) {
  size_t n = fieldSize < size ? fieldSize : size;
  memcpy(out + at, field, n);
}

// A text field: the text up to its NUL (the rest of the field stays zero), kept
// terminated within size.
void PutText(uint8_t *out, size_t at, const char *text, size_t fieldSize, size_t size) {
  size_t limit = fieldSize < size ? fieldSize : size;
  memcpy(out + at, text, strnlen(text, limit - 1));
}

}  // namespace

int ExtractWeekDay(uint32_t date) { return (int)(((date >> 16) + 2) % 7) + 1; }

size_t htmlDecode(const char *in, char *out, size_t size) {
  if (!out || size == 0) return 0;
  size_t o = 0;
  size_t i = 0;
  while (in && in[i] && o + 1 < size) {
    if (in[i] == '&') {
      size_t j = i + 1;
      while (j - i - 1 < ENTITY_NAME_MAX && in[j] && in[j] != ';' && in[j] != '&') j++;
      if (in[j] == ';') {
        int value = EntityValue(in + i + 1, j - i - 1);
        if (value >= 32 && value <= 254) {
          out[o++] = (char)value;
          i = j + 1;
          continue;
        }
      }
    }
    out[o++] = in[i++];
  }
  out[o] = '\0';
  return o;
}

int testMatching(SkimletEvent *event) {
  for (Subject &s : gSubjects) s.ready = 0;
  int best = 0;
  for (int i = 0; i < gSearchCount; i++) {
    SearchDefinition *d = &gSearchList[i];
    d->score = 0;
    int score = Score(d, event);
    if (score < 0) continue;
    d->score = score;
    if (score >= CLAIM_SCORE) {
      event->definition = i;
      memcpy(event->definitionName, d->name, sizeof event->definitionName);
      event->definitionName[sizeof event->definitionName - 1] = '\0';
      gResultsCount++;
      saveResult(event);
      return score;
    }
    if (score > best) best = score;
  }
  return best;
}

void packResultRecord(const SkimletEvent *se, uint8_t out[RESULT_RECORD_SIZE]) {
  const EPGEvent &e = se->event;
  memset(out, 0, RESULT_RECORD_SIZE);
  PutLE32(out + 0, (uint32_t)se->source);
  PutLE32(out + 8, (uint32_t)se->channelId);
  PutLE32(out + 12, (uint32_t)(se->channelId >> 32));
  PutLE32(out + 16, (uint32_t)se->definition);
  PutText(out, 20, se->definitionName, sizeof se->definitionName, 256);
  PutLE16(out + 276, e.eventid);
  out[278] = e.datastatus;
  PutLE32(out + 280, (uint32_t)e.runningstatus);
  PutLE32(out + 284, e.starttime);
  PutLE32(out + 288, e.endtime);
  PutLE16(out + 292, (uint16_t)e.timezone);
  PutLE16(out + 294, e.duration);
  PutLE16(out + 296, e.satindex);
  PutLE16(out + 298, e.networkid);
  PutLE16(out + 300, e.tsid);
  PutLE16(out + 302, e.serviceid);
  PutLE32(out + 304, (uint32_t)e.svctype);
  PutLE32(out + 308, (uint32_t)e.svcnum);
  PutText(out, 312, e.lang, sizeof e.lang, 4);
  out[316] = e.parental;
  out[317] = e.namelength;
  out[318] = e.descriptionlength;
  PutLE16(out + 320, e.textlength);
  PutText(out, 322, e.name, sizeof e.name, 256);
  PutText(out, 578, e.description, sizeof e.description, 256);
  PutText(out, 834, e.text, sizeof e.text, 8194);
  PutLE32(out + 9028, (uint32_t)e.citid);
  out[9032] = e.contentidentifier;
  out[9033] = e.sourceflag;
  PutLE16(out + 9034, e.unknown14);
  PutLE16(out + 9036, e.icechannel);
  PutField(out, 9038, e.unknown15, sizeof e.unknown15, 6);
}

void saveResult(SkimletEvent *event) {
  if (gResultsPort == 0) {
    static uint8_t record[RESULT_RECORD_SIZE];
    packResultRecord(event, record);
    if (resultsFile) fwrite(record, 1, sizeof record, resultsFile);
    return;
  }
  // A search-form record always fits: its texts are bounded by their fields.
  JsonAnswer record(EPG_SEARCH_RECORD_MAX + JSON_ANSWER_TAIL);
  if (EPGFormatEventRecord(&event->event, gResultsCount == 1, EPG_RECORD_SEARCH, event->channelId, gAUFirmwareFlag,
                           &record)) {
    SendSocket(record.Data(), (size_t)record.Length());
  } else {
    PrintLine(" ERROR - Unable to allocate memory for a result record.");
  }
}
