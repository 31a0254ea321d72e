// The emulated firmware's memory: the TAP heap below 4 GiB with per-TAP accounting, its
// red zones and freed blocks under AddressSanitizer, and the injected failures.
#include "emulator/emu_memory.h"

#include <string.h>

#include <vector>

#include "emulator/emulator.h"
#include "tests/unit/emulated_pvr.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace {

dword LinkedHandler(word, TapParam param1, TapParam) { return (dword)param1; }

class TapHeap : public EmulatedPvr {};

TEST_F(TapHeap, BlocksLieBelow4GiBAndAreCountedToTheirTap) {
  int other = emu::AttachLinkedTap(0x12345678, "/ProgramFiles", LinkedHandler);
  ASSERT_EQ(other, 1);
  emu::HeapUse before0 = emu::TapHeapUse(0), before1 = emu::TapHeapUse(1);
  std::vector<void *> blocks;
  for (dword size : {1u, 100u, 5000u, 70000u, 3000000u}) {
    void *block = TAP_MemAlloc(size);
    ASSERT_NE(block, nullptr) << size;
    EXPECT_NE(FirmwareWord(block), 0u) << size;                         // a 32-bit address
    EXPECT_LE(reinterpret_cast<uintptr_t>(block) + size, 0x100000000u) << size;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u) << size;
    memset(block, 0xA5, size);
    blocks.push_back(block);
  }
  emu::HeapUse use = emu::TapHeapUse(1);
  EXPECT_EQ(use.inUse - before1.inUse, 1u + 100 + 5000 + 70000 + 3000000);
  EXPECT_EQ(use.blocks - before1.blocks, 5u);
  EXPECT_EQ(emu::TapHeapUse(0).inUse, before0.inUse);
  for (void *block : blocks) EXPECT_EQ(TAP_MemFree(block), 1);
  use = emu::TapHeapUse(1);
  EXPECT_EQ(use.inUse, before1.inUse);
  EXPECT_EQ(use.peak - before1.inUse, 1u + 100 + 5000 + 70000 + 3000000);
  // A block freed by another TAP's code still counts to the TAP that allocated it.
  void *block = TAP_MemAlloc(64);
  emu::DeliverEvent(0, EVT_IDLE, 0, 0);
  EXPECT_EQ(emu::TapHeapUse(1).inUse, before1.inUse + 64);
  EXPECT_EQ(TAP_MemFree(block), 1);
  EXPECT_EQ(emu::TapHeapUse(1).inUse, before1.inUse);
}

TEST_F(TapHeap, FreeingWhatIsNoBlockChangesNothing) {
  ::testing::internal::CaptureStdout();
  char local = 0;
  size_t before = emu::TapHeapTotalInUse();
  EXPECT_EQ(TAP_MemFree(&local), 0);
  EXPECT_EQ(TAP_MemFree(nullptr), 0);
  void *block = TAP_MemAlloc(10);
  EXPECT_EQ(TAP_MemFree(static_cast<char *>(block) + 1), 0);
  EXPECT_EQ(TAP_MemFree(block), 1);
  EXPECT_EQ(TAP_MemFree(block), 0);   // twice
  EXPECT_EQ(emu::TapHeapTotalInUse(), before);
  std::string effects = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(effects.find("which is not a block of the TAP heap"), std::string::npos) << effects;
}

TEST_F(TapHeap, SizeAndFreeSpaceOfTheHeap) {
  dword size = 0, left = 0, available = 0;
  ASSERT_EQ(TAP_MemInfo(&size, &left, &available), 1);
  EXPECT_EQ(size, (dword)emu::gTapHeapSize);
  void *block = TAP_MemAlloc(1 << 20);
  dword leftAfter = 0;
  TAP_MemInfo(nullptr, &leftAfter, nullptr);
  EXPECT_EQ(left - leftAfter, 1u << 20);
  TAP_MemFree(block);
  EXPECT_EQ(TAP_MemAlloc((dword)emu::gTapHeapSize + 1), nullptr);   // more than the heap
}

#if defined(__SANITIZE_ADDRESS__)
TEST_F(TapHeap, RedZonesAndFreedBlocksArePoisoned) {
  char *block = static_cast<char *>(TAP_MemAlloc(20));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(__asan_address_is_poisoned(block), 0);
  EXPECT_EQ(__asan_address_is_poisoned(block + 19), 0);
  EXPECT_NE(__asan_address_is_poisoned(block + 20), 0);
  EXPECT_NE(__asan_address_is_poisoned(block - 1), 0);
  TAP_MemFree(block);
  EXPECT_NE(__asan_address_is_poisoned(block), 0);
}
#endif

TEST_F(TapHeap, InjectedAllocationFailures) {
  emu::FailAllocation(2);
  void *first = TAP_MemAlloc(8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(TAP_MemAlloc(8), nullptr);   // the second
  void *third = TAP_MemAlloc(8);
  EXPECT_NE(third, nullptr);
  emu::FailAllAllocations(true);
  EXPECT_EQ(TAP_MemAlloc(8), nullptr);
  EXPECT_EQ(TAP_MemAlloc(8), nullptr);
  emu::FailAllAllocations(false);
  void *fourth = TAP_MemAlloc(8);
  EXPECT_NE(fourth, nullptr);
  for (void *block : {first, third, fourth}) TAP_MemFree(block);
}

TEST_F(TapHeap, InjectedFileFailures) {
  WriteFile("/mnt/hd/ProgramFiles/Settings/a.ini", "x");
  WriteFile("/mnt/hd/ProgramFiles/b.ini", "x");
  emu::FailFileOpen("a.ini");
  emu::FailFileOpen("/ProgramFiles/b.ini");
  ASSERT_EQ(TAP_Hdd_ChangeDir("/ProgramFiles/Settings"), 1);
  EXPECT_EQ(TAP_Hdd_Fopen("a.ini"), nullptr);
  EXPECT_EQ(TAP_Hdd_Create("a.ini", ATTR_NORMAL), 0);
  EXPECT_EQ(TAP_Hdd_Fopen("../b.ini"), nullptr);
  EXPECT_EQ(TAP_Hdd_Exist("a.ini"), 1);   // only opening and creating fail
  ASSERT_EQ(TAP_Hdd_ChangeDir("/ProgramFiles"), 1);
  WriteFile("/mnt/hd/ProgramFiles/Settings/c.ini", "x");
  TYPE_File *file = TAP_Hdd_Fopen("Settings/c.ini");
  EXPECT_NE(file, nullptr);
  TAP_Hdd_Fclose(file);
  emu::ClearFaults();
  file = TAP_Hdd_Fopen("b.ini");
  EXPECT_NE(file, nullptr);
  TAP_Hdd_Fclose(file);
}

}  // namespace
