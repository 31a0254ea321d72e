#include "config/config_texts.h"

#include <stdio.h>
#include <string.h>

#include "platform/directory_stack.h"
#include "platform/ini_file.h"
#include "platform/key_lines.h"

namespace {

const char *const kDefaults[CONFIG_TEXTS] = {
    "Configure Settings", "TCP Listening Port", "PVR Name", "Logging Level", "Exit", "Edit", "Save", "Build Logos",
    "Reset", "None", "Basic", "Detailed", "Detailed + Network", "Enter PVR Name", "Character Set", "Toggle CAPS",
    "EPG SOURCE", "AUTHENTICATION MODE", "NONE", "EXTERNAL ONLY", "ALL", "USER NAME", "PASSWORD", "Enter User Name",
    "Enter Password", "<EMPTY>", "Username and Password required\nfor this authentication setting.", "Cache Control",
    "On", "Off", "Reset Cache", "press [OK] to reset", "EPG SEARCH PORT", "EPG CACHE TIMEOUT", "MINUTES"};

char gTexts[CONFIG_TEXTS][CONFIG_TEXT_SIZE];
bool gLoaded[CONFIG_TEXTS];

// "\n" in a language file stands for a line break.
void Unescape(char *text) {
  char *out = text;
  for (const char *p = text; *p; p++) {
    if (p[0] == '\\' && p[1] == 'n') {
      *out++ = '\n';
      p++;
    } else {
      *out++ = *p;
    }
  }
  *out = '\0';
}

}  // namespace

void initialiseLanguage() {
  memset(gLoaded, 0, sizeof gLoaded);
  PushedDir saved;
  if (!saved.ok() || !HDD_ChangeDir("/ProgramFiles/Settings/Orvane")) return;
  if (INIOpenFile("Orvane-Config.lng", "Orvane") >= INILOCATION_AtCurrentDir) {
    size_t length = strlen(INIBuffer);
    for (int i = 0; i < CONFIG_TEXTS; i++) {
      char key[8];
      int keyLength = snprintf(key, sizeof key, "%d", i);
      KeyLine line;
      if (!KeyLineFind(INIBuffer, length, key, (size_t)keyLength, &line) || !line.hasValue || !line.valueLength) continue;
      size_t n = line.valueLength < CONFIG_TEXT_SIZE ? line.valueLength : CONFIG_TEXT_SIZE - 1;
      memcpy(gTexts[i], line.value, n);
      gTexts[i][n] = '\0';
      Unescape(gTexts[i]);
      gLoaded[i] = true;
    }
  }
  INICloseFile();
}

const char *LangGetStringDefault(int index, const char *defaultText) {
  if (index < 0 || index >= CONFIG_TEXTS || !gLoaded[index]) return defaultText;
  return gTexts[index];
}

const char *ConfigText(int index) {
  return index >= 0 && index < CONFIG_TEXTS ? LangGetStringDefault(index, kDefaults[index]) : "";
}
