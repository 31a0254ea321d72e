// Failure injection for tests: TAP_MemAlloc failures, files that cannot be opened or
// created, play information that cannot be read, firmware hooks that are absent. The same
// is reachable from pvrsim's standard input ("fail-alloc", "fail-open", "fail-playinfo", "absent", "present", "faults-off"; README).
#pragma once

#include <string>

namespace emu {

// The nth TAP_MemAlloc from now fails (1: the next one); 0 cancels it.
void FailAllocation(unsigned nth);
// Every TAP_MemAlloc fails from now on (true), or none (false).
void FailAllAllocations(bool on);
// Consumed by TAP_MemAlloc: true when this allocation is to fail.
bool AllocationFails();

// TAP_Hdd_Fopen and TAP_Hdd_Create fail for this name: a name without "/" matches a file
// of that name in any folder, a name with "/" the TAP path ("/ProgramFiles/x.ini").
void FailFileOpen(const std::string &name);
// True when opening or creating the file at this TAP path is to fail.
bool FileOpenFails(const std::string &tapPath);

// TAP_Hdd_GetPlayInfo fails (true) or answers again (false).
void FailPlayInfo(bool on);
bool PlayInfoFails();

// Makes a firmware hook absent (or present again) by its symbol. The TAPs must not have
// bound it yet: a bound hook keeps its address. False with a message for an unknown symbol.
bool MakeHookAbsent(const std::string &symbol, bool absent, std::string *error);

// Ends every injected failure (hooks made absent exist again).
void ClearFaults();

}  // namespace emu
