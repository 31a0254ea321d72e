// The PVR's world (emulator/WORLD.md): "world.json" in the emulated root, turned field by
// field into the firmware's tables of the system type, and the firmware's changes to its
// timers and favourites written back to it (through a temporary file renamed into place).
#include "emulator/emu_world.h"

#include <stdio.h>
#include <string.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "emulator/emulator.h"
#include "platform/byte_order.h"

namespace emu {

namespace {

#include "charset_tables.inc"

using json = nlohmann::json;

struct WorldError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string gWorldPath;        // host path of world.json; empty: nothing is written back
json gWorld;                   // the world as read, with the firmware's changes
std::vector<byte> gSavedTimers, gSavedFavourites;
byte gSavedSelection = FAV_GROUP_NONE;

// ---------------------------------------------------------------------------------------
// Values of the world file

long long Int(const json &object, const char *key, long long fallback = 0) {
  if (!object.is_object()) return fallback;
  auto found = object.find(key);
  if (found == object.end() || found->is_null()) return fallback;
  if (found->is_boolean()) return found->get<bool>() ? 1 : 0;
  if (found->is_number()) return found->get<long long>();
  throw WorldError(std::string("\"") + key + "\" is not a number");
}

bool Has(const json &object, const char *key) { return object.is_object() && object.contains(key); }

std::string Text(const json &object, const char *key) {
  if (!Has(object, key) || object[key].is_null()) return std::string();
  return object[key].get<std::string>();
}

const json &List(const json &object, const char *key) {
  static const json empty = json::array();
  if (!Has(object, key) || object[key].is_null()) return empty;
  if (!object[key].is_array()) throw WorldError(std::string("\"") + key + "\" is not a list");
  return object[key];
}

// Hex digits, two per byte, padded with zero bytes to size.
std::vector<byte> HexField(const json &object, const char *key, size_t size) {
  std::string hex = Text(object, key);
  if (hex.size() % 2 || hex.size() / 2 > size) throw WorldError(std::string("\"") + key + "\" does not fit");
  std::vector<byte> out(size, 0);
  for (size_t i = 0; i < hex.size(); i += 2) out[i / 2] = (byte)std::stoi(hex.substr(i, 2), nullptr, 16);
  return out;
}

std::string HexOf(const byte *bytes, size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; i++) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

// ---------------------------------------------------------------------------------------
// Names in the PVR's character tables

std::vector<dword> CodePoints(const std::string &text) {
  std::vector<dword> out;
  for (size_t i = 0; i < text.size();) {
    byte c = (byte)text[i];
    int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (!length || i + (size_t)length > text.size()) throw WorldError("a name is not UTF-8");
    dword cp = length == 1 ? c : (dword)(c & (0x7F >> length));
    for (int k = 1; k < length; k++) {
      byte next = (byte)text[i + (size_t)k];
      if ((next & 0xC0) != 0x80) throw WorldError("a name is not UTF-8");
      cp = cp << 6 | (next & 0x3F);
    }
    out.push_back(cp);
    i += (size_t)length;
  }
  return out;
}

void PutUtf8(std::string *out, dword cp) {
  if (cp < 0x80) {
    *out += (char)cp;
  } else if (cp < 0x800) {
    *out += (char)(0xC0 | cp >> 6);
    *out += (char)(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += (char)(0xE0 | cp >> 12);
    *out += (char)(0x80 | (cp >> 6 & 0x3F));
    *out += (char)(0x80 | (cp & 0x3F));
  } else {
    *out += (char)(0xF0 | cp >> 18);
    *out += (char)(0x80 | (cp >> 12 & 0x3F));
    *out += (char)(0x80 | (cp >> 6 & 0x3F));
    *out += (char)(0x80 | (cp & 0x3F));
  }
}

const CharsetTable *Charset(int part) {
  for (const CharsetTable &table : kCharsetTables) {
    if (table.part == part) return &table;
  }
  return nullptr;
}

// The ISO/IEC 8859 part of a charset name with a one-byte selector, or 0.
int SelectorPart(const std::string &charset) {
  if (charset.compare(0, 8, "iso8859-") != 0) return 0;
  int part = atoi(charset.c_str() + 8);
  return part >= 5 && part <= 15 && part != 12 && charset.substr(8) == std::to_string(part) ? part : 0;
}

// The PVR's bytes of a name: a table selector (none for the default table) and the name.
std::vector<byte> PvrText(const std::string &name, std::string charset) {
  for (char &c : charset) c = (char)tolower((unsigned char)c);
  if (charset.empty()) charset = "latin1";
  std::vector<byte> out;
  if (charset == "utf-8" || charset == "utf-8-raw") {
    CodePoints(name);   // must be UTF-8
    if (charset == "utf-8") out.push_back(0x15);
    out.insert(out.end(), name.begin(), name.end());
    return out;
  }
  const CharsetTable *table = nullptr;
  if (charset != "latin1") {
    int part = SelectorPart(charset);
    table = Charset(part);
    if (!table) throw WorldError("character table \"" + charset + "\" cannot be stored in a name");
    out.push_back((byte)(part - 4));
  }
  for (dword cp : CodePoints(name)) {
    if (cp < 0xA0 || (!table && cp <= 0xFF)) {
      out.push_back((byte)cp);
      continue;
    }
    int found = -1;
    for (int i = 0; table && i < 96; i++) {
      if (table->codePoints[i] == cp) found = i;
    }
    if (found < 0) throw WorldError("\"" + name + "\" has a character that " + charset + " lacks");
    out.push_back((byte)(0xA0 + found));
  }
  return out;
}

bool IsUtf8(const std::string &text) {
  try {
    CodePoints(text);
    return true;
  } catch (const WorldError &) {
    return false;
  }
}

// The name and charset of the PVR's bytes of a name.
void ReadPvrText(const std::string &raw, json *object, const char *nameKey) {
  std::string name, charset = "latin1";
  byte first = raw.empty() ? 0 : (byte)raw[0];
  const CharsetTable *table = first >= 1 && first <= 11 && first != 8 ? Charset(first + 4) : nullptr;
  bool ascii = true;
  for (char c : raw) ascii &= (byte)c < 0x80;
  if (first == 0x15) {
    name = raw.substr(1);
    charset = "utf-8";
  } else if (table) {
    for (size_t i = 1; i < raw.size(); i++) {
      byte c = (byte)raw[i];
      PutUtf8(&name, c < 0xA0 ? c : table->codePoints[c - 0xA0]);
    }
    charset = "iso8859-" + std::to_string(first + 4);
  } else if (!ascii && IsUtf8(raw)) {
    name = raw;
    charset = "utf-8-raw";
  } else {
    for (char c : raw) PutUtf8(&name, (byte)c);
  }
  (*object)[nameKey] = name;
  (*object)["charset"] = charset;
}

// A fixed field: raw cut or zero-padded to size bytes (no terminator when full).
void PutField(byte *field, size_t size, const std::vector<byte> &raw) {
  memset(field, 0, size);
  if (!raw.empty()) memcpy(field, raw.data(), std::min(size, raw.size()));
}

std::string FieldText(const byte *field, size_t size) {
  return std::string(reinterpret_cast<const char *>(field), strnlen(reinterpret_cast<const char *>(field), size));
}

// ---------------------------------------------------------------------------------------
// Dates: "YYYY-MM-DD hh:mm" and packed PVR dates (MJD << 16 | hour << 8 | minute)

long DaysFromCivil(long y, long m, long d) {
  y -= m <= 2;
  long era = (y >= 0 ? y : y - 399) / 400;
  long yoe = y - era * 400;
  long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

const long kMjdEpoch = DaysFromCivil(1858, 11, 17);

dword PvrDate(const std::string &text) {
  int y, mo, d, h, mi;
  char tail;
  if (sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d%c", &y, &mo, &d, &h, &mi, &tail) != 5 || mo < 1 || mo > 12 || d < 1 ||
      d > 31 || h > 23 || mi > 59) {
    throw WorldError("\"" + text + "\" is not a date YYYY-MM-DD hh:mm");
  }
  return (dword)(DaysFromCivil(y, mo, d) - kMjdEpoch) << 16 | (dword)h << 8 | (dword)mi;
}

std::string PvrDateText(dword date) {
  long z = (long)(date >> 16) + kMjdEpoch + 719468;
  long era = z / 146097, doe = z - era * 146097;
  long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
  long d = doy - (153 * mp + 2) / 5 + 1, m = mp < 10 ? mp + 3 : mp - 9, y = yoe + era * 400 + (m <= 2);
  char text[96];
  snprintf(text, sizeof text, "%04ld-%02ld-%02ld %02u:%02u", y, m, d, date >> 8 & 0xFF, date & 0xFF);
  return text;
}

dword AddMinutes(dword date, long long minutes) {
  long long total = (long long)(date >> 16) * 1440 + (long long)(date >> 8 & 0xFF) * 60 + (long long)(date & 0xFF) + minutes;
  return (dword)(total / 1440) << 16 | (dword)(total % 1440 / 60) << 8 | (dword)(total % 60);
}

// ---------------------------------------------------------------------------------------
// Building the tables

struct Layout {
  int systemType;
  size_t favouritesSize, timerSize;
  int groups, entries;
};

size_t TimerTransponderAt(const Layout &l) {
  if (l.systemType == SYSTEM_TYPE_TERRESTRIAL && l.timerSize != 200) return l.timerSize == 360 ? 344 : 192;
  return 184;
}

// Byte ranges of a timer entry that no field covers.
std::vector<std::pair<size_t, size_t>> SpareRanges(const Layout &l) {
  if (l.systemType == SYSTEM_TYPE_CABLE) return {{196, 200}};
  if (l.systemType == SYSTEM_TYPE_TERRESTRIAL && l.timerSize == 360) return {{192, 344}};
  if (l.systemType == SYSTEM_TYPE_TERRESTRIAL && l.timerSize != 200) return {{208, l.timerSize}};
  return {};
}

void Put16(std::vector<byte> *out, long long v) {
  byte b[2];
  PutLE16(b, (word)v);
  out->insert(out->end(), b, b + 2);
}

void Put32(std::vector<byte> *out, long long v) {
  byte b[4];
  PutLE32(b, (dword)v);
  out->insert(out->end(), b, b + 4);
}

std::vector<byte> TransponderEntry(int systemType, const json &tp, long long satIndex) {
  std::vector<byte> out;
  auto g = [&](const char *key) { return Int(tp, key); };
  if (systemType == SYSTEM_TYPE_SATELLITE) {
    long long fec = g("fec");
    out.push_back((byte)satIndex);
    out.push_back((byte)((g("polarisation") & 1) | (g("unused1") & 7) << 1 | (g("mod_system") & 1) << 4 |
                         (g("modulation") & 3) << 5 | (fec & 1) << 7));
    out.push_back((byte)((fec >> 1 & 7) | (g("pilot") & 1) << 3 | (g("unused2") & 15) << 4));
    out.push_back((byte)g("unused3"));
    Put32(&out, g("frequency"));
    Put16(&out, g("symbol_rate"));
    Put16(&out, g("tsid"));
    Put16(&out, (g("clock_sync") & 1) | (g("unused4") & 0x7FFF) << 1);
    Put16(&out, g("onid"));
  } else if (systemType == SYSTEM_TYPE_TERRESTRIAL) {
    for (long long v : {satIndex, g("channel_number"), g("bandwidth"), g("unused1")}) out.push_back((byte)v);
    Put32(&out, g("frequency"));
    Put16(&out, g("tsid"));
    out.push_back((byte)g("lphp"));
    out.push_back((byte)g("unused2"));
    Put16(&out, g("onid"));
    Put16(&out, g("network_id"));
  } else {
    Put32(&out, (g("frequency") & 0xFFFFFF) << 8);
    Put16(&out, g("symbol_rate"));
    Put16(&out, g("tsid"));
    Put16(&out, g("onid"));
    out.push_back((byte)g("modulation"));
    out.push_back((byte)g("unused1"));
  }
  return out;
}

std::vector<byte> Lnb(const json &lnb) {
  auto g = [&](const char *key) { return Int(lnb, key); };
  std::vector<byte> out;
  Put32(&out, (g("lnb_supply") & 1) | (g("unused1") & 1) << 1 | (g("diseqc10") & 7) << 2 | (g("unused2") & 7) << 5 |
                  (g("diseqc12") & 0xFF) << 8 | (g("universal_lnb") & 1) << 16 | (g("switch22") & 1) << 17 |
                  (g("low_band") & 0x3FFF) << 18);
  Put16(&out, g("hb_frq"));
  std::vector<byte> flags = HexField(lnb, "diseqc12_flags", 3);
  out.insert(out.end(), flags.begin(), flags.end());
  out.push_back((byte)((g("unused3") & 0x3F) | (g("loop_through") & 1) << 6 | (g("unused4") & 1) << 7));
  out.push_back((byte)g("diseqc11"));
  std::vector<byte> spare = HexField(lnb, "unused5", 5);
  out.insert(out.end(), spare.begin(), spare.end());
  return out;
}

const json &TransponderOf(const json &satellites, long long sat, long long tp) {
  if (sat < 0 || (size_t)sat >= satellites.size()) throw WorldError("no satellite " + std::to_string(sat));
  const json &list = List(satellites[(size_t)sat], "transponders");
  if (tp < 0 || (size_t)tp >= list.size()) {
    throw WorldError("no transponder " + std::to_string(tp) + " on satellite " + std::to_string(sat));
  }
  return list[(size_t)tp];
}

void BuildServices(const json &world, TableImage *image) {
  const json &services = Has(world, "services") ? world["services"] : json::object();
  std::vector<dword> offsets[2];
  for (int kind = 0; kind < 2; kind++) {
    for (const json &svc : List(services, kind ? "radio" : "tv")) {
      if (Has(svc, "name_offset")) {
        offsets[kind].push_back((dword)Int(svc, "name_offset"));
        continue;
      }
      offsets[kind].push_back((dword)image->serviceNames.size());
      std::vector<byte> name = PvrText(Text(svc, "name"), Text(svc, "charset"));
      image->serviceNames.insert(image->serviceNames.end(), name.begin(), name.end());
      image->serviceNames.push_back(0);
    }
  }
  for (int kind = 0; kind < 2; kind++) {
    std::vector<byte> &out = kind ? image->radioServices : image->tvServices;
    size_t i = 0;
    for (const json &svc : List(services, kind ? "radio" : "tv")) {
      auto g = [&](const char *key) { return Int(svc, key); };
      Put32(&out, (g("satellite") & 0xFF) | (g("video_stream_type") & 0xFF) << 8 | (g("transponder") & 0x3FF) << 16 |
                      (g("tuner") & 3) << 26 | (g("skip") & 1) << 28 | (g("locked") & 1) << 29 |
                      (g("scrambled") & 1) << 30 | (g("deleted") & 1) << 31);
      for (const char *key : {"service_id", "pmt_pid", "pcr_pid", "video_pid", "audio_pid"}) Put16(&out, g(key));
      Put16(&out, (g("name_lock") & 1) | (g("flags2") & 0x7FFF) << 1);
      Put32(&out, offsets[kind][i++]);
      Put16(&out, Has(svc, "provider") && !svc["provider"].is_null() ? g("provider") : 0xFFFF);
      Put16(&out, g("lcn"));
      std::vector<byte> unknown2 = HexField(svc, "unknown2", 6);
      out.insert(out.end(), unknown2.begin(), unknown2.end());
      Put16(&out, g("audio_stream_type"));
    }
  }
}

void BuildProviders(const json &world, TableImage *image) {
  const json &providers = List(world, "providers");
  if (providers.size() > PROVIDER_ENTRIES) throw WorldError("at most 256 providers");
  image->providers.assign(PROVIDER_BLOCK_SIZE, 0);
  for (size_t i = 0; i < providers.size(); i++) {
    json p = providers[i].is_string() ? json{{"name", providers[i]}} : providers[i];
    PutField(image->providers.data() + i * PROVIDER_ENTRY_SIZE, PROVIDER_ENTRY_SIZE,
             PvrText(Text(p, "name"), Text(p, "charset")));
  }
}

long long TransponderCountOf(const json &sat) {
  return Int(sat, "transponder_count", (long long)List(sat, "transponders").size());
}

void BuildSatellites(const Layout &l, const json &satellites, TableImage *image) {
  if (l.systemType != SYSTEM_TYPE_SATELLITE) {
    std::vector<byte> &out = image->satellites;
    out.assign(SAT_ENTRY_SIZE, 0);
    PutLE16(out.data(), (word)TransponderCountOf(satellites[0]));
    if (l.systemType == SYSTEM_TYPE_TERRESTRIAL) {
      PutField(out.data() + 2, 16, PvrText(Text(satellites[0], "name"), Text(satellites[0], "charset")));
    }
    for (const json &tp : List(satellites[0], "transponders")) {
      std::vector<byte> entry = TransponderEntry(l.systemType, tp, 0);
      image->transponders.insert(image->transponders.end(), entry.begin(), entry.end());
    }
    return;
  }
  if (satellites.size() >= SAT_TABLE_ENTRIES) throw WorldError("too many satellites");
  Put32(&image->transponders, 0);
  dword count = 0;
  for (size_t s = 0; s < satellites.size(); s++) {
    const json &sat = satellites[s];
    std::vector<byte> entry(SAT_ENTRY_SIZE, 0);
    PutLE16(entry.data(), (word)TransponderCountOf(sat));
    PutLE16(entry.data() + 2, (word)Int(sat, "unused1"));
    PutField(entry.data() + 4, 16, PvrText(Text(sat, "name"), Text(sat, "charset")));
    const json &lnbs = List(sat, "lnb");
    for (size_t i = 0; i < 2; i++) {
      std::vector<byte> lnb = Lnb(i < lnbs.size() ? lnbs[i] : json::object());
      memcpy(entry.data() + 20 + 16 * i, lnb.data(), 16);
    }
    std::vector<byte> unknown1 = HexField(sat, "unknown1", 22), unused2 = HexField(sat, "unused2", 8);
    memcpy(entry.data() + 52, unknown1.data(), 22);
    PutLE16(entry.data() + 74, (word)Int(sat, "position"));
    memcpy(entry.data() + 76, unused2.data(), 8);
    image->satellites.insert(image->satellites.end(), entry.begin(), entry.end());
    for (const json &tp : List(sat, "transponders")) {
      std::vector<byte> e = TransponderEntry(l.systemType, tp, (long long)s);
      image->transponders.insert(image->transponders.end(), e.begin(), e.end());
      count++;
    }
  }
  image->satellites.resize(image->satellites.size() + SAT_ENTRY_SIZE, 0);   // the empty end entry
  PutLE32(image->transponders.data(), count);
}

void BuildFavourites(const Layout &l, const json &world, TableImage *image) {
  const json &fav = Has(world, "favourites") ? world["favourites"] : json::object();
  const json &groups = List(fav, "groups");
  size_t groupSize = FAV_GROUP_NAME_SIZE + 3 * (size_t)l.entries + 2;
  if (groups.size() > (size_t)l.groups) throw WorldError("this favourites variant holds " + std::to_string(l.groups) + " groups");
  image->favourites.assign(l.favouritesSize, 0);
  for (size_t g = 0; g < groups.size(); g++) {
    byte *base = image->favourites.data() + g * groupSize;
    const json &services = List(groups[g], "services");
    if (services.size() > (size_t)l.entries) throw WorldError("a favourites group has too many entries");
    PutField(base, FAV_GROUP_NAME_SIZE, PvrText(Text(groups[g], "name"), Text(groups[g], "charset")));
    for (size_t i = 0; i < services.size(); i++) {
      PutLE16(base + FAV_GROUP_NAME_SIZE + 2 * i, (word)Int(services[i], "number"));
      base[FAV_GROUP_NAME_SIZE + 2 * (size_t)l.entries + i] = (byte)Int(services[i], "type");
    }
    base[FAV_GROUP_NAME_SIZE + 3 * (size_t)l.entries] = (byte)Int(groups[g], "count", (long long)services.size());
    base[FAV_GROUP_NAME_SIZE + 3 * (size_t)l.entries + 1] = (byte)Int(groups[g], "extra");
  }
  image->settings.assign(64, 0);
  image->settings[SETTINGS_FAV_GROUP] = (byte)Int(fav, "selected", FAV_GROUP_NONE);
}

std::vector<byte> TimerEntry(const Layout &l, const json &world, const json &timer) {
  auto g = [&](const char *key, long long fallback = 0) { return Int(timer, key, fallback); };
  long long type = g("service_type"), number = g("service_number"), analogue = g("analogue_type");
  const json &services = world.value("services", json::object());
  const json &list = List(services, type & 1 ? "radio" : "tv");
  json svc = !analogue && number >= 0 && (size_t)number < list.size() ? list[(size_t)number] : json::object();
  long long sat = g("satellite", Int(svc, "satellite"));
  if (!Has(timer, "start")) throw WorldError("a timer needs its \"start\"");
  dword start = PvrDate(Text(timer, "start"));
  dword end = Has(timer, "end") ? PvrDate(Text(timer, "end")) : AddMinutes(start, g("duration"));
  std::vector<byte> e(l.timerSize, 0);
  e[0] = (byte)g("tuner", 3);
  e[1] = (byte)((g("rec_mode") & 7) | (g("demux_path") & 3) << 3 | (g("manual_rec") & 1) << 5 | (g("unused1") & 3) << 6);
  e[2] = (byte)sat;
  e[3] = (byte)((type & 1) | (g("reservation_type") & 7) << 1 | (g("unused2") & 15) << 4);
  PutLE16(&e[4], (word)g("service_id", Int(svc, "service_id")));
  PutLE16(&e[6], (word)g("duration"));
  e[8] = (byte)g("unused3");
  PutField(&e[9], 131, PvrText(Text(timer, "file_name"), Text(timer, "charset")));
  PutLE32(&e[140], start);
  PutLE32(&e[144], end);
  PutLE16(&e[148], (word)g("pmt_pid", Int(svc, "pmt_pid")));
  e[150] = (byte)g("is_rec", 1);
  e[151] = (byte)g("name_set");
  e[152] = (byte)g("unused4");
  e[153] = (byte)g("epg_marker");
  PutLE16(&e[154], (word)g("unused5"));
  PutLE32(&e[156], (dword)g("unknown1"));
  PutLE32(&e[160], (dword)g("event_id1"));
  PutLE32(&e[164], (dword)g("event_id2"));
  PutLE16(&e[168], (word)number);
  std::vector<byte> unused8 = HexField(timer, "unused8", 8);
  if (Has(timer, "analogue_type")) unused8[6] = (byte)analogue;
  memcpy(&e[170], unused8.data(), 8);
  e[178] = (byte)g("icetv");
  size_t at = TimerTransponderAt(l);
  std::vector<byte> unused9 = HexField(timer, "unused9", 13);
  memcpy(&e[179], unused9.data(), at == 184 ? 5 : 13);
  json tp = Has(timer, "transponder") && !timer["transponder"].is_null() ? timer["transponder"] : json();
  if (tp.is_null()) {
    tp = svc.empty() ? json::object() : TransponderOf(world.value("satellites", json::array()), sat, Int(svc, "transponder"));
  }
  std::vector<byte> part;
  if (l.systemType == SYSTEM_TYPE_CABLE) {
    Put32(&part, Int(tp, "frequency"));
    Put16(&part, Int(tp, "symbol_rate"));
    Put16(&part, Int(tp, "tsid"));
    Put16(&part, Int(tp, "onid"));
    part.push_back((byte)Int(tp, "modulation"));
    part.push_back((byte)Int(tp, "unused1"));
  } else {
    part = TransponderEntry(l.systemType, tp, Int(tp, "sat_index", sat));
  }
  memcpy(&e[at], part.data(), part.size());
  std::vector<byte> spare;
  std::string hex = Text(timer, "spare_bytes");
  for (size_t i = 0; i + 1 < hex.size(); i += 2) spare.push_back((byte)std::stoi(hex.substr(i, 2), nullptr, 16));
  size_t used = 0;   // each range takes its length of the spare bytes, zero-padded
  for (auto range : SpareRanges(l)) {
    for (size_t i = range.first; i < range.second; i++, used++) e[i] = used < spare.size() ? spare[used] : 0;
  }
  return e;
}

Layout LayoutOf(const json &world) {
  Layout l;
  l.systemType = (int)Int(world, "system_type", SYSTEM_TYPE_SATELLITE);
  if (l.systemType < SYSTEM_TYPE_SATELLITE || l.systemType > SYSTEM_TYPE_CABLE) {
    throw WorldError("system type " + std::to_string(l.systemType) + " has no table layout");
  }
  l.favouritesSize = (size_t)Int(world, "favourites_variant", FAV_BLOCK_SIZE_LARGE);
  if (l.favouritesSize != FAV_BLOCK_SIZE_SMALL && l.favouritesSize != FAV_BLOCK_SIZE_LARGE) {
    throw WorldError("favourites variant must be 1644 or 9424");
  }
  l.groups = l.favouritesSize == FAV_BLOCK_SIZE_SMALL ? 10 : 30;
  l.entries = l.favouritesSize == FAV_BLOCK_SIZE_SMALL ? 50 : 100;
  l.timerSize = (size_t)Int(world, "timer_entry_size", TIMER_ENTRY_SIZE);
  if (l.timerSize != TIMER_ENTRY_SIZE && (l.systemType != SYSTEM_TYPE_TERRESTRIAL || l.timerSize < 208 || l.timerSize > 1024)) {
    throw WorldError("timer entries of this system type cannot have " + std::to_string(l.timerSize) + " bytes");
  }
  return l;
}

// ---------------------------------------------------------------------------------------
// Reading the firmware's timers and favourites back

json DecodeTransponderPart(const Layout &l, const byte *p) {
  if (l.systemType == SYSTEM_TYPE_CABLE) {
    return {{"frequency", GetLE32(p)}, {"symbol_rate", GetLE16(p + 4)}, {"tsid", GetLE16(p + 6)},
            {"onid", GetLE16(p + 8)}, {"modulation", p[10]}, {"unused1", p[11]}};
  }
  if (l.systemType == SYSTEM_TYPE_SATELLITE) {
    return {{"sat_index", p[0]}, {"frequency", GetLE32(p + 4)}, {"symbol_rate", GetLE16(p + 8)},
            {"polarisation", p[1] & 1}, {"modulation", p[1] >> 5 & 3}, {"mod_system", p[1] >> 4 & 1},
            {"fec", (p[1] >> 7) | (p[2] & 7) << 1}, {"pilot", p[2] >> 3 & 1}, {"tsid", GetLE16(p + 10)},
            {"onid", GetLE16(p + 14)}, {"clock_sync", GetLE16(p + 12) & 1}, {"unused1", p[1] >> 1 & 7},
            {"unused2", p[2] >> 4}, {"unused3", p[3]}, {"unused4", GetLE16(p + 12) >> 1}};
  }
  return {{"sat_index", p[0]}, {"channel_number", p[1]}, {"bandwidth", p[2]}, {"unused1", p[3]},
          {"frequency", GetLE32(p + 4)}, {"tsid", GetLE16(p + 8)}, {"lphp", p[10]}, {"unused2", p[11]},
          {"onid", GetLE16(p + 12)}, {"network_id", GetLE16(p + 14)}};
}

// One timer with every field explicit, so that it is encoded again to the same bytes.
json DecodeTimer(const Layout &l, const byte *e) {
  size_t at = TimerTransponderAt(l);
  json t = {{"service_type", e[3] & 1}, {"service_number", GetLE16(e + 168)}, {"start", PvrDateText(GetLE32(e + 140))},
            {"end", PvrDateText(GetLE32(e + 144))}, {"duration", GetLE16(e + 6)}};
  ReadPvrText(FieldText(e + 9, 131), &t, "file_name");
  std::vector<byte> unused9(13, 0);
  memcpy(unused9.data(), e + 179, at == 184 ? 5 : 13);
  std::string spare;
  for (auto range : SpareRanges(l)) spare += HexOf(e + range.first, range.second - range.first);
  t.update({{"is_rec", e[150]}, {"name_set", e[151]}, {"tuner", e[0]}, {"rec_mode", e[1] & 7},
            {"demux_path", e[1] >> 3 & 3}, {"manual_rec", e[1] >> 5 & 1}, {"unused1", e[1] >> 6}, {"satellite", e[2]},
            {"reservation_type", e[3] >> 1 & 7}, {"unused2", e[3] >> 4}, {"service_id", GetLE16(e + 4)},
            {"unused3", e[8]}, {"pmt_pid", GetLE16(e + 148)}, {"unused4", e[152]}, {"epg_marker", e[153]},
            {"unused5", GetLE16(e + 154)}, {"unknown1", GetLE32(e + 156)}, {"event_id1", GetLE32(e + 160)},
            {"event_id2", GetLE32(e + 164)}, {"analogue_type", e[176]}, {"unused8", HexOf(e + 170, 8)},
            {"icetv", e[178]}, {"unused9", HexOf(unused9.data(), 13)}, {"transponder", DecodeTransponderPart(l, e + at)},
            {"spare_bytes", spare}});
  return t;
}

json DecodeFavourites(const Layout &l, const std::vector<byte> &block, byte selected) {
  size_t groupSize = FAV_GROUP_NAME_SIZE + 3 * (size_t)l.entries + 2;
  json groups = json::array();
  for (size_t g = 0; g < (size_t)l.groups && (g + 1) * groupSize <= block.size(); g++) {
    const byte *base = block.data() + g * groupSize;
    if (!base[0]) break;
    json group;
    ReadPvrText(FieldText(base, FAV_GROUP_NAME_SIZE), &group, "name");
    group["extra"] = base[FAV_GROUP_NAME_SIZE + 3 * (size_t)l.entries + 1];
    json services = json::array();
    size_t count = std::min<size_t>(base[FAV_GROUP_NAME_SIZE + 3 * (size_t)l.entries], (size_t)l.entries);
    for (size_t i = 0; i < count; i++) {
      services.push_back({{"type", base[FAV_GROUP_NAME_SIZE + 2 * (size_t)l.entries + i]},
                          {"number", GetLE16(base + FAV_GROUP_NAME_SIZE + 2 * i)}});
    }
    group["services"] = services;
    groups.push_back(group);
  }
  return {{"selected", selected == FAV_GROUP_NONE ? json() : json(selected)}, {"groups", groups}};
}

void WriteWorld() {
  std::string temporary = gWorldPath + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << gWorld.dump(1) << "\n";
    if (!out.flush()) {
      Effect("world: cannot write %s", temporary.c_str());
      return;
    }
  }
  if (rename(temporary.c_str(), gWorldPath.c_str()) != 0) Effect("world: cannot replace %s", gWorldPath.c_str());
}

void Snapshot() {
  size_t entry = 0;
  gSavedTimers = TimerTable(&entry);
  gSavedFavourites = FavouritesBlock();
  gSavedSelection = SettingsBlock()[SETTINGS_FAV_GROUP];
}

}  // namespace

bool BuildTableImage(const nlohmann::json &world, TableImage *image, std::string *error) {
  try {
    if (!world.is_object()) throw WorldError("the world is not a JSON object");
    Layout l = LayoutOf(world);
    TableImage im;
    im.systemType = l.systemType;
    im.timerEntrySize = l.timerSize;
    const json &satellites = List(world, "satellites");
    if (l.systemType != SYSTEM_TYPE_SATELLITE && satellites.size() != 1) {
      throw WorldError("a terrestrial or cable world has exactly one satellite entry");
    }
    BuildServices(world, &im);
    BuildProviders(world, &im);
    BuildSatellites(l, satellites, &im);
    BuildFavourites(l, world, &im);
    for (const json &timer : List(world, "timers")) {
      std::vector<byte> entry = TimerEntry(l, world, timer);
      im.timers.insert(im.timers.end(), entry.begin(), entry.end());
    }
    if (Has(world, "current_channel") && world["current_channel"].is_object()) {
      im.currentType = (int)Int(world["current_channel"], "type");
      im.currentNumber = (int)Int(world["current_channel"], "number");
    }
    *image = im;
    return true;
  } catch (const std::exception &e) {
    *error = std::string("world.json: ") + e.what();
    return false;
  }
}

bool LoadWorld(const std::string &path, std::string *error) {
  gWorldPath.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;   // no world: an empty PVR
  std::stringstream text;
  text << in.rdbuf();
  json world = json::parse(text.str(), nullptr, false);
  TableImage image;
  if (world.is_discarded()) {
    *error = "world.json is not JSON";
    return false;
  }
  if (!BuildTableImage(world, &image, error)) return false;
  if (image.systemType != gSystem.systemType) {
    *error = "world.json is for system type " + std::to_string(image.systemType) + ", the firmware's is " +
             std::to_string(gSystem.systemType);
    return false;
  }
  if (!InstallTables(image, error)) return false;
  gWorld = world;
  gWorldPath = path;
  Snapshot();
  Effect("world: %zu tv and %zu radio services, %d timers, system type %d", image.tvServices.size() / SERVICE_ENTRY_SIZE,
         image.radioServices.size() / SERVICE_ENTRY_SIZE, TAP_Timer_GetTotalNum(), image.systemType);
  return true;
}

void SaveWorldChanges() {
  if (gWorldPath.empty()) return;
  size_t entry = 0;
  std::vector<byte> timers = TimerTable(&entry);
  std::vector<byte> favourites = FavouritesBlock();
  byte selected = SettingsBlock()[SETTINGS_FAV_GROUP];
  bool timersChanged = timers != gSavedTimers;
  bool favouritesChanged = favourites != gSavedFavourites || selected != gSavedSelection;
  if (!timersChanged && !favouritesChanged) return;
  Layout l = LayoutOf(gWorld);
  if (timersChanged) {
    json list = json::array();
    for (size_t i = 0; i + entry <= timers.size(); i += entry) list.push_back(DecodeTimer(l, timers.data() + i));
    gWorld["timers"] = list;
  }
  if (favouritesChanged) gWorld["favourites"] = DecodeFavourites(l, favourites, selected);
  WriteWorld();
  Snapshot();
  Effect("world written: %zu timers", gWorld["timers"].size());
}

bool InstallTables(const TableImage &image, std::string *error) {
  if (image.settings.size() > SETTINGS_SIZE) {
    *error = "the settings block holds at most " + std::to_string(SETTINGS_SIZE) + " bytes";
    return false;
  }
  if (!InstallChannelTables(image, error) || !InstallTimerTable(image, error)) return false;
  byte *settings = SettingsBlock();
  memset(settings, 0, SETTINGS_SIZE);
  if (image.settings.empty()) {
    settings[SETTINGS_FAV_GROUP] = FAV_GROUP_NONE;
  } else {
    memcpy(settings, image.settings.data(), image.settings.size());
  }
  return true;
}

}  // namespace emu
