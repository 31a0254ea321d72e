#include "config/config_settings.h"

#include <stdio.h>
#include <string.h>

#include "common/base64.h"
#include "platform/directory_stack.h"
#include "platform/ini_file.h"

ConfigSettings gConfig;

namespace {

const char kAppFolder[] = "Orvane";
const char kSettingsDir[] = "/ProgramFiles/Settings";
const char kAppDir[] = "/ProgramFiles/Settings/Orvane";

// Copies text into a field of size bytes, always terminated.
void CopyField(char *field, size_t size, const char *text, size_t length) {
  if (length >= size) length = size - 1;
  memcpy(field, text, length);
  field[length] = '\0';
}

// Splits decoded credentials at their first colon: the password may hold colons and blanks.
void SplitCredentials(const char *decoded, ConfigSettings *settings) {
  const char *colon = strchr(decoded, ':');
  size_t userLength = colon ? (size_t)(colon - decoded) : strlen(decoded);
  CopyField(settings->userName, sizeof settings->userName, decoded, userLength);
  const char *password = colon ? colon + 1 : "";
  CopyField(settings->password, sizeof settings->password, password, strlen(password));
}

void LoadOrvaneIni(ConfigSettings *settings) {
  settings->port = INIGetInt("port", 8000, 1, 65535);
  settings->loggingLevel = INIGetInt("logginglevel", 0, 0, 3);
  settings->epgSource = INIGetInt("epgsource", 0, 0, 1);
  settings->authentication = INIGetInt("authentication", 1, 0, 2);
  settings->noAutoLogos = INIGetInt("noautologos", 0, 0, 1);
  settings->cacheControl = INIGetInt("cachecontrol", 1, 0, 511);
  // "searchport" after "port": the reader matches "port=" inside "searchport=" too, so
  // "port" must come first in the file; the writer keeps it there.
  settings->searchPort = INIGetInt("searchport", 8800, 1, 65535);
  settings->epgCache = INIGetInt("epgcache", 0, 0, 10);
  char token[CONFIG_BASE64_SIZE];
  INIGetString("credentials", token, "", sizeof token);
  char decoded[CONFIG_BASE64_SIZE];
  int n = token[0] ? b64decode(token, decoded, (int)sizeof decoded - 1) : 0;
  decoded[n > 0 ? n : 0] = '\0';
  SplitCredentials(decoded, settings);
}

}  // namespace

void ConfigDefaults(ConfigSettings *settings) {
  memset(settings, 0, sizeof *settings);
  settings->port = 8000;
  settings->authentication = 1;
  settings->cacheControl = 1;
  settings->searchPort = 8800;
}

int ConfigCredentialsToken(const char *userName, const char *password, char *out, size_t size) {
  char plain[2 * CONFIG_CREDENTIAL_SIZE + 2];
  int n = snprintf(plain, sizeof plain, "%s:%s", userName, password);
  if (n < 0 || (size_t)n >= sizeof plain || size < (size_t)(4 * ((n + 2) / 3) + 1)) return 0;
  b64encode(plain, out, n);
  return 1;
}

int loadINISettings(ConfigSettings *settings) {
  ConfigDefaults(settings);
  int rebuild = 0;
  {
    PushedDir saved;
    if (saved.ok() && HDD_ChangeDir(kSettingsDir) && INIOpenFile("PVRName.ini", kAppFolder) >= INILOCATION_AtCurrentDir) {
      INIGetString("pvrname", settings->pvrName, "", sizeof settings->pvrName);
    }
    INICloseFile();
  }
  PushedDir saved;
  if (saved.ok() && HDD_ChangeDir(kAppDir) && INIOpenFile("Orvane.ini", kAppFolder) >= INILOCATION_AtCurrentDir) {
    LoadOrvaneIni(settings);
    if (INIGetInt("rebuildlogos", 0, 0, 1) == 1) {
      rebuild = 1;
      while (INIKillKey("rebuildlogos")) {
      }
      INISaveFile("Orvane.ini", INILOCATION_AtCurrentDir, kAppFolder);
    }
  }
  INICloseFile();
  return rebuild;
}

int saveINISettings(const ConfigSettings *settings) {
  bool noUser = !settings->userName[0], noPassword = !settings->password[0];
  if (settings->authentication > 0 && (noUser || noPassword)) return CONFIG_NEEDS_CREDENTIALS;
  if (strchr(settings->userName, ':')) return CONFIG_USER_HAS_COLON;
  char token[CONFIG_BASE64_SIZE] = "";
  if (!(noUser && noPassword) &&
      (!ConfigCredentialsToken(settings->userName, settings->password, token, sizeof token) ||
       strlen(token) > CONFIG_CREDENTIALS_MAX)) {
    return CONFIG_CREDENTIALS_TOO_LONG;
  }

  int ok = 0;
  {
    PushedDir saved;
    if (saved.ok() && HDD_ChangeDir(kSettingsDir) && INIOpenFile("PVRName.ini", kAppFolder)) {
      ok = settings->pvrName[0] ? INISetString("pvrname", settings->pvrName) : (INIKillKey("pvrname"), 1);
      ok = ok && INISaveFile("PVRName.ini", INILOCATION_AtCurrentDir, kAppFolder);
    }
    INICloseFile();
  }
  if (!ok) return CONFIG_WRITE_FAILED;
  ok = 0;
  PushedDir saved;
  if (saved.ok() && HDD_ChangeDir(kAppDir) && INIOpenFile("Orvane.ini", kAppFolder)) {
    // The server finds "port=" inside "searchport=" too: "searchport" goes after "port".
    while (INIKillKey("searchport")) {
    }
    ok = INISetInt("port", settings->port) && INISetInt("logginglevel", settings->loggingLevel) &&
         INISetInt("epgsource", settings->epgSource) && INISetInt("authentication", settings->authentication);
    if (token[0]) {
      ok = ok && INISetString("credentials", token);
    } else {
      while (INIKillKey("credentials")) {
      }
    }
    ok = ok && INISetInt("cachecontrol", settings->cacheControl) && INISetInt("searchport", settings->searchPort) &&
         INISetInt("epgcache", settings->epgCache) && INISaveFile("Orvane.ini", INILOCATION_AtCurrentDir, kAppFolder);
  }
  INICloseFile();
  return ok ? CONFIG_SAVED : CONFIG_WRITE_FAILED;
}
