// The genre and parental description tables as both the web server and the EPG search
// program hold them, their dump files, and the genre lookup. Nothing here uses the TAP
// API: the web server fills the tables from its defaults and language files and writes
// the dumps (webserver/epg/epg_genre.h), the search program reads the dumps.
#pragma once

#include <stdint.h>

enum {
  PARENTAL_ENTRIES = 22,
  PARENTAL_ENTRY_SIZE = 16,
  GENRE_ENTRIES = 256,
  GENRE_AU_ENTRIES = 16,
  GENRE_ENTRY_SIZE = 128,
  PARENTAL_DUMP_SIZE = PARENTAL_ENTRIES * PARENTAL_ENTRY_SIZE,   // 352 bytes
  GENRE_DUMP_SIZE = GENRE_ENTRIES * GENRE_ENTRY_SIZE,            // 32768 bytes
  GENRE_AU_DUMP_SIZE = GENRE_AU_ENTRIES * GENRE_ENTRY_SIZE,      // 2048 bytes
};

// Each entry is a zero-terminated text padded with zeros; a dump file is the table as it
// lies here, entries in index order, no header.
extern char gParental[PARENTAL_ENTRIES][PARENTAL_ENTRY_SIZE];
extern char gGenreDescription[GENRE_ENTRIES][GENRE_ENTRY_SIZE];
extern char gGenreDescriptionAU[GENRE_AU_ENTRIES][GENRE_ENTRY_SIZE];

// The dump files, as paths of the PVR's Linux file system.
#define PARENTAL_DUMP_PATH "/mnt/hd/ProgramFiles/Settings/Orvane/parental.epg"
#define GENRE_DUMP_PATH "/mnt/hd/ProgramFiles/Settings/Orvane/genre.epg"
#define GENRE_AU_DUMP_PATH "/mnt/hd/ProgramFiles/Settings/Orvane/genre_au.epg"

// Lookup modes.
enum {
  GENRE_MODE_AUTO = 0,   // the AU table when auFlag is set and sourceflag is 0
  GENRE_MODE_AU = 2,     // always the AU table
};

// Finds the description of a DVB content byte. text receives the entry (at least
// GENRE_ENTRY_SIZE bytes), auMarker 1 when the AU table was used (else 0), code the genre
// code (AU: AU index × 16; general: the table index). auMarker and code may be null.
void FindGenreDescription(int auFlag, int mode, uint8_t content, uint8_t sourceflag, char *text,
                          uint8_t *auMarker, uint8_t *code);

// Makes sure every entry of the three tables ends within its size (after a table was
// filled from a file).
void TerminateGenreTables();
