// The firmware interface: every hook of the list resolves to the emulator's definition
// under the list's symbol, optional hooks follow the profile, hooks are bound once.
#include "platform/firmware_hooks.h"

#include <string>

#include "emulator/emulator.h"
#include "platform/directory_stack.h"
#include "platform/tap_tasks.h"
#include "tests/unit/emulated_pvr.h"

namespace {

class FirmwareHooks : public EmulatedPvr {
 protected:
  void AllOptionalSymbols() {
    std::string error;
    ASSERT_TRUE(emu::SetOptionalSymbols(emu::KnownOptionalSymbols(), &error)) << error;
  }
};

// Every hook, looked up by the text the list gives, is what the emulator's firmware
// module exports: a hand-typed mangled name that differs from the compiler's would not
// resolve. The accessors give the same function, the variable's address or the table.
TEST_F(FirmwareHooks, EveryHookOfTheListResolvesToTheEmulatorsDefinition) {
  AllOptionalSymbols();
  for (int id = 0; id < FW_HOOK_COUNT; id++) {
    const FirmwareHookInfo &info = gFirmwareHooks[id];
    void *definition = emu::HookDefinition(FirmwareHookId(id));
    ASSERT_NE(definition, nullptr) << info.symbol;
    EXPECT_EQ(TryResolve(info.symbol), definition) << info.symbol;
    if (info.kind == FW_KIND_TABLE) {
      // Every table lies in firmware memory, its address a 32-bit word.
      byte *table = emu::PublishedTable(FirmwareHookId(id));
      EXPECT_NE(table, nullptr) << info.symbol;
      EXPECT_NE(FirmwareWord(table), 0u) << info.symbol;
    }
  }
#define FW_FUNCTION(id, name, symbol, ret, params, presence) \
  EXPECT_EQ(reinterpret_cast<void *>(Hook##id()), emu::HookDefinition(FW_HOOK_##id)) << symbol;
#define FW_C_FUNCTION FW_FUNCTION
#define FW_TABLE(id, name, symbol, presence) \
  EXPECT_EQ(Firmware##id(), emu::PublishedTable(FW_HOOK_##id)) << symbol;
#define FW_DATA(id, name, symbol, type, presence) \
  EXPECT_EQ(static_cast<void *>(Firmware##id()), emu::HookDefinition(FW_HOOK_##id)) << symbol;
#include "platform/firmware_interface.def"
}

// Every TAP API function of the list is exported by the emulated firmware with C linkage.
TEST_F(FirmwareHooks, EveryTapApiFunctionOfTheListIsExported) {
#define TAP_API(name, ret, params) EXPECT_EQ(TryResolve(#name), reinterpret_cast<void *>(&name)) << #name;
#include "platform/firmware_interface.def"
}

TEST_F(FirmwareHooks, CallsReachTheEmulatedFirmware) {
  AllOptionalSymbols();
  ::testing::internal::CaptureStdout();
  HookPutDevEvt()(DEV_EVENT_POWER_OFF, 0);
  HookAnalogChangeAction()();
  EXPECT_EQ(HookGetAnalogEncoderState()(), 1);
  EXPECT_EQ(*FirmwareIsAnalogMode(), 1);
  std::string effects = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(effects.find("pvrsim: power off\n"), std::string::npos) << effects;
  EXPECT_NE(effects.find("pvrsim: analog input on\n"), std::string::npos) << effects;
  EXPECT_EQ(*FirmwareCurrentTapTask(), (dword)emu::CurrentSlot());
  unsigned char text[] = "ok \xC3";
  EXPECT_EQ(HookConvertToValidUTF8Str()(text, 4), 4);
  EXPECT_STREQ(reinterpret_cast<char *>(text), "ok ?");
}

TEST_F(FirmwareHooks, OptionalHooksFollowTheProfile) {
  std::string error;
  ASSERT_TRUE(emu::SetOptionalSymbols({}, &error)) << error;
  for (const FirmwareHookInfo &info : gFirmwareHooks) {
    if (info.optional == FW_OPTIONAL) {
      EXPECT_EQ(TryResolve(info.symbol), nullptr) << info.symbol;
    } else {
      EXPECT_NE(TryResolve(info.symbol), nullptr) << info.symbol;
    }
  }
  EXPECT_FALSE(isUTFFirmware());
  EXPECT_FALSE(isAUFirmware());
  EXPECT_FALSE(emu::SetOptionalSymbols({"_tapTask"}, &error));   // not an optional hook
  EXPECT_FALSE(emu::SetOptionalSymbols({"_Z9NoSuchHookv"}, &error));
}

TEST_F(FirmwareHooks, TheProfileCanLeaveOutAnyHook) {
  WriteFile("/pvrsim.json",
            "{\"optional_symbols\": [\"_Z26Appl_ConvertToValidUTF8StrPhi\"],"
            " \"absent_symbols\": [\"_tapTask\", \"_Z16Appl_ExecProgramPc\"]}");
  std::string error;
  ASSERT_TRUE(emu::Start(root_, &error)) << error;
  ResetFirmwareHooks();
  emu::ClearTasks();
  ASSERT_EQ(emu::AttachLinkedTap(0x514B570F, "/ProgramFiles", TAP_EventHandler), 0);
  EXPECT_EQ(TryResolve("_tapTask"), nullptr);
  EXPECT_EQ(TryResolve("_Z16Appl_ExecProgramPc"), nullptr);
  EXPECT_NE(TryResolve("_curTapTask"), nullptr);
  EXPECT_TRUE(isUTFFirmware());
  // Without the task table the TAP's folder and the other TAPs cannot be reached.
  char folder[64];
  EXPECT_EQ(HDD_TAP_GetCurrentDir(folder, sizeof folder), 0);
  EXPECT_EQ(HDD_TAP_SendEvent(0, false, EVT_IDLE, 0, 0), 0);
  WriteFile("/pvrsim.json", "{\"absent_symbols\": [\"_Z9NoSuchHookv\"]}");
  EXPECT_FALSE(emu::Start(root_, &error));
  EXPECT_NE(error.find("_Z9NoSuchHookv"), std::string::npos) << error;
}

// A hook is looked up once; a failed lookup is tried again at the next use.
TEST_F(FirmwareHooks, HooksAreBoundOnceAndAFailedLookupIsTriedAgain) {
  std::string error;
  FwExecProgram exec = HookExecProgram();
  ASSERT_NE(exec, nullptr);
  ASSERT_TRUE(emu::MakeHookAbsent("_Z16Appl_ExecProgramPc", true, &error)) << error;
  EXPECT_EQ(HookExecProgram(), exec);   // kept: no second lookup
  ResetFirmwareHooks();
  EXPECT_EQ(HookExecProgram(), nullptr);
  ASSERT_TRUE(emu::MakeHookAbsent("_Z16Appl_ExecProgramPc", false, &error)) << error;
  EXPECT_NE(HookExecProgram(), nullptr);   // the null result was not kept
  EXPECT_FALSE(emu::MakeHookAbsent("NoSuchHook", true, &error));
  EXPECT_NE(error.find("NoSuchHook"), std::string::npos);

  // The variants are decided by the first answer.
  ASSERT_TRUE(emu::SetOptionalSymbols({}, &error)) << error;
  EXPECT_FALSE(isAUFirmware());
  ASSERT_TRUE(emu::SetOptionalSymbols({"_contentDesStr_AUS"}, &error)) << error;
  EXPECT_FALSE(isAUFirmware());
  ResetFirmwareHooks();
  EXPECT_TRUE(isAUFirmware());
}

// A variable keeps its value while its hook is absent and appears with it again.
TEST_F(FirmwareHooks, AVariableKeepsItsValueWhileItsHookIsAbsent) {
  std::string error;
  ASSERT_TRUE(emu::SetOptionalSymbols({"_isAnalogMode"}, &error)) << error;
  emu::FirmwareVariable<byte>(FW_HOOK_IsAnalogMode) = 1;
  ASSERT_TRUE(emu::SetOptionalSymbols({}, &error)) << error;
  EXPECT_EQ(TryResolve("_isAnalogMode"), nullptr);
  EXPECT_EQ(emu::FirmwareVariable<byte>(FW_HOOK_IsAnalogMode), 1);
  ASSERT_TRUE(emu::SetOptionalSymbols({"_isAnalogMode"}, &error)) << error;
  byte *variable = static_cast<byte *>(TryResolve("_isAnalogMode"));
  ASSERT_NE(variable, nullptr);
  EXPECT_EQ(*variable, 1);
}

// Tables whose size the firmware tells by the distance to the next block.
TEST_F(FirmwareHooks, TableSizesByTheDistanceToTheNextBlock) {
  EXPECT_EQ(FirmwareGameSaveData() - FirmwareFavourites(), FAV_BLOCK_SIZE_LARGE);
  EXPECT_EQ(FirmwareTimerTempInfo() - FirmwareTimerEditInfo(), TIMER_ENTRY_SIZE);
  EXPECT_EQ(FirmwareSettings()[SETTINGS_FAV_GROUP], 255);   // no group selected
}

}  // namespace
