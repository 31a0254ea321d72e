#include "config/config_menu.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "config/config_settings.h"
#include "config/config_texts.h"
#include "config/key_handler.h"
#include "config/logo_builder.h"
#include "config/osd_dialogs.h"
#include "platform/firmware_model.h"
#include "platform/tap_tasks.h"

namespace {

enum {
  ITEM_NAME, ITEM_PORT, ITEM_LOGGING, ITEM_EPG_SOURCE, ITEM_URL, ITEM_AUTHENTICATION, ITEM_USER, ITEM_PASSWORD,
  ITEM_CACHE, ITEM_RESET_CACHE, ITEM_SEARCH_PORT, ITEM_EPG_CACHE, ITEMS
};
enum : dword { WEB_SERVER_TAP_ID = 0x514B570F, EVT_RELOAD = 0xFE01, DIGIT_TICKS = 500 };
enum { VALUE_SIZE = 128, PORT_TEXT = 6 };
enum : dword { BACK = 0xE8182038, TITLE = 0xFF304C90, WHITE = 0xFFFFFFFF, GREY = 0xFF7880A0, HIGHLIGHT = 0xFFE0A020,
               BLACK = 0xFF000000, RED = 0xFFD03030, BLUE = 0xFF2050D0 };
const dword kMenuX = 40, kMenuY = 24, kMenuW = 640, kMenuH = 528, kRowY = 56, kRowH = 32;
const char kTitle[] = "Orvane-Config v2.20: ";

// The label text of each item (index of the language table, or a fixed text).
const int kLabels[ITEMS] = {2, 1, 3, 16, -1, 17, 21, 22, 27, 30, 32, 33};

bool gOpen;
int gRegion = -1;
int gCurrent;
bool gResetUsed;             // "Reset Cache" pressed or the counter changed: until the next load
char gValues[ITEMS][VALUE_SIZE];
char gPortText[2][PORT_TEXT];
dword gLastDigit;
bool gDigitSeen;
int gEditItem = -1;
char gAddress[16] = "0.0.0.0";

const char *Text(int index) { return ConfigText(index); }

// The remote type of this PVR's model (0 when the model table does not know it).
int RemoteType() {
  const byte *record = FindModelRecord(TAP_GetSystemId());
  return record ? (int)ModelField32(record, MODEL_REMOTE_TYPE) : 0;
}

// The PVR's address on "eth0".
void ReadAddress() {
  int s = socket(AF_INET, SOCK_DGRAM, 0);
  if (s < 0) return;
  struct ifreq request;
  memset(&request, 0, sizeof request);
  snprintf(request.ifr_name, sizeof request.ifr_name, "%s", "eth0");
  if (ioctl(s, SIOCGIFADDR, &request) == 0) {
    struct sockaddr_in address;
    memcpy(&address, &request.ifr_addr, sizeof address);
    snprintf(gAddress, sizeof gAddress, "%s", inet_ntoa(address.sin_addr));
  }
  close(s);
}

bool Selectable(int item) {
  if (item == ITEM_URL) return false;
  if (item == ITEM_RESET_CACHE) return (gConfig.cacheControl & 1) && !gResetUsed;
  if (item == ITEM_EPG_CACHE) return gConfig.epgSource == 0;
  return true;
}

const char *OrEmpty(const char *text) { return text[0] ? text : Text(25); }

// A display text, cut to its field.
void SetValue(int item, const char *text) {
  size_t n = strnlen(text, VALUE_SIZE - 1);
  memcpy(gValues[item], text, n);
  gValues[item][n] = '\0';
}

void updateConfigStrings();

void Draw() {
  if (!gOpen) return;
  if (gRegion < 0) gRegion = TAP_Osd_Create(kMenuX, kMenuY, kMenuW, kMenuH, 0, 0);
  int r = gRegion;
  TAP_Osd_FillBox(r, 0, 0, kMenuW, kMenuH, BACK);
  TAP_Osd_FillBox(r, 0, 0, kMenuW, 44, TITLE);
  // The TAP's logo: an "O" on a disc of boxes.
  TAP_Osd_FillBox(r, 10, 6, 32, 32, WHITE);
  TAP_Osd_FillBox(r, 13, 9, 26, 26, TITLE);
  TAP_Osd_PutS(r, 10, 11, 42, "O", WHITE, 0, 0, FNT_Size_1622, ALIGN_CENTER);
  char title[160];
  snprintf(title, sizeof title, "%s%s", kTitle, Text(0));
  TAP_Osd_PutS(r, 54, 11, kMenuW - 10, title, WHITE, 0, 0, FNT_Size_1926, ALIGN_LEFT);
  for (int item = 0; item < ITEMS; item++) {
    dword y = kRowY + (dword)item * kRowH;
    bool current = item == gCurrent;
    if (current) TAP_Osd_FillBox(r, 8, y, kMenuW - 16, kRowH - 2, HIGHLIGHT);
    dword colour = current ? BLACK : Selectable(item) ? WHITE : GREY;
    TAP_Osd_PutS(r, 20, y + 6, 300, kLabels[item] < 0 ? "URL" : Text(kLabels[item]), colour, 0, 0, FNT_Size_1622,
                 ALIGN_LEFT);
    TAP_Osd_PutS(r, 310, y + 6, kMenuW - 20, gValues[item], colour, 0, 0, FNT_Size_1622, ALIGN_LEFT);
  }
  const struct { dword colour; const char *key; int text; } buttons[] = {
      {GREY, "EXIT", 4}, {HIGHLIGHT, "OK", 5}, {RED, "REC", 6}, {BLUE, "", 7}, {GREY, "RECALL", 8}};
  dword x = 12, y = kMenuH - 40;
  for (const auto &button : buttons) {
    dword keyWidth = button.key[0] ? TAP_Osd_GetW(button.key, 0, FNT_Size_1419) + 12 : 22;
    TAP_Osd_FillBox(r, x, y + 2, keyWidth, 22, button.colour);
    TAP_Osd_PutS(r, x, y + 5, x + keyWidth, button.key, BLACK, 0, 0, FNT_Size_1419, ALIGN_CENTER);
    x += keyWidth + 6;
    dword labelWidth = TAP_Osd_GetW(Text(button.text), 0, FNT_Size_1419);
    TAP_Osd_PutS(r, x, y + 5, kMenuW - 8, Text(button.text), WHITE, 0, 0, FNT_Size_1419, ALIGN_LEFT);
    x += labelWidth + 18;
    if (x >= kMenuW - 8) break;
  }
  TAP_Osd_Sync();
}

// The display text of every item from the settings.
void updateConfigStrings() {
  ConfigSettings &c = gConfig;
  const int logging[4] = {9, 10, 11, 12}, auth[3] = {18, 19, 20};
  SetValue(ITEM_NAME, OrEmpty(c.pvrName));
  snprintf(gValues[ITEM_PORT], VALUE_SIZE, "%d", c.port);
  snprintf(gValues[ITEM_LOGGING], VALUE_SIZE, "%s", c.loggingLevel >= 0 && c.loggingLevel < 4 ? Text(logging[c.loggingLevel]) : "Undefined");
  snprintf(gValues[ITEM_EPG_SOURCE], VALUE_SIZE, "%s", c.epgSource == 0 ? "PVR" : c.epgSource == 1 ? "SmartEPG" : "Undefined");
  snprintf(gValues[ITEM_URL], VALUE_SIZE, "http://%s:%d", gAddress, c.port);
  snprintf(gValues[ITEM_AUTHENTICATION], VALUE_SIZE, "%s",
           c.authentication >= 0 && c.authentication < 3 ? Text(auth[c.authentication]) : "Undefined");
  SetValue(ITEM_USER, OrEmpty(c.userName));
  SetValue(ITEM_PASSWORD, OrEmpty(c.password));
  snprintf(gValues[ITEM_CACHE], VALUE_SIZE, "%s", Text(c.cacheControl & 1 ? 28 : 29));
  snprintf(gValues[ITEM_RESET_CACHE], VALUE_SIZE, "%s", Text(31));
  snprintf(gValues[ITEM_SEARCH_PORT], VALUE_SIZE, "%d", c.searchPort);
  if (c.epgCache == 0) snprintf(gValues[ITEM_EPG_CACHE], VALUE_SIZE, "%s", Text(18));
  else if (c.epgCache > 0 && c.epgCache <= 10) snprintf(gValues[ITEM_EPG_CACHE], VALUE_SIZE, "%d %s", 30 * c.epgCache, Text(34));
  else snprintf(gValues[ITEM_EPG_CACHE], VALUE_SIZE, "Undefined");
  if (!Selectable(gCurrent)) gCurrent = ITEM_NAME;
  Draw();
}

int Wrap(int value, int step, int count) {
  value += step;
  return value >= count ? 0 : value < 0 ? count - 1 : value;
}

int StepPort(int port, int step) {
  port += step;
  return port > 65535 ? 1 : port < 1 ? 65535 : port;
}

void RegisterMenuKeys();

dword keypressConfigExit(dword, int) {
  ConfigMenuClose();
  TAP_EnterNormal();
  TAP_Exit();
  return 0;
}

dword keypressConfigChange(dword key, int) {
  int step = key == RKEY_Left || key == RKEY_Rewind ? -1 : 1;
  ConfigSettings &c = gConfig;
  switch (gCurrent) {
    case ITEM_PORT: c.port = StepPort(c.port, step); break;
    case ITEM_SEARCH_PORT: c.searchPort = StepPort(c.searchPort, step); break;
    case ITEM_LOGGING: c.loggingLevel = Wrap(c.loggingLevel, step, 4); break;
    case ITEM_EPG_SOURCE: c.epgSource = Wrap(c.epgSource, step, 2); break;
    case ITEM_AUTHENTICATION: c.authentication = Wrap(c.authentication, step, 3); break;
    case ITEM_EPG_CACHE: c.epgCache = Wrap(c.epgCache, step, 11); break;
    case ITEM_CACHE:
      c.cacheControl = (c.cacheControl + 1) % 512;
      gResetUsed = true;
      break;
    default: return 0;
  }
  gDigitSeen = false;
  updateConfigStrings();
  return 0;
}

dword keypressConfigGeneric(dword key, int) {
  int step = key == RKEY_Up ? -1 : 1;
  int item = gCurrent;
  for (int i = 0; i < ITEMS; i++) {
    item = (item + step + ITEMS) % ITEMS;
    if (Selectable(item)) break;
  }
  gCurrent = item;
  gDigitSeen = false;
  Draw();
  return 0;
}

dword keypressConfigOk(dword, int) {
  if (gCurrent == ITEM_RESET_CACHE && (gConfig.cacheControl & 1) && !gResetUsed) {
    gConfig.cacheControl = (gConfig.cacheControl + 2) % 512;
    gResetUsed = true;
    keypressConfigGeneric(RKEY_Down, 0);
    updateConfigStrings();
  }
  return 0;
}

dword keypressConfigPort(dword key, int) {
  if (gCurrent != ITEM_PORT && gCurrent != ITEM_SEARCH_PORT) return 0;
  char *text = gPortText[gCurrent == ITEM_PORT ? 0 : 1];
  dword now = TAP_GetTick();
  size_t n = gDigitSeen && now - gLastDigit <= DIGIT_TICKS ? strlen(text) : 0;
  if (n < PORT_TEXT - 1) {   // five digits at most
    text[n] = (char)('0' + (key - RKEY_0));
    text[n + 1] = '\0';
  }
  gLastDigit = now;
  gDigitSeen = true;
  long value = strtol(text, nullptr, 10);
  int *port = gCurrent == ITEM_PORT ? &gConfig.port : &gConfig.searchPort;
  *port = value >= 1 && value <= 65535 ? (int)value : gCurrent == ITEM_PORT ? 8000 : 8800;
  updateConfigStrings();
  return 0;
}

dword keypressPopup(dword, int) {
  OsdMessageClose();
  khDeRegisterLevel();
  Draw();
  return 0;
}

void Message(const char *text) {
  OsdMessageOpen("Orvane-Config", text);
  khRegisterKey(RKEY_Ok, keypressPopup, 0, true);
  khRegisterKey(RKEY_Exit, keypressPopup, 0, false);
}

dword keypressConfigSave(dword, int) {
  switch (saveINISettings(&gConfig)) {
    case CONFIG_SAVED:
      HDD_TAP_SendEvent(WEB_SERVER_TAP_ID, false, EVT_RELOAD, 0, 0);
      return keypressConfigExit(0, 0);
    case CONFIG_NEEDS_CREDENTIALS: Message(Text(26)); break;
    case CONFIG_CREDENTIALS_TOO_LONG: Message("User name and password are too long\nfor the web server (127 characters)."); break;
    case CONFIG_USER_HAS_COLON: Message("The user name cannot hold\na colon (\":\")."); break;
    default: Message("The settings could not be saved."); break;
  }
  return 0;
}

dword keypressBuildLogos(dword, int) {
  createLogoFile(nullptr);
  if (gRegion >= 0) TAP_Osd_Delete(gRegion);
  gRegion = -1;
  Draw();
  return 0;
}

void LoadForMenu() {
  loadINISettings(&gConfig);
  gResetUsed = false;
  gDigitSeen = false;
  snprintf(gPortText[0], PORT_TEXT, "%d", gConfig.port);
  snprintf(gPortText[1], PORT_TEXT, "%d", gConfig.searchPort);
}

dword keypressConfigReload(dword, int) {
  LoadForMenu();
  updateConfigStrings();
  return 0;
}

dword keypressConfigKeyboard(dword, int) {
  const char *source = gCurrent == ITEM_NAME ? gConfig.pvrName : gCurrent == ITEM_USER ? gConfig.userName
                       : gCurrent == ITEM_PASSWORD ? gConfig.password : nullptr;
  if (!source) return 0;
  const char *const legend[4] = {Text(4), Text(14), Text(15), Text(8)};
  int title = gCurrent == ITEM_NAME ? 13 : gCurrent == ITEM_USER ? 23 : 24;
  gEditItem = gCurrent;
  khSetTranslation(false);
  // The keyboard's edit buffer holds 128 bytes: a longer name is cut at a character.
  OsdKeyboardOpen(Text(title), source, gCurrent == ITEM_NAME ? KEYBOARD_LIMIT : CONFIG_CREDENTIAL_SIZE - 1, legend);
  return 0;
}

void RegisterMenuKeys() {
  khRegisterKey(RKEY_Exit, keypressConfigExit, 0, true);
  const dword down[] = {RKEY_Left, RKEY_Rewind}, up[] = {RKEY_Right, RKEY_Forward};
  for (dword key : down) khRegisterKey(key, keypressConfigChange, -1, false);
  for (dword key : up) khRegisterKey(key, keypressConfigChange, 1, false);
  khRegisterKey(RKEY_Ok, keypressConfigKeyboard, 0, false);
  khRegisterKey(RKEY_Up, keypressConfigGeneric, 0, false);
  khRegisterKey(RKEY_Down, keypressConfigGeneric, 0, false);
  khRegisterKey(RKEY_Green, keypressConfigOk, 0, false);
  khRegisterKey(RKEY_Record, keypressConfigSave, 0, false);
  khRegisterKey(RKEY_Menu, keypressConfigSave, 0, false);
  khRegisterKey(RKEY_Blue, keypressBuildLogos, 0, false);
  khRegisterKey(RKEY_Recall, keypressConfigReload, 0, false);
  for (dword key = RKEY_0; key <= RKEY_9; key++) khRegisterKey(key, keypressConfigPort, 0, false);
}

// The keyboard finished: its text goes into the field that opened it.
void KeyboardFinished(int state) {
  if (state == KEYBOARD_DONE) {
    const char *text = OsdKeyboardText();
    if (gEditItem == ITEM_NAME) snprintf(gConfig.pvrName, sizeof gConfig.pvrName, "%s", text);
    if (gEditItem == ITEM_USER) snprintf(gConfig.userName, sizeof gConfig.userName, "%s", text);
    if (gEditItem == ITEM_PASSWORD) snprintf(gConfig.password, sizeof gConfig.password, "%s", text);
  }
  OsdKeyboardClose();
  gEditItem = -1;
  khSetTranslation(true);
  updateConfigStrings();
}

}  // namespace

void ConfigMenuInitialise() {
  initialiseLanguage();
  ReadAddress();
  khInitialise(RemoteType());
  gOpen = false;
}

void ConfigMenuOpen() {
  LoadForMenu();
  khInitialise(RemoteType());
  RegisterMenuKeys();
  gOpen = true;
  gCurrent = ITEM_NAME;
  TAP_ExitNormal();
  updateConfigStrings();
  TAP_GenerateEvent(EVT_KEY, 0, 0);
}

bool ConfigMenuIsOpen() { return gOpen; }

void ConfigMenuClose() {
  OsdKeyboardClose();
  OsdMessageClose();
  while (khLevels()) khDeRegisterLevel();
  if (gRegion >= 0) TAP_Osd_Delete(gRegion);
  gRegion = -1;
  gOpen = false;
}

dword ConfigMenuEvent(word event, TapParam param1, TapParam) {
  if (!gOpen) return (dword)param1;
  if (OsdKeyboardIsOpen()) {
    if (event != EVT_KEY) return (dword)param1;
    int state = OsdKeyboardKey((dword)param1);
    if (state != KEYBOARD_OPEN) KeyboardFinished(state);
    return 0;
  }
  if (event != EVT_KEY) return (dword)param1;
  return khEventHandler((dword)param1);
}

const char *ConfigMenuValue(int item) { return item >= 0 && item < ITEMS ? gValues[item] : ""; }
int ConfigMenuCurrent() { return gCurrent; }
