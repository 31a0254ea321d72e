// The readable region around a firmware address: the mapping that holds it, joined with
// readable neighbours, and cut where memory is not readable.
#include "platform/firmware_memory.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/firmware_layout.h"

namespace {

// Five pages below 4 GiB: readable pages 1 and 3 between unreadable pages 0, 2 and 4, so
// neither readable page joins a mapping of someone else (whose bytes may not all be
// readable, such as a sanitizer's shadow memory).
class FirmwareMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    page_ = (size_t)sysconf(_SC_PAGESIZE);
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#if defined(__x86_64__)
    flags |= MAP_32BIT;
#endif
    void *at = mmap(nullptr, 5 * page_, PROT_NONE, flags, -1, 0);
    ASSERT_NE(at, MAP_FAILED);
    base_ = static_cast<byte *>(at);
    ASSERT_NE(FirmwareWord(base_ + 5 * page_ - 1), 0u);
    ASSERT_EQ(mprotect(base_ + page_, page_, PROT_READ | PROT_WRITE), 0);
    ASSERT_EQ(mprotect(base_ + 3 * page_, page_, PROT_READ | PROT_WRITE), 0);
  }
  void TearDown() override { munmap(base_, 5 * page_); }

  dword Address(size_t offset) const { return FirmwareWord(base_ + offset); }

  size_t page_ = 0;
  byte *base_ = nullptr;
};

TEST_F(FirmwareMemory, TheRegionEndsWhereReadingWouldFail) {
  const byte *bytes = nullptr;
  dword start = 0, size = 0;
  ASSERT_EQ(FirmwareMemoryRegion(Address(page_ + 100), &bytes, &start, &size), 1);
  // It is the readable page that holds the address, and every byte of it can be read.
  EXPECT_EQ(start, Address(page_));
  EXPECT_EQ(size, (dword)page_);
  EXPECT_EQ(bytes, reinterpret_cast<const byte *>((uintptr_t)start));
  volatile byte sum = 0;
  for (dword i = 0; i < size; i += 512) sum = (byte)(sum + bytes[i]);
  // The page after the unreadable one is a region of its own.
  ASSERT_EQ(FirmwareMemoryRegion(Address(3 * page_ + 8), &bytes, &start, &size), 1);
  EXPECT_EQ(start, Address(3 * page_));
  EXPECT_EQ(size, (dword)page_);
}

TEST_F(FirmwareMemory, NoRegionForUnreadableOrNullAddresses) {
  const byte *bytes = nullptr;
  dword start = 0, size = 0;
  EXPECT_EQ(FirmwareMemoryRegion(Address(2 * page_ + 16), &bytes, &start, &size), 0);
  EXPECT_EQ(FirmwareMemoryRegion(0, &bytes, &start, &size), 0);
}

}  // namespace
