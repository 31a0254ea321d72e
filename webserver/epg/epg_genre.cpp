#include "webserver/epg/epg_genre.h"

#include <stdio.h>
#include <string.h>

#include "platform/directory_stack.h"
#include "platform/ini_file.h"
#include "platform/tap_api.h"
#include "webserver/core/logging.h"

namespace {

const char *const kLanguageCodes[] = {"en", "fr", "de", "it", "es", "ar", "el", "tr", "da", "sv",
                                      "no", "nl", "ru", "pl", "fa", "fi", "sk", "th", "cs", "bg"};

const char *const kParentalDefaults[PARENTAL_ENTRIES] = {
    "", "1", "2", "3", "4", "5", "6", "C", "8", "G", "10", "PG", "PG", "M", "14", "MA", "16", "AV", "R", "19", "20", "21"};

const char *const kGenreAUDefaults[GENRE_AU_ENTRIES] = {
    "",        "Movie",   "News",    "Entertainment", "Sport", "Children's", "Music", "Arts/Culture",
    "Current Affairs", "Education/Information", "Infotainment", "Special", "Comedy", "Drama",
    "Documentary", "AU Genre F0"};

struct NamedGenre {
  unsigned char index;
  const char *name;
};

constexpr NamedGenre kGenreNames[] = {
    {0x10, "Movie/Drama"}, {0x11, "Detective/Thriller"}, {0x12, "Adventure/Western/War"},
    {0x13, "Science Fiction/Fantasy/Horror"}, {0x14, "Comedy"}, {0x15, "Soap/Melodrama/Folkloric"},
    {0x16, "Romance"}, {0x17, "Serious/Classical/Religious/Historical Movie/Drama"}, {0x18, "Adult Movie/Drama"},
    {0x20, "News/Current Affairs"}, {0x21, "News/Weather Report"}, {0x22, "News Magazine"},
    {0x23, "Documentary"}, {0x24, "Discussion/Interview/Debate"},
    {0x30, "Show/Game Show"}, {0x31, "Game Show/Quiz/Contest"}, {0x32, "Variety Show"}, {0x33, "Talk Show"},
    {0x40, "Sports"}, {0x41, "Special Events"}, {0x42, "Sports Magazines"}, {0x43, "Football/Soccer"},
    {0x44, "Tennis/Squash"}, {0x45, "Team Sports"}, {0x46, "Athletics"}, {0x47, "Motor Sport"},
    {0x48, "Water Sport"}, {0x49, "Winter Sports"}, {0x4A, "Equestrian"}, {0x4B, "Martial Sports"},
    {0x50, "Children's/Youth Programmes"}, {0x51, "Pre-School Children's Programmes"},
    {0x52, "Entertainment Programmes For 6 To 14"}, {0x53, "Entertainment Programmes For 10 To 16"},
    {0x54, "Informational/Educational/School Programmes"}, {0x55, "Cartoons/Puppets"},
    {0x60, "Music/Ballet/Dance"}, {0x61, "Rock/Pop"}, {0x62, "Serious Music/Classical Music"},
    {0x63, "Folk/Traditional Music"}, {0x64, "Jazz"}, {0x65, "Musical/Opera"}, {0x66, "Ballet"},
    {0x70, "Arts/Culture"}, {0x71, "Performing Arts"}, {0x72, "Fine Arts"}, {0x73, "Religion"},
    {0x74, "Popular Culture/Traditional Arts"}, {0x75, "Literature"}, {0x76, "Film/Cinema"},
    {0x77, "Experimental Film/Video"}, {0x78, "Broadcasting/Press"}, {0x79, "New Media"},
    {0x7A, "Arts/Culture Magazines"}, {0x7B, "Fashion"},
    {0x80, "Social/Political Issues/Economics"}, {0x81, "Magazines/Reports/Documentary"},
    {0x82, "Economics/Social Advisory"}, {0x83, "Remarkable People"},
    {0x90, "Education/Science/Factual Topics"}, {0x91, "Nature/Animals/Environment"},
    {0x92, "Technology/Natural Sciences"}, {0x93, "Medicine/Physiology/Psychology"},
    {0x94, "Foreign Countries/Expeditions"}, {0x95, "Social/Spiritual Sciences"},
    {0x96, "Further Education"}, {0x97, "Languages"},
    {0xA0, "Leisure Hobbies"}, {0xA1, "Tourism/Travel"}, {0xA2, "Handicraft"}, {0xA3, "Motoring"},
    {0xA4, "Fitness And Health"}, {0xA5, "Cooking"}, {0xA6, "Advertisement/Shopping"}, {0xA7, "Gardening"},
    {0xB0, "Original Language"}, {0xB1, "Black And White"}, {0xB2, "Unpublished"}, {0xB3, "Live Broadcast"},
};

void SetEntry(char *entry, size_t size, const char *text) {
  memset(entry, 0, size);
  snprintf(entry, size, "%s", text);
}

// Opens the language file as the settings locator finds it from "/ProgramFiles/Settings"
// with the application folder "Orvane"; false when there is none.
bool OpenLanguageFile(const char *name) {
  if (!HDD_ChangeDir("/ProgramFiles/Settings")) return false;
  return INIOpenFile(name, "Orvane") >= INILOCATION_AtCurrentDir;
}

struct DumpFile {
  const char *name, *what;
  const void *table;
  dword size;
};

}  // namespace

const char *MenuLanguageCode() {
  int language = TAP_GetSystemVar(SYSVAR_OsdLan);
  if (language < 0 || language >= (int)(sizeof kLanguageCodes / sizeof *kLanguageCodes)) return nullptr;
  return kLanguageCodes[language];
}

void loadParental() {
  for (int i = 0; i < PARENTAL_ENTRIES; i++) SetEntry(gParental[i], PARENTAL_ENTRY_SIZE, kParentalDefaults[i]);
  const char *code = MenuLanguageCode();
  if (!code) return;
  PushedDir saved;
  if (saved.ok() && OpenLanguageFile("epg-parental.lng")) {
    for (int i = 0; i < PARENTAL_ENTRIES; i++) {
      char key[16], value[PARENTAL_ENTRY_SIZE];
      snprintf(key, sizeof key, "%s_%03d", code, i);
      INIGetString(key, value, gParental[i], sizeof value);
      SetEntry(gParental[i], PARENTAL_ENTRY_SIZE, value);
    }
  }
  INICloseFile();
}

void loadGenre() {
  for (int i = 0; i < GENRE_ENTRIES; i++) {
    char text[16] = "";
    if (i) snprintf(text, sizeof text, "Genre %02X", i);
    SetEntry(gGenreDescription[i], GENRE_ENTRY_SIZE, text);
  }
  for (const NamedGenre &genre : kGenreNames) SetEntry(gGenreDescription[genre.index], GENRE_ENTRY_SIZE, genre.name);
  for (int i = 0; i < GENRE_AU_ENTRIES; i++) SetEntry(gGenreDescriptionAU[i], GENRE_ENTRY_SIZE, kGenreAUDefaults[i]);

  const char *code = MenuLanguageCode();
  if (!code) return;
  PushedDir saved;
  if (saved.ok() && OpenLanguageFile("epg-genre-descriptions.lng")) {
    char key[16], value[GENRE_ENTRY_SIZE];
    for (int i = 0; i < GENRE_ENTRIES; i++) {
      snprintf(key, sizeof key, "%s_%02X", code, i);
      // A key with an empty value empties the entry; an absent key keeps it.
      if (INIFindKey(INIBuffer, key)) {
        INIGetString(key, value, "", sizeof value);
        SetEntry(gGenreDescription[i], GENRE_ENTRY_SIZE, value);
      }
    }
    for (int i = 0; i < GENRE_AU_ENTRIES; i++) {
      snprintf(key, sizeof key, "%s_au_%02X", code, i * 16);
      if (INIGetString(key, value, "", sizeof value)) SetEntry(gGenreDescriptionAU[i], GENRE_ENTRY_SIZE, value);
    }
  }
  INICloseFile();
}

void dumpGenreParental2File() {
  static const DumpFile kDumps[] = {
      {"parental.epg", "parental", gParental, PARENTAL_DUMP_SIZE},
      {"genre.epg", "ETSI genre", gGenreDescription, GENRE_DUMP_SIZE},
      {"genre_au.epg", "AU genre", gGenreDescriptionAU, GENRE_AU_DUMP_SIZE},
  };
  LOGF(LOG_DETAIL, "Dumping parental and genre descriptions to file.");
  PushedDir saved;
  if (!HDD_ChangeDir("/ProgramFiles/Settings/Orvane")) {
    LOGF(LOG_OPERATIONAL, "Unable to change to '/ProgramFiles/Settings/Orvane'.");
    return;
  }
  for (const DumpFile &dump : kDumps) {
    if (TAP_Hdd_Exist(dump.name)) TAP_Hdd_Delete(dump.name);
    TAP_Hdd_Create(dump.name, ATTR_NORMAL);
  }
  for (const DumpFile &dump : kDumps) {
    LOGF(LOG_DETAIL, "Dumping %s descriptions to file.", dump.what);
    TYPE_File *file = TAP_Hdd_Fopen(dump.name);
    if (!file) {
      LOGF(LOG_OPERATIONAL, "Unable to open '/ProgramFiles/Settings/Orvane/%s'.", dump.name);
      return;
    }
    dword written = TAP_Hdd_Fwrite(dump.table, 1, dump.size, file);
    TAP_Hdd_Fclose(file);
    if (written != dump.size) {
      LOGF(LOG_OPERATIONAL, "Unable to write '/ProgramFiles/Settings/Orvane/%s'.", dump.name);
      return;
    }
  }
}
