// EPG: the firmware's event pool as the PVR keeps it in memory, built from the "epg" section
// of the PVR's world (WORLD.md), and the genre texts of the Australian firmware
// ("_contentDesStr_AUS": AU_GENRE_TEXTS addresses of texts in firmware memory).
//
// The pool is one block of firmware memory below 4 GiB: the head of the pool of all events,
// one head per service, the 80-byte event structures and their texts. A head is a 32-bit
// word holding the address of the first event; every event links to the next one of the
// pool (offset 40) and of its service (offset 44); the last event of a list links back to
// the list's head, the firmware's end-of-list mark. The pool list runs in the order of the
// world file, each service's list newest first.
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <vector>

#include "emulator/emu_firmware.h"
#include "emulator/emu_world.h"
#include "emulator/emulator.h"
#include "platform/byte_order.h"

namespace emu {

namespace {

// The event structure, as the firmware lays it out.
enum {
  kEventSize = 80,
  kStatus = 0, kEventId = 4, kStartUtc = 8, kEndUtc = 12, kNameLength = 16, kParental = 17,
  kNetworkId = 18, kTsid = 20, kServiceId = 22, kSatIndex = 24, kLanguage = 27,
  kPoolNext = 40, kServiceNext = 44, kTextBlock = 48, kExtendedText = 52, kExtendedLength = 58,
  kCrid = 64, kContent = 68, kSourceFlag = 69, kUnknown14 = 70, kIceChannel = 72, kUnknown15 = 74,
};
constexpr int kRunning = 4, kNotRunning = 1;   // DVB running status

const char *const kAustralianGenres[AU_GENRE_TEXTS] = {
    "",       "Movie", "News",            "Entertainment", "Sport",        "Children's",
    "Music",  "Arts",  "Current Affairs", "Education",     "Infotainment", "Special",
    "Comedy", "Drama", "Documentary",     ""};

using ServiceKey = std::tuple<int, int, int>;   // network, stream, service ID

// One event of the world, its texts already in the PVR's bytes.
struct WorldEvent {
  int satIndex = 0, networkId = 0, tsid = 0, serviceId = 0;
  int64_t startUtc = 0;   // Unix seconds
  int duration = 0;       // minutes
  int eventId = 0, content = 0, sourceFlag = 0, parental = 0, dataStatus = 0;
  int runningStatus = -1;  // -1: from the clock when the pool is built
  uint32_t crid = 0;
  int unknown14 = 0, iceChannel = 0;
  byte unknown15[6] = {};
  std::string language = "eng";
  std::string name, description, text;
};

struct WorldEpg {
  std::vector<WorldEvent> events;
  bool followClock = false;
  int64_t baseDay = 0;     // Unix day the times were written for
};

WorldEpg gWorld;
byte *gGenreTable;         // AU_GENRE_TEXTS u32 addresses, then the texts
byte *gPool;               // the pool's block: heads, events, texts
std::map<ServiceKey, byte *> gServiceHeads;

bool Fail(std::string *error, const std::string &what) {
  *error = "world.json, epg: " + what;
  return false;
}

// "YYYY-MM-DD hh:mm" or "YYYY-MM-DD" (UTC) in Unix seconds.
bool ParseUtc(const std::string &text, int64_t *utc) {
  struct tm t = {};
  int n = sscanf(text.c_str(), "%d-%d-%d %d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min);
  if (n != 3 && n != 5) return false;
  if (t.tm_mon < 1 || t.tm_mon > 12 || t.tm_mday < 1 || t.tm_mday > 31 || t.tm_hour > 23 || t.tm_min > 59) {
    return false;
  }
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  *utc = (int64_t)timegm(&t);
  return true;
}

// The tuning values of service {"type", "number"} of the world.
bool ServiceOfWorld(const nlohmann::json &world, const nlohmann::json &ref, WorldEvent *e, std::string *error) {
  int type = ref.value("type", 0), number = ref.value("number", -1);
  const nlohmann::json &list = world["services"][type == 1 ? "radio" : "tv"];
  if (type < 0 || type > 1 || !list.is_array() || number < 0 || number >= (int)list.size()) {
    *error = "no service " + ref.dump();
    return false;
  }
  const nlohmann::json &service = list[(size_t)number];
  int satellite = service.value("satellite", 0), transponder = service.value("transponder", 0);
  const nlohmann::json &satellites = world["satellites"];
  if (!satellites.is_array() || satellite < 0 || satellite >= (int)satellites.size()) {
    *error = "service " + ref.dump() + " names no satellite";
    return false;
  }
  const nlohmann::json &transponders = satellites[(size_t)satellite]["transponders"];
  if (!transponders.is_array() || transponder < 0 || transponder >= (int)transponders.size()) {
    *error = "service " + ref.dump() + " names no transponder";
    return false;
  }
  e->satIndex = satellite;
  e->networkId = transponders[(size_t)transponder].value("onid", 0);
  e->tsid = transponders[(size_t)transponder].value("tsid", 0);
  e->serviceId = service.value("service_id", 0);
  return true;
}

bool ReadEvent(const nlohmann::json &world, const nlohmann::json &j, int index, WorldEvent *e, std::string *error) {
  std::string where = "event " + std::to_string(index) + ": ";
  if (!j.is_object()) return Fail(error, where + "not an object");
  if (j.contains("service")) {
    if (!ServiceOfWorld(world, j["service"], e, error)) return Fail(error, where + *error);
  } else {
    e->satIndex = j.value("satellite", 0);
    e->networkId = j.value("network_id", 0);
    e->tsid = j.value("tsid", 0);
    e->serviceId = j.value("service_id", 0);
  }
  if (!ParseUtc(j.value("start", std::string()), &e->startUtc)) {
    return Fail(error, where + "\"start\" must be \"YYYY-MM-DD hh:mm\" (UTC)");
  }
  e->duration = j.value("duration", 0);
  if (e->duration < 0 || e->duration >= 256 * 60) return Fail(error, where + "\"duration\" out of range");
  e->eventId = j.value("event_id", index + 1);
  e->content = j.value("content", 0);
  e->sourceFlag = j.value("sourceflag", 0);
  e->parental = j.value("parental", 0);
  e->dataStatus = j.value("data_status", 0);
  e->runningStatus = j.value("running_status", -1);
  e->crid = j.value("citid", 0u);
  e->unknown14 = j.value("unknown14", 0);
  e->iceChannel = j.value("icechannel", 0);
  std::string hex = j.value("unknown15", std::string());
  for (size_t i = 0; i < sizeof e->unknown15 && 2 * i + 1 < hex.size(); i++) {
    e->unknown15[i] = (byte)strtoul(hex.substr(2 * i, 2).c_str(), nullptr, 16);
  }
  e->language = j.value("lang", std::string("eng"));
  std::string charset = j.value("charset", std::string("latin1"));
  if (!WorldText(j.value("name", std::string()), charset, &e->name, error) ||
      !WorldText(j.value("description", std::string()), charset, &e->description, error) ||
      !WorldText(j.value("text", std::string()), charset, &e->text, error)) {
    return Fail(error, where + *error);
  }
  if (e->name.size() > 255) return Fail(error, where + "the name takes more than 255 bytes");
  if (e->description.find('\0') != std::string::npos) return Fail(error, where + "a zero byte in the description");
  if (e->text.size() > 0xFFFF) return Fail(error, where + "the text takes more than 65535 bytes");
  return true;
}

// Reads the "epg" section of a world (none: an empty EPG).
bool ReadWorldEpg(const nlohmann::json &world, std::string *error) {
  gWorld = WorldEpg();
  if (!world.is_object() || !world.contains("epg")) return true;
  const nlohmann::json &epg = world["epg"];
  if (!epg.is_object()) return Fail(error, "not an object");
  gWorld.followClock = epg.value("follow_clock", false);
  if (gWorld.followClock) {
    int64_t base;
    if (!ParseUtc(epg.value("base_date", std::string()), &base)) {
      return Fail(error, "\"follow_clock\" needs \"base_date\" (YYYY-MM-DD)");
    }
    gWorld.baseDay = base / 86400;
  }
  const nlohmann::json &events = epg.contains("events") ? epg["events"] : nlohmann::json::array();
  if (!events.is_array()) return Fail(error, "\"events\" must be a list");
  gWorld.events.resize(events.size());
  for (size_t i = 0; i < events.size(); i++) {
    if (!ReadEvent(world, events[i], (int)i, &gWorld.events[i], error)) return false;
  }
  return true;
}

bool ReadProfile(const nlohmann::json &, std::string *) { return true; }

dword PackedDate(int64_t unixSeconds) {
  int64_t minutes = unixSeconds / 60;
  return (dword)(minutes / 1440 + 40587) << 16 | (dword)(minutes % 1440 / 60) << 8 | (dword)(minutes % 60);
}

void WriteEvent(byte *at, const WorldEvent &e, int64_t start, int64_t now, dword textBlock, dword extendedText) {
  memset(at, 0, kEventSize);
  int running = e.runningStatus >= 0 ? e.runningStatus
                : (start <= now && now < start + e.duration * 60) ? kRunning : kNotRunning;
  dword status = (dword)(e.dataStatus & 3) | (dword)(running & 7) << 2 | (dword)(e.duration % 60) << 12 |
                 (dword)(e.duration / 60) << 20;
  PutLE32(at + kStatus, status);
  PutLE16(at + kEventId, (uint16_t)e.eventId);
  PutLE32(at + kStartUtc, PackedDate(start));
  PutLE32(at + kEndUtc, PackedDate(start + e.duration * 60));
  at[kNameLength] = (byte)e.name.size();
  at[kParental] = (byte)e.parental;
  PutLE16(at + kNetworkId, (uint16_t)e.networkId);
  PutLE16(at + kTsid, (uint16_t)e.tsid);
  PutLE16(at + kServiceId, (uint16_t)e.serviceId);
  at[kSatIndex] = (byte)e.satIndex;
  memcpy(at + kLanguage, e.language.c_str(), std::min<size_t>(3, e.language.size()));
  PutLE32(at + kTextBlock, textBlock);
  PutLE32(at + kExtendedText, extendedText);
  PutLE16(at + kExtendedLength, (uint16_t)e.text.size());
  PutLE32(at + kCrid, e.crid);
  at[kContent] = (byte)e.content;
  at[kSourceFlag] = (byte)e.sourceFlag;
  PutLE16(at + kUnknown14, (uint16_t)e.unknown14);
  PutLE16(at + kIceChannel, (uint16_t)e.iceChannel);
  memcpy(at + kUnknown15, e.unknown15, sizeof e.unknown15);
}

// Lays the world's events out in one block of firmware memory and links the lists.
void BuildPool() {
  FirmwareFree(gPool);
  gPool = nullptr;
  gServiceHeads.clear();
  const std::vector<WorldEvent> &events = gWorld.events;
  int64_t now = UtcNow();
  int64_t shift = gWorld.followClock ? (now / 86400 - gWorld.baseDay) * 86400 : 0;

  std::map<ServiceKey, std::vector<size_t>> services;
  size_t texts = 0;
  for (size_t i = 0; i < events.size(); i++) {
    services[ServiceKey(events[i].networkId, events[i].tsid, events[i].serviceId)].push_back(i);
    texts += events[i].name.size() + events[i].description.size() + 1 + events[i].text.size();
  }
  size_t headsSize = 4 * (1 + services.size());
  size_t eventsAt = (headsSize + 15) / 16 * 16;
  size_t textsAt = eventsAt + kEventSize * events.size();
  gPool = FirmwareAlloc(textsAt + texts);
  if (!gPool) {
    Effect("EPG: no firmware memory for %zu events", events.size());
    return;
  }
  auto address = [](const byte *p) { return FirmwareWord(p); };
  byte *head = gPool;
  byte *text = gPool + textsAt;
  for (size_t i = 0; i < events.size(); i++) {
    const WorldEvent &e = events[i];
    dword block = address(text);
    memcpy(text, e.name.data(), e.name.size());
    memcpy(text + e.name.size(), e.description.data(), e.description.size());
    text += e.name.size() + e.description.size() + 1;
    dword extended = e.text.empty() ? 0 : address(text);
    memcpy(text, e.text.data(), e.text.size());
    text += e.text.size();
    WriteEvent(gPool + eventsAt + kEventSize * i, e, e.startUtc + shift, now, block, extended);
  }
  auto eventAt = [&](size_t i) { return gPool + eventsAt + kEventSize * i; };
  // The pool of all events, in the order of the world.
  PutLE32(head, events.empty() ? address(head) : address(eventAt(0)));
  for (size_t i = 0; i < events.size(); i++) {
    PutLE32(eventAt(i) + kPoolNext, i + 1 < events.size() ? address(eventAt(i + 1)) : address(head));
  }
  // Each service's events, newest first.
  byte *serviceHead = gPool + 4;
  for (auto &service : services) {
    std::vector<size_t> &members = service.second;
    std::stable_sort(members.begin(), members.end(),
                     [&](size_t a, size_t b) { return events[a].startUtc > events[b].startUtc; });
    PutLE32(serviceHead, address(eventAt(members[0])));
    for (size_t k = 0; k < members.size(); k++) {
      PutLE32(eventAt(members[k]) + kServiceNext,
              k + 1 < members.size() ? address(eventAt(members[k + 1])) : address(serviceHead));
    }
    gServiceHeads[service.first] = serviceHead;
    serviceHead += 4;
  }
}

void StartEpg() {
  if (!gGenreTable) {
    size_t size = AU_GENRE_TEXTS * 4;
    for (const char *genre : kAustralianGenres) size += strlen(genre) + 1;
    gGenreTable = FirmwareAlloc(size);
    byte *genre = gGenreTable + AU_GENRE_TEXTS * 4;
    for (int i = 0; i < AU_GENRE_TEXTS; i++) {
      PutLE32(gGenreTable + i * 4, FirmwareWord(genre));
      size_t length = strlen(kAustralianGenres[i]) + 1;
      memcpy(genre, kAustralianGenres[i], length);
      genre += length;
    }
  }
  PublishTable(FW_HOOK_AustralianGenreTexts, gGenreTable);
  // Empty until the world's events are installed.
  gWorld = WorldEpg();
  BuildPool();
}

}  // namespace

extern const Subsystem kEpgSubsystem = {"EPG", ReadProfile, StartEpg};

bool InstallEpg(const nlohmann::json &world, std::string *error) {
  if (!ReadWorldEpg(world, error)) return false;
  BuildPool();
  return true;
}

}  // namespace emu

// ---- Firmware hooks ----

// The head of one service's event list (network, stream and service ID), or null when the
// service has no events.
FIRMWARE_HOOK void *Appl_GetEvtListHeadInHash(unsigned short networkId, unsigned short tsid, unsigned short serviceId) {
  auto found = emu::gServiceHeads.find(emu::ServiceKey(networkId, tsid, serviceId));
  return found == emu::gServiceHeads.end() ? nullptr : found->second;
}

// The head of the pool of all events (its first word: the first event, or the head itself
// when the pool is empty); null when the firmware has no pool.
FIRMWARE_HOOK void *Appl_GetEvtListHeadInUsePool() { return emu::gPool; }
