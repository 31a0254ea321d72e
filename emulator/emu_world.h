// The PVR's world: the firmware's service, name, provider, satellite, transponder,
// favourites, settings and timer tables, installed as bytes in the firmware's layouts of
// the system type (each table zero-padded to its firmware size) under the table hooks.
// The channel and timer subsystems answer the TAP API from these same bytes.
//
// "world.json" in the emulated root (emulator/WORLD.md) describes them; its tables are
// built field by field, and the firmware's changes to the timers and favourites are
// written back to it.
#pragma once

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "platform/firmware_layout.h"

namespace emu {

struct TableImage {
  int systemType = SYSTEM_TYPE_SATELLITE;
  std::vector<byte> tvServices, radioServices;   // SERVICE_ENTRY_SIZE bytes per service
  std::vector<byte> serviceNames, providers, satellites, transponders;
  std::vector<byte> favourites;                  // the variant's size: 1644 or 9424 bytes
  std::vector<byte> settings;
  std::vector<byte> timers;                      // timerEntrySize bytes per timer
  size_t timerEntrySize = TIMER_ENTRY_SIZE;
  int currentType = -1, currentNumber = -1;      // the current channel; -1: none
};

// The tables of a world file; false with a message for a world that is not valid.
bool BuildTableImage(const nlohmann::json &world, TableImage *image, std::string *error);
// Reads a world file and installs its tables; no file is an empty PVR. False with a
// message for a world that is not valid or not of the firmware's system type.
bool LoadWorld(const std::string &path, std::string *error);
// Writes the firmware's changes to the timers and favourites (selection included) back to
// the world file when there are any (a new file renamed over the old one).
void SaveWorldChanges();

// Puts the tables under the hooks; false with a message when one does not fit its
// firmware size or the layout (system type, favourites size, timer entry size) is unknown.
bool InstallTables(const TableImage &image, std::string *error);
int WorldSystemType();

// The parts of InstallTables, in the subsystems that own the tables.
bool InstallChannelTables(const TableImage &image, std::string *error);
bool InstallTimerTable(const TableImage &image, std::string *error);

// The favourites block as it is now (the firmware's changes included).
std::vector<byte> FavouritesBlock();
// The timer table as it is now: the timers' entries, and their size.
std::vector<byte> TimerTable(size_t *entrySize);
// What a timer takes from its service: satellite index, service ID, PMT PID and its
// transponder's table entry (null when the service has none). False for no such service.
bool TimerServiceFields(int type, int number, byte *satellite, word *serviceId, word *pmtPid, const byte **tpEntry);
// The number of the first service of a type on this satellite and transponder (indexes)
// with this service ID; -1 when there is none.
int FindServiceNumber(int type, int satellite, int transponder, int serviceId);

// Lays the recording-slot table ("_pvrRecInfo") out in entries of the timer entry size.
void LayOutRecordingSlots(size_t entrySize);

// Capacities of the emulated firmware.
constexpr int kServiceCapacity = 5000;   // services of each type
constexpr int kTimerCapacity = 100;

}  // namespace emu
