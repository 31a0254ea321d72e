// EPG: the firmware's event pool (its lists start empty; the PVR's world fills them) and
// the genre texts of the Australian firmware ("_contentDesStr_AUS": AU_GENRE_TEXTS
// addresses of texts in firmware memory).
#include <string.h>

#include <nlohmann/json.hpp>

#include "emulator/emu_firmware.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"

namespace emu {

namespace {

const char *const kAustralianGenres[AU_GENRE_TEXTS] = {
    "",       "Movie", "News",            "Entertainment", "Sport",        "Children's",
    "Music",  "Arts",  "Current Affairs", "Education",     "Infotainment", "Special",
    "Comedy", "Drama", "Documentary",     ""};

byte *gGenreTable;   // AU_GENRE_TEXTS u32 addresses, then the texts
byte *gPoolHead;     // first event of the pool, null while it is empty

bool ReadProfile(const nlohmann::json &, std::string *) { return true; }

void StartEpg() {
  if (!gGenreTable) {
    size_t size = AU_GENRE_TEXTS * 4;
    for (const char *text : kAustralianGenres) size += strlen(text) + 1;
    gGenreTable = FirmwareAlloc(size);
    byte *text = gGenreTable + AU_GENRE_TEXTS * 4;
    for (int i = 0; i < AU_GENRE_TEXTS; i++) {
      PutLE32(gGenreTable + i * 4, FirmwareWord(text));
      size_t length = strlen(kAustralianGenres[i]) + 1;
      memcpy(text, kAustralianGenres[i], length);
      text += length;
    }
  }
  PublishTable(FW_HOOK_AustralianGenreTexts, gGenreTable);
  gPoolHead = nullptr;
}

}  // namespace

extern const Subsystem kEpgSubsystem = {"EPG", ReadProfile, StartEpg};

}  // namespace emu

// ---- Firmware hooks ----

// The events of one service (network, stream and service ID), or null when it has none.
FIRMWARE_HOOK void *Appl_GetEvtListHeadInHash(unsigned short, unsigned short, unsigned short) { return nullptr; }

// The first event of the pool of all events, or null when the pool is empty.
FIRMWARE_HOOK void *Appl_GetEvtListHeadInUsePool() { return emu::gPoolHead; }
