// Starting TAP files and sending events through the firmware's task table: the task table
// and the start hand-over are read and written at their byte offsets.
#include "platform/tap_tasks.h"

#include <stdio.h>

#include <fstream>
#include <string>

#include "emulator/emulator.h"
#include "platform/byte_order.h"
#include "platform/directory_stack.h"
#include "platform/firmware_hooks.h"
#include "tests/unit/emulated_pvr.h"

namespace {

constexpr dword kEchoTapId = 0x54455354;

class TapTasks : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    std::ifstream in(ORVANE_ECHO_TAP, std::ios::binary);
    std::string tap((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(tap.empty());
    WriteFile("/mnt/hd/ProgramFiles/EchoTest.tap", tap);
    ASSERT_EQ(TAP_Hdd_ChangeDir("/ProgramFiles"), 1);
  }
  // The slot running the TAP with this ID, or -1.
  int SlotOf(dword id) {
    for (int slot = 0; slot < TAP_TASK_SLOTS; slot++) {
      if (emu::gTasks[slot].used && emu::gTasks[slot].id == id) return slot;
    }
    return -1;
  }
};

TEST_F(TapTasks, TheTaskTableLayout) {
  const byte *table = FirmwareTapTasks();
  ASSERT_NE(table, nullptr);
  const byte *slot0 = table;
  EXPECT_EQ(GetLE32(slot0 + TAP_TASK_STATUS), 1u);
  const byte *record = FirmwareAddress(GetLE32(slot0 + TAP_TASK_RECORD));
  ASSERT_NE(record, nullptr);
  EXPECT_STREQ(reinterpret_cast<const char *>(record + TAP_TASK_FOLDER), "/ProgramFiles");
  EXPECT_NE(GetLE32(slot0 + TAP_TASK_EVENT_HANDLER), 0u);
  const byte *slot1 = table + TAP_TASK_SLOT_SIZE;
  EXPECT_EQ(GetLE32(slot1 + TAP_TASK_STATUS), 0u);
  EXPECT_EQ(GetLE32(slot1 + TAP_TASK_RECORD), 0u);
  EXPECT_EQ(GetLE32(slot1 + TAP_TASK_EVENT_HANDLER), 0u);
  char folder[TAP_FOLDER_PATH_SIZE];
  ASSERT_EQ(HDD_TAP_GetCurrentDir(folder, sizeof folder), 1);
  EXPECT_STREQ(folder, "/ProgramFiles");
}

// The hand-over carries magic, TAP ID and the parameter block's address as three 32-bit
// words; the block comes from the TAP heap, so its address fits on every target.
TEST_F(TapTasks, StartHandsOverTheParameterBlock) {
  byte *block = static_cast<byte *>(TAP_MemAlloc(4));
  ASSERT_NE(block, nullptr);
  dword id = 0;
  ASSERT_EQ(HDD_TAP_Start("EchoTest.tap", false, block, &id), 1);
  EXPECT_EQ(id, kEchoTapId);
  emu::StartHandOver seen = emu::LastStartHandOver();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.magic, TAP_START_MAGIC);
  EXPECT_EQ(seen.id, kEchoTapId);
  EXPECT_EQ(FirmwareAddress(seen.block), block);
  EXPECT_FALSE(seen.batch);
  int slot = SlotOf(kEchoTapId);
  ASSERT_GT(slot, 0);
  const byte *record = FirmwareAddress(GetLE32(FirmwareTapTasks() + slot * TAP_TASK_SLOT_SIZE + TAP_TASK_RECORD));
  EXPECT_STREQ(reinterpret_cast<const char *>(record + TAP_TASK_FILE_NAME), "/mnt/hd/ProgramFiles/EchoTest.tap");
  // The started TAP ran its own start-up, not that of the TAP linked into this program.
  EXPECT_FALSE(Exists("/mnt/hd/ProgramFiles/Settings/Orvane/Orvane-Network.log"));

  ASSERT_EQ(HDD_TAP_Start("EchoTest.tap", true, nullptr, &id), 1);
  seen = emu::LastStartHandOver();
  EXPECT_TRUE(seen.batch);
  EXPECT_EQ(seen.block, 0u);
  EXPECT_EQ(HDD_TAP_Start("Missing.tap", false, nullptr, &id), 0);
  TAP_MemFree(block);
}

// An event reaches the TAP of that ID on its own behalf; marking its slot as stopping
// (status 2) has the firmware unload it.
TEST_F(TapTasks, EventsByTapIdAndTheStopMark) {
  dword id = 0;
  ASSERT_EQ(HDD_TAP_Start("EchoTest.tap", false, nullptr, &id), 1);
  int slot = SlotOf(kEchoTapId);
  ASSERT_GT(slot, 0);
  EXPECT_EQ(HDD_TAP_SendEvent(kEchoTapId, false, EVT_IDLE, 0, 0), 1);
  EXPECT_EQ(HDD_TAP_SendEvent(0x12345678, false, EVT_IDLE, 0, 0), 0);
  EXPECT_EQ(*FirmwareCurrentTapTask(), 0u);   // restored after the call
  PutLE32(FirmwareTapTasks() + slot * TAP_TASK_SLOT_SIZE + TAP_TASK_STATUS, 2);
  emu::UnloadFinishedTaps();
  EXPECT_EQ(SlotOf(kEchoTapId), -1);
  EXPECT_EQ(HDD_TAP_SendEvent(kEchoTapId, false, EVT_IDLE, 0, 0), 0);
}

// A slot's TAP ID is read from its file once and kept while the slot names the same file:
// the file may go away under a running TAP; a slot that names another file is read anew.
TEST_F(TapTasks, TheTapIdIsReadOnceWhileTheSlotKeepsItsFile) {
  dword id = 0;
  ASSERT_EQ(HDD_TAP_Start("EchoTest.tap", false, nullptr, &id), 1);
  int slot = SlotOf(kEchoTapId);
  ASSERT_GT(slot, 0);
  EXPECT_EQ(HDD_TAP_SendEvent(kEchoTapId, false, EVT_IDLE, 0, 0), 1);
  std::string tap = ReadFile("/mnt/hd/ProgramFiles/EchoTest.tap");
  // Replaced by renaming, as the loaded TAP's code still lies in the old file.
  WriteFile("/mnt/hd/ProgramFiles/NoTap.tmp", "not a TAP any more");
  ASSERT_EQ(rename(Host("/mnt/hd/ProgramFiles/NoTap.tmp").c_str(), Host("/mnt/hd/ProgramFiles/EchoTest.tap").c_str()), 0);
  EXPECT_EQ(HDD_TAP_SendEvent(kEchoTapId, false, EVT_IDLE, 0, 0), 1);   // not read again

  ASSERT_TRUE(emu::SetTaskFileName(slot, "/mnt/hd/ProgramFiles/Other.tap"));
  EXPECT_EQ(HDD_TAP_SendEvent(kEchoTapId, false, EVT_IDLE, 0, 0), 0);   // no such file
  WriteFile("/mnt/hd/ProgramFiles/Other.tap", tap);
  EXPECT_EQ(HDD_TAP_SendEvent(kEchoTapId, false, EVT_IDLE, 0, 0), 1);   // read now
  ASSERT_TRUE(emu::SetTaskFileName(slot, "/mnt/hd/ProgramFiles/EchoTest.tap"));
  EXPECT_EQ(HDD_TAP_SendEvent(kEchoTapId, false, EVT_IDLE, 0, 0), 0);   // that file is no TAP now
}

}  // namespace
