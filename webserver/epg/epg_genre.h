// The web server's genre and parental tables: built-in defaults, overridden per menu
// language from language files, and dumped for the EPG search program.
#pragma once

#include "platform/epg_genre_format.h"

// The two-letter code of the PVR's menu language, or null when the language has none.
const char *MenuLanguageCode();
// Fill the tables: defaults, then the overrides of the menu language.
void loadParental();
void loadGenre();
// Writes "parental.epg", "genre.epg" and "genre_au.epg" for the search program.
void dumpGenreParental2File();
