// Failure injection: the state the TAP API consults, and the hooks made absent.
#include "emulator/emu_faults.h"

#include <algorithm>
#include <set>
#include <vector>

#include "emulator/emulator.h"

namespace emu {

namespace {

unsigned gAllocationCountdown;   // 0: no single failure pending
bool gAllAllocationsFail;
std::set<std::string> gFailingFiles;
bool gPlayInfoFails;
std::vector<std::string> gAbsentHooks;

}  // namespace

void FailAllocation(unsigned nth) { gAllocationCountdown = nth; }

void FailAllAllocations(bool on) { gAllAllocationsFail = on; }

bool AllocationFails() {
  if (gAllAllocationsFail) return true;
  if (gAllocationCountdown == 0) return false;
  return --gAllocationCountdown == 0;
}

void FailFileOpen(const std::string &name) { gFailingFiles.insert(name); }

bool FileOpenFails(const std::string &tapPath) {
  if (gFailingFiles.count(tapPath)) return true;
  size_t slash = tapPath.rfind('/');
  return gFailingFiles.count(slash == std::string::npos ? tapPath : tapPath.substr(slash + 1)) != 0;
}

void FailPlayInfo(bool on) { gPlayInfoFails = on; }

bool PlayInfoFails() { return gPlayInfoFails; }

bool MakeHookAbsent(const std::string &symbol, bool absent, std::string *error) {
  if (FindHook(symbol) < 0) {
    *error = "unknown firmware symbol " + symbol;
    return false;
  }
  std::vector<std::string> hooks = gAbsentHooks;
  hooks.erase(std::remove(hooks.begin(), hooks.end(), symbol), hooks.end());
  if (absent) hooks.push_back(symbol);
  if (!SetFaultedSymbols(hooks, error)) return false;
  gAbsentHooks = hooks;
  return true;
}

void ClearFaults() {
  gAllocationCountdown = 0;
  gAllAllocationsFail = false;
  gFailingFiles.clear();
  gPlayInfoFails = false;
  std::string ignored;
  if (!gAbsentHooks.empty()) {
    gAbsentHooks.clear();
    SetFaultedSymbols({}, &ignored);
  }
}

}  // namespace emu
