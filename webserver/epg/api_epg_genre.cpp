#include "webserver/epg/api_epg_genre.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "common/json_answer.h"
#include "common/packed_date.h"
#include "common/url_params.h"
#include "platform/directory_stack.h"
#include "platform/ini_file.h"
#include "platform/pvr_text.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"
#include "webserver/epg/epg_genre.h"
#include "webserver/epg/epg_info.h"

uint8_t gEPGType;

namespace {

enum { GENRE_ANSWER_LIMIT = 64000, ECHO_SIZE = 128 };

// A language code is two letters.
bool IsLanguageCode(const char *text) { return isalpha((unsigned char)text[0]) && isalpha((unsigned char)text[1]) && !text[2]; }

// Whether the PVR's EPG marks its genres by the general table (source flag 1).
bool PvrEPGUsesGeneralGenres() {
  static EPGEvent event;
  gEPGType = 0;
  EPGInfo_FilterReset();
  EPGInfo_FilterCallback(EPGGenreCallbackFunction);
  EPGInfo_FindFirst(&event);
  EPGInfo_Free();
  return gEPGType == 1;
}

void AppendGenre(JsonAnswer *answer, int index, bool au, const char *code, bool haveFile) {
  char key[16], text[GENRE_ENTRY_SIZE], converted[4 * GENRE_ENTRY_SIZE + 1];
  const char *entry = au ? gGenreDescriptionAU[index] : gGenreDescription[index];
  int genreCode = au ? index * 16 : index;
  snprintf(key, sizeof key, au ? "%s_au_%02X" : "%s_%02X", code, genreCode);
  if (!haveFile || !INIGetString(key, text, entry, sizeof text)) snprintf(text, sizeof text, "%.*s", GENRE_ENTRY_SIZE - 1, entry);
  StrToUTF8(text, converted, gDefaultCharacterSet);
  int mark = answer->BeginRecord();
  if (index > 0) answer->Cat(",\r\n");
  answer->Printf("\t{\"genre_code\":\"%02x\", \"genre_value\":%d, \"genre_text\":", genreCode, genreCode);
  answer->String(converted, (int)sizeof converted);
  answer->Cat("}");
  answer->EndRecord(mark);
}

}  // namespace

int EPGGenreCallbackFunction(EPGEvent *event) {
  gEPGType = event->sourceflag;
  EPGInfo_AbortLoad();
  return 1;
}

void APIEPGgenre(const char *params) {
  LOGF(LOG_DETAIL, "Processing API-EPG-Genre.");
  parseParams(params ? params : "", 1);
  const char *returned = "etsi";
  enum { AUTO, AU, ETSI } mode = AUTO;
  char language[3] = "";
  const char *menu = MenuLanguageCode();
  if (menu) memcpy(language, menu, 2);
  if (gCommand.genreSourceSet && strcmp(gCommand.genreSource, "au") == 0) {
    mode = AU;
    returned = "au";
  } else if (gCommand.genreSourceSet && strcmp(gCommand.genreSource, "etsi") == 0) {
    mode = ETSI;
  }
  if (gCommand.languageSet && IsLanguageCode(gCommand.language)) memcpy(language, gCommand.language, 2);
  if (mode == AUTO && gAUFirmwareFlag) {
    mode = AU;
    returned = "au";
    if (gEPGSource == 0 && PvrEPGUsesGeneralGenres()) {
      mode = ETSI;
      returned = "etsi";
    }
  }
  bool au = mode == AU;
  int count = au ? GENRE_AU_ENTRIES : GENRE_ENTRIES;
  LOGF(LOG_OPERATIONAL, "Listing genres for '%s'.", returned);

  JsonAnswer answer(GENRE_ANSWER_LIMIT);
  if (!answer.Ok()) {
    LOGF(LOG_OPERATIONAL, "Insufficient free RAM to allocate JSON response buffer.");
    return;
  }
  answer.Cat("{\"content\":\"epg_genre\",\r\n");
  answer.Cat("\"requested_source\":");
  answer.String(gCommand.genreSourceSet ? gCommand.genreSource : "", ECHO_SIZE);
  answer.Printf(",\r\n\"returned_source\":\"%s\",\r\n", returned);
  answer.Cat("\"requested_language\":");
  answer.String(gCommand.languageSet ? gCommand.language : "", ECHO_SIZE);
  answer.Cat(",\r\n\"genres\":\r\n\t[\r\n");
  int written = 0;
  {
    PushedDir saved;
    bool haveFile = saved.ok() && language[0] && HDD_ChangeDir("/ProgramFiles/Settings") &&
                    INIOpenFile("epg-genre-descriptions.lng", "Orvane") >= INILOCATION_AtCurrentDir;
    for (int i = 0; i < count && !answer.Full(); i++) {
      AppendGenre(&answer, i, au, language, haveFile);
      if (!answer.Full()) written++;
    }
    INICloseFile();
  }
  answer.Printf("\r\n\t],\r\n\"timestamp\":\"%s\"}\r\n", PVRDateToJSON(0, 0));
  answer.InsertPrintf(1, "\"count\":%d,\r\n", written);
  LOGF(LOG_NETWORK, "Sending EPG-Genre response.");
  NetHTTPRespond(answer.Data(), answer.Length(), "application/json", 0);
}
