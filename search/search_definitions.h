// Search definitions: what a user looks for, read from a definitions file or from the
// request received on the results port; and the genre and parental tables that the web
// server dumped.
#pragma once

#include <stdint.h>
#include <stdio.h>

#ifndef PCRE2_CODE_UNIT_WIDTH
#define PCRE2_CODE_UNIT_WIDTH 8
#endif
#include <pcre2.h>

enum {
  SEARCH_TEXT_SIZE = 256,
  SEARCH_REGEX_SIZE = 2 * SEARCH_TEXT_SIZE,   // a wildcard pattern at most doubles
  SEARCH_LINE_SIZE = 1024,
  SEARCH_VALUE_COLUMN = 18,                   // keys are padded with spaces to this column
  SEARCH_WEEKDAYS_EVERY_DAY = 255,
};

// Key codes of parseSearchLine.
enum {
  KEY_OTHER = 0,
  KEY_NAME = 1,
  KEY_SEARCH = 2,
  KEY_CHANNELID = 4,
  KEY_STARTTIME = 5,
  KEY_ENDTIME = 6,
  KEY_MAXLENGTH = 7,
  KEY_MINLENGTH = 8,
  KEY_STARTDATE = 9,
  KEY_ENDDATE = 10,
  KEY_WEEKDAYS = 11,
  KEY_ID = 12,
  KEY_GENRE = 13,
  KEY_RECORDINGMODE = 14,
  KEY_SEARCHCOUNT = 17,
  KEY_TEXTCOUNT = 18,
  KEY_CHANNELCOUNT = 19,
  KEY_SHOWPROGRESS = 20,
};

struct SearchText {
  char text[SEARCH_TEXT_SIZE];   // the pattern as given
  int weight;
  int inName, inDescription, inText;
  int genreFlag;                 // type "G"; not used in matching
  pcre2_code *code;              // null when the pattern does not compile: never matches
  pcre2_match_data *matchData;
  int jit;                       // compiled to machine code: matched through the fast entry
  uint32_t minLength;            // shortest subject the pattern can match
  int matched;                   // the weight if it matched the current event, else 0
};

struct SearchDefinition {
  char name[SEARCH_TEXT_SIZE];
  int textCount;
  int textCapacity;
  SearchText *texts;
  int channelCount;              // 0: any channel
  int channelCapacity;
  uint64_t *channels;
  uint16_t startTimeRaw, endTimeRaw;
  int startMinutes, endMinutes;  // after midnight; 0: no bound
  int windowWraps;               // the end lies on the next day
  int timeWindowActive;
  uint32_t startDate, endDate;   // MJD << 16; 0: no bound
  int dateRangeActive;
  int minLength, maxLength;      // minutes; 0: no bound
  uint8_t weekdays;              // bit d for weekday d (1 Monday .. 7 Sunday); 254, 255: every day
  int genreActive;
  uint8_t genres[256];           // 1 at each accepted genre code
  int score;
};

extern SearchDefinition *gSearchList;
extern int gSearchCount;

// The event texts a pattern can search.
enum { FIELD_NAME = 0, FIELD_DESCRIPTION = 1, FIELD_TEXT = 2, FIELD_COUNT = 3 };

// Loads the definitions from the received request (fromRequest non-zero) or from
// gSearchFileName. Returns their number, 0 on failure, -1 when a definition's arrays
// cannot be made.
int loadSearch(int fromRequest);
// Frees every definition, its patterns and arrays.
void freeSearches();

// The key code of a line; with strip set, up to two trailing CR/LF are removed first.
int parseSearchLine(char *line, int strip);
// The value of a line: the text from its 19th character, empty for shorter lines.
const char *searchLineValue(const char *line);

// Definitions in a file: "Name:" lines less the dropped ones ("RecordingMode:" 1), and the
// "ChannelID:" and "Search:" lines up to the next "Name:". Both keep the file position.
int countSearches(FILE *file);
void countSizes(FILE *file, int *channels, int *texts);

// Reads one line of a definitions file (lines end at CR, LF or both) into line; the part
// of a longer line that does not fit is skipped. Returns 0 at the end of the file.
int readSearchLine(FILE *file, char *line, size_t size);

// Converts a pattern into a PCRE2 expression (size bytes of regex). Returns 1 when the
// pattern was a /regular expression/, 0 when it was a wildcard pattern.
int makeRegexText(const char *pattern, char *regex, size_t size);

// Reads "parental.epg", "genre.epg" and "genre_au.epg". 0, or -1/-2/-3 for the file that
// could not be opened.
int loadParentalGenre();
