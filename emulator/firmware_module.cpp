// The firmware modules: every firmware hook under its firmware symbol. This object is
// linked once per hook into a module that exports only that hook's symbol (a version
// script named by the list's symbol text), so a module is loaded exactly while its hook
// exists. A function hook passes its call on to the emulator's definition; a data or table
// hook is the firmware variable itself, which the emulator finds in the module when it
// loads it.
#include "platform/firmware_hooks.h"

// The emulator's definition of each function hook, by FirmwareHookId (emu_symbols.cpp).
extern "C" void *const emu_FirmwareHookTargets[FW_HOOK_COUNT];

// Parameter lists with positional names a1, a2, ... made from a list of types.
#define FW_COUNT(...) FW_COUNT_(__VA_ARGS__ __VA_OPT__(,) 6, 5, 4, 3, 2, 1, 0)
#define FW_COUNT_(a, b, c, d, e, f, n, ...) n
#define FW_CAT(a, b) FW_CAT_(a, b)
#define FW_CAT_(a, b) a##b
#define FW_PARAMS(...) (FW_CAT(FW_P, FW_COUNT(__VA_ARGS__))(__VA_ARGS__))
#define FW_P0()
#define FW_P1(t1) t1 a1
#define FW_P2(t1, t2) t1 a1, t2 a2
#define FW_P3(t1, t2, t3) t1 a1, t2 a2, t3 a3
#define FW_P4(t1, t2, t3, t4) t1 a1, t2 a2, t3 a3, t4 a4
#define FW_P5(t1, t2, t3, t4, t5) t1 a1, t2 a2, t3 a3, t4 a4, t5 a5
#define FW_P6(t1, t2, t3, t4, t5, t6) t1 a1, t2 a2, t3 a3, t4 a4, t5 a5, t6 a6
#define FW_ARGS(...) (FW_CAT(FW_A, FW_COUNT(__VA_ARGS__)))
#define FW_A0
#define FW_A1 a1
#define FW_A2 a1, a2
#define FW_A3 a1, a2, a3
#define FW_A4 a1, a2, a3, a4
#define FW_A5 a1, a2, a3, a4, a5
#define FW_A6 a1, a2, a3, a4, a5, a6

#define FW_FORWARD(id, ret, params) \
  { return reinterpret_cast<ret(*) params>(emu_FirmwareHookTargets[FW_HOOK_##id]) FW_ARGS params; }
#define FW_FUNCTION(id, name, symbol, ret, params, presence) ret name FW_PARAMS params FW_FORWARD(id, ret, params)
#define FW_C_FUNCTION(id, name, symbol, ret, params, presence) \
  extern "C" ret name FW_PARAMS params FW_FORWARD(id, ret, params)
#define FW_TABLE(id, name, symbol, presence) \
  extern "C" dword name;                     \
  dword name = 0;
#define FW_DATA(id, name, symbol, type, presence) \
  extern "C" type name;                           \
  type name = 0;
#include "platform/firmware_interface.def"
