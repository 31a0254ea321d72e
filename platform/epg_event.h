// The EPG event as the web server and the EPG search program hold it, and its JSON record.
// Nothing here uses the TAP API: it belongs to the support library that skimlet links too.
#pragma once

#include <stdint.h>

class JsonAnswer;

enum {
  EPG_LANG_SIZE = 4,
  EPG_NAME_SIZE = 256,
  EPG_DESCRIPTION_SIZE = 256,
  EPG_TEXT_SIZE = 8194,
  EPG_UNKNOWN15_SIZE = 6,
};

// One EPG event. Texts are zero-terminated inside their fields.
struct EPGEvent {
  uint16_t eventid;
  uint8_t datastatus;
  int32_t runningstatus;
  uint32_t starttime;   // local packed date
  uint32_t endtime;     // local packed date
  int16_t timezone;     // minutes between UTC and local time
  uint16_t duration;    // minutes
  uint16_t satindex;
  uint16_t networkid;
  uint16_t tsid;
  uint16_t serviceid;
  int32_t svctype;      // -1 when unknown
  int32_t svcnum;       // -1 when unknown
  char lang[EPG_LANG_SIZE];
  uint8_t parental;
  uint8_t namelength;
  uint8_t descriptionlength;
  uint16_t textlength;
  char name[EPG_NAME_SIZE];
  char description[EPG_DESCRIPTION_SIZE];
  char text[EPG_TEXT_SIZE];
  int32_t citid;
  uint8_t contentidentifier;
  uint8_t sourceflag;
  uint16_t unknown14;
  uint16_t icechannel;
  uint8_t unknown15[EPG_UNKNOWN15_SIZE];
};

// The two forms of the record: the web server's converts name, description and text to
// UTF-8 first; the search program's holds them as UTF-8 already and adds "logoid".
enum EPGRecordForm {
  EPG_RECORD_SERVER = 0,
  EPG_RECORD_SEARCH = 1,
};

// Bytes a record takes at most besides its three texts (numbers, dates, the language code
// and the parental and genre descriptions in UTF-8, escaped).
enum { EPG_RECORD_FIXED_MAX = 4096 };
// Bytes a search-form record takes at most: its texts are UTF-8 already and escaping at
// most doubles them.
enum { EPG_SEARCH_RECORD_MAX = EPG_RECORD_FIXED_MAX + 2 * (EPG_NAME_SIZE + EPG_DESCRIPTION_SIZE + EPG_TEXT_SIZE) };

// Appends one record (each line a tab, the member and CR LF) to the answer as a record of
// the answer builder: all of it or, when it does not fit, nothing (the answer is then
// full). The first record of an array opens with "{", every later one with ",{". logoId is
// printed only in the search form. auFlag selects the genre table as the genre lookup
// does. Returns 1 when the record was appended.
int EPGFormatEventRecord(const EPGEvent *event, int first, int form, uint64_t logoId, int auFlag,
                         JsonAnswer *answer);
