#include "webserver/api/api_language.h"

#include <stdio.h>
#include <string.h>

#include "platform/directory_stack.h"
#include "platform/tap_api.h"
#include "webserver/api/module_settings.h"
#include "webserver/core/handler_params.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/logging.h"
#include "webserver/core/static_files.h"

namespace {

enum {
  LANGUAGE_CODE_MAX = 15,   // characters of a language code
  LANGUAGE_PATH_SIZE = 640,
};

const char *const kOsdLanguages[] = {"en", "fr", "de", "it", "es", "ar", "el", "tr", "da", "sv",
                                     "no", "nl", "ru", "pl", "fa", "fi", "sk", "th", "cs", "bg"};
const char kWebRoot[] = "/ProgramFiles/Settings/Orvane/public_html";

// A code that can name a language file: 1 to 15 letters, digits, "-" or "_".
bool IsLanguageCode(const char *code, size_t length) {
  if (length == 0 || length > LANGUAGE_CODE_MAX) return false;
  for (size_t i = 0; i < length; i++) {
    char c = code[i];
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && !(c >= '0' && c <= '9') && c != '-' && c != '_') return false;
  }
  return true;
}

// Whether folder (a TAP path) holds the file; the current folder is kept.
bool FolderHolds(const char *folder, const char *name) {
  PushedDir saved;
  return HDD_ChangeDir(folder) && TAP_Hdd_Exist(name);
}

}  // namespace

const char *OsdLanguageCode(int language) {
  int count = (int)(sizeof kOsdLanguages / sizeof kOsdLanguages[0]);
  return language >= 0 && language < count ? kOsdLanguages[language] : nullptr;
}

void APILanguageGet(const char *params) {
  int osdLanguage = TAP_GetSystemVar(SYSVAR_OsdLan);
  LOGF(LOG_DETAIL, "Processing API-Language-Get request.");
  LogHandlerParams(params);
  HandlerParam lng(params, "lng"), lang(params, "lang"), module(params, "module");
  const HandlerParam &asked = lng.Given() ? lng : lang;
  const char *code = asked.Given() ? asked.Value() : OsdLanguageCode(osdLanguage);
  if (!asked.Given() && !code) {
    LOGF(LOG_DETAIL, "OSD language code %d unknown.", osdLanguage);
    NetSend404();
    return;
  }
  bool withModule = module.Given() && module.Length() > 0;
  if (asked.Failed() || module.Failed() || (withModule && !IsValidModuleName(module.Value()))) {
    NetSend404();
    return;
  }
  // A code that is no language code names no file: the English file is served.
  bool codeUsable = IsLanguageCode(code, strlen(code));
  char folder[LANGUAGE_PATH_SIZE], file[64], wanted[LANGUAGE_PATH_SIZE];
  snprintf(file, sizeof file, "language-%.15s.txt", codeUsable ? code : "");
  if (withModule) {
    snprintf(folder, sizeof folder, "%s/modules/%s/lng", kWebRoot, module.Value());
    snprintf(wanted, sizeof wanted, "/modules/%s/lng/%s", module.Value(), file);
  } else {
    snprintf(folder, sizeof folder, "%s", kWebRoot);
    snprintf(wanted, sizeof wanted, "/%s", file);
  }
  LOGF(LOG_DETAIL, "Looking for language file in '%s/%s'.", folder, file);
  if (!codeUsable || !FolderHolds(folder, file)) {
    LOGF(LOG_DETAIL, "Returning English as last resort.");
    if (withModule) {
      snprintf(wanted, sizeof wanted, "/modules/%s/lng/language-en.txt", module.Value());
    } else {
      snprintf(wanted, sizeof wanted, "/language-en.txt");
    }
  }
  NetServeFile(wanted, (int)strlen(wanted));
}
