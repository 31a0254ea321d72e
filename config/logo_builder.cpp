#include "config/logo_builder.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include "common/common_memory.h"
#include "common/mjd.h"
#include "common/packed_date.h"
#include "config/logo_list.h"
#include "config/osd_logo_painter.h"
#include "platform/channel_lookup.h"
#include "platform/file_replace.h"
#include "platform/logo_pack.h"
#include "platform/support_log.h"

namespace {

enum { CHANNEL_NAME_SIZE = 25, PRELUDE_SIZE = 2048 };

// The PVR's TV then radio channels, with their names kept beside them.
struct ChannelList {
  LogoChannel *channels;
  char *names;
  int count;
};

bool ReadChannels(ChannelList *list) {
  memset(list, 0, sizeof *list);
  int tv = 0, radio = 0;
  TAP_Channel_GetTotalNum(&tv, &radio);
  if (tv < 0) tv = 0;
  if (radio < 0) radio = 0;
  size_t total = (size_t)tv + (size_t)radio;
  if (!total) return true;
  list->channels = static_cast<LogoChannel *>(CommonAlloc(total * sizeof(LogoChannel)));
  list->names = static_cast<char *>(CommonAlloc(total * CHANNEL_NAME_SIZE));
  if (!list->channels || !list->names) return false;
  for (int type = 0; type < 2; type++) {
    for (int number = 0; number < (type ? radio : tv); number++) {
      TYPE_TapChInfo info;
      memset(&info, 0, sizeof info);
      if (!TAP_Channel_GetInfo(type, number, &info)) continue;
      char *name = list->names + (size_t)list->count * CHANNEL_NAME_SIZE;
      memcpy(name, info.chName, sizeof info.chName);
      name[sizeof info.chName] = '\0';
      list->channels[list->count++] = {type, number, LogoManager_GetChannelID(type, number), name};
    }
  }
  return true;
}

void FreeChannels(ChannelList *list) {
  CommonFree(list->channels);
  CommonFree(list->names);
  memset(list, 0, sizeof *list);
}

// Lines of the logo store's preparation, for the log and the console.
struct Prelude {
  char text[PRELUDE_SIZE];
};

void Note(Prelude *prelude, const char *format, ...) __attribute__((format(printf, 2, 3)));
void Note(Prelude *prelude, const char *format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  vsnprintf(line, sizeof line, format, args);
  va_end(args);
  PrintNet(line);
  size_t used = strlen(prelude->text);
  snprintf(prelude->text + used, sizeof prelude->text - used, "%s", line);
}

void Console(const char *text) { PrintNet(text); }

// LogoManager_Initialize: the logo folder, the user's packs, "Logos.lil", the ".add" files
// and the cache; then the store is opened.
int PrepareStore(LogoStore *store, const ChannelList &list, Prelude *prelude) {
  MappedPath host(kLogoFolder);
  if (!host.c_str() || (mkdir(host.c_str(), 0755) != 0 && errno != EEXIST)) {
    Note(prelude, "<b>ERROR</b> - the logo folder cannot be made.<br>\r\n");
  }
  int moved = LogoPackCollect(kLogoFolder);
  if (moved) Note(prelude, "%d logo file(s) taken from USB drives.<br>\r\n", moved);
  LogoPackReport pack;
  switch (LogoPackExtract(kLogoFolder, &pack)) {
    case LOGO_PACK_EXTRACTED:
      Note(prelude, "LogoPack.tar unpacked: %d files.<br>\r\n", pack.files);
      break;
    case LOGO_PACK_REFUSED:
      Note(prelude, "<b>WARNING</b> - LogoPack.tar refused, kept: %s.<br>\r\n", pack.reason);
      break;
    case LOGO_PACK_FAILED:
      Note(prelude, "<b>WARNING</b> - LogoPack.tar not unpacked, kept: %s.<br>\r\n", pack.reason);
      break;
    default:
      break;
  }
  char listPath[PVR_PATH_SIZE];
  snprintf(listPath, sizeof listPath, "%s/Logos.lil", kLogoFolder);
  if (!IsRegularFile(listPath)) {
    word mjd = 0;
    byte hour, minute, second;
    TAP_GetTime(&mjd, &hour, &minute, &second);
    CalendarDate today = MjdToDate(mjd);
    if (LogoListUpdate(kLogoFolder, list.channels, list.count, today.year, today.month, today.day) < 0) {
      Note(prelude, "<b>ERROR</b> - Logos.lil cannot be written.<br>\r\n");
    }
  }
  int added = LogoListMergeAddFiles(kLogoFolder);
  if (added > 0) Note(prelude, "%d .add file(s) taken into Logos.lil.<br>\r\n", added);
  if (added < 0) Note(prelude, "<b>ERROR</b> - an .add file could not be taken into Logos.lil.<br>\r\n");

  int result = LogoStoreOpen(store, kLogoFolder, 0);
  if (result == LOGO_STORE_NO_CACHE || result == LOGO_STORE_INVALID_CACHE) {
    if (result == LOGO_STORE_INVALID_CACHE) Note(prelude, "Logo.cache was damaged and is built again.<br>\r\n");
    LogoCacheReport cache;
    result = LogoCacheBuild(kLogoFolder, &cache);
    Note(prelude, "Logo.cache built: %d logos, %d files too short, %d files unusable%s.<br>\r\n", cache.logos,
         cache.skipped, cache.failed, result == LOGO_STORE_OK ? "" : " (not written)");
    if (result == LOGO_STORE_OK) result = LogoStoreOpen(store, kLogoFolder, 0);
  }
  if (result != LOGO_STORE_OK) Note(prelude, "<b>WARNING</b> - no logo store (code %d).<br>\r\n", result);
  return result;
}

}  // namespace

int createLogoFile(LogoSheetReport *report) {
  ChannelList list;
  Prelude prelude;
  prelude.text[0] = '\0';
  if (!ReadChannels(&list)) {
    Note(&prelude, "<b>ERROR</b> - unable to allocate memory for the channel list.<br>\r\n");
    FreeChannels(&list);
  }
  LogoStore store;
  int opened = PrepareStore(&store, list, &prelude);
  char timestamp[32];
  snprintf(timestamp, sizeof timestamp, "%s", PVRDateToJSON(0, 0));
  LogoSheetOptions options = {OsdLogoPainter(), opened == LOGO_STORE_OK ? &store : nullptr, timestamp, Console,
                              prelude.text};
  int result = BuildLogoSpriteSheet(list.channels, list.count, &options, report);
  LogoStoreClose(&store);
  FreeChannels(&list);
  return result;
}
