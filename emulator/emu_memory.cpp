// Firmware memory below 4 GiB: mappings from the low address range, split into blocks of
// power-of-two size classes (FIFO free lists, so a freed block is not handed out again at
// once); large blocks get a mapping of their own. With AddressSanitizer the red zones
// around each block and every freed block are poisoned.
#include "emulator/emu_memory.h"

#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <deque>
#include <map>
#include <unordered_map>

#include "emulator/emulator.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define POISON(address, size) ASAN_POISON_MEMORY_REGION(address, size)
#define UNPOISON(address, size) ASAN_UNPOISON_MEMORY_REGION(address, size)
#else
#define POISON(address, size) ((void)(address), (void)(size))
#define UNPOISON(address, size) ((void)(address), (void)(size))
#endif

namespace emu {

size_t gTapHeapSize = 256u << 20;

namespace {

constexpr size_t kRedZone = 16;              // before and after every block
constexpr int kMinClass = 5;                 // 32 bytes
constexpr int kMaxClass = 16;                // 64 KiB; larger blocks are mapped alone
constexpr size_t kChunk = 256 * 1024;        // one mapping split into blocks of a class
constexpr int kFirmwareOwner = -1;

struct Block {
  size_t size;      // bytes asked for
  int sizeClass;    // 0: a mapping of its own
  int owner;        // task slot, or kFirmwareOwner
};

std::unordered_map<const byte *, Block> gLive;    // user address -> block
std::deque<byte *> gFree[kMaxClass + 1];          // block starts of each class
HeapUse gUse[TAP_TASK_SLOTS];

size_t PageRound(size_t size) {
  size_t page = (size_t)sysconf(_SC_PAGESIZE);
  return (size + page - 1) / page * page;
}

// A mapping that lies wholly below 4 GiB; null when none can be had.
byte *MapLow(size_t size, int protection) {
  int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#if defined(__x86_64__)
  flags |= MAP_32BIT;
#endif
  void *address = mmap(nullptr, size, protection, flags, -1, 0);
  if (address == MAP_FAILED) return nullptr;
  if (FirmwareWord(address) == 0 || (uintptr_t)address + size - 1 > 0xFFFFFFFFu) {
    munmap(address, size);
    return nullptr;
  }
  return static_cast<byte *>(address);
}

int ClassOf(size_t size) {
  size_t whole = size + 2 * kRedZone;
  for (int c = kMinClass; c <= kMaxClass; c++) {
    if (whole <= ((size_t)1 << c)) return c;
  }
  return 0;
}

bool Refill(int sizeClass) {
  byte *chunk = MapLow(kChunk, PROT_READ | PROT_WRITE);
  if (!chunk) return false;
  POISON(chunk, kChunk);
  size_t blockSize = (size_t)1 << sizeClass;
  for (size_t at = 0; at + blockSize <= kChunk; at += blockSize) gFree[sizeClass].push_back(chunk + at);
  return true;
}

byte *Allocate(size_t size, int owner) {
  if (size == 0) size = 1;
  int sizeClass = ClassOf(size);
  byte *start;
  if (sizeClass == 0) {
    start = MapLow(PageRound(size + 2 * kRedZone), PROT_READ | PROT_WRITE);
    if (!start) return nullptr;
    POISON(start, PageRound(size + 2 * kRedZone));
  } else {
    if (gFree[sizeClass].empty() && !Refill(sizeClass)) return nullptr;
    start = gFree[sizeClass].front();
    gFree[sizeClass].pop_front();
  }
  byte *user = start + kRedZone;
  UNPOISON(user, size);
  memset(user, 0, size);
  gLive[user] = Block{size, sizeClass, owner};
  return user;
}

// Returns the block's record, or false when address is not a live block.
bool Release(const void *address, Block *released) {
  auto found = gLive.find(static_cast<const byte *>(address));
  if (found == gLive.end()) return false;
  Block block = found->second;
  gLive.erase(found);
  byte *start = const_cast<byte *>(static_cast<const byte *>(address)) - kRedZone;
  if (block.sizeClass == 0) {
    munmap(start, PageRound(block.size + 2 * kRedZone));
  } else {
    POISON(start, (size_t)1 << block.sizeClass);
    gFree[block.sizeClass].push_back(start);
  }
  *released = block;
  return true;
}

}  // namespace

byte *FirmwareAlloc(size_t size) { return Allocate(size, kFirmwareOwner); }

void FirmwareFree(void *address) {
  Block block;
  if (address) Release(address, &block);
}

void *TapAlloc(size_t size, int slot) {
  if (slot < 0 || slot >= TAP_TASK_SLOTS) slot = 0;
  if (size > gTapHeapSize || TapHeapTotalInUse() > gTapHeapSize - size) return nullptr;
  byte *user = Allocate(size, slot);
  if (!user) return nullptr;
  HeapUse &use = gUse[slot];
  use.inUse += size;
  use.blocks++;
  if (use.inUse > use.peak) use.peak = use.inUse;
  return user;
}

bool TapFree(const void *address) {
  auto found = gLive.find(static_cast<const byte *>(address));
  if (found == gLive.end() || found->second.owner == kFirmwareOwner) return false;
  Block block;
  Release(address, &block);
  HeapUse &use = gUse[block.owner];
  use.inUse -= block.size;
  use.blocks--;
  return true;
}

HeapUse TapHeapUse(int slot) { return slot >= 0 && slot < TAP_TASK_SLOTS ? gUse[slot] : HeapUse(); }

size_t TapHeapTotalInUse() {
  size_t total = 0;
  for (const HeapUse &use : gUse) total += use.inUse;
  return total;
}

void ResetTapHeapPeak(int slot) {
  if (slot >= 0 && slot < TAP_TASK_SLOTS) gUse[slot].peak = gUse[slot].inUse;
}

dword FirmwareEntryPoint(void (*function)()) {
  dword direct = FirmwareWord(reinterpret_cast<void *>(function));
  if (direct || !function) return direct;
#if defined(__x86_64__)
  // movabs rax, function; jmp rax
  static std::map<void (*)(), dword> entries;
  static byte *page;
  static size_t used, pageSize;
  auto known = entries.find(function);
  if (known != entries.end()) return known->second;
  const size_t kEntry = 16;
  if (!page || used + kEntry > pageSize) {
    pageSize = PageRound(1);
    page = MapLow(pageSize, PROT_READ | PROT_WRITE);
    used = 0;
    if (!page) return 0;
  }
  mprotect(page, pageSize, PROT_READ | PROT_WRITE);
  byte *entry = page + used;
  uint64_t target = (uint64_t)reinterpret_cast<uintptr_t>(function);
  entry[0] = 0x48;
  entry[1] = 0xB8;
  memcpy(entry + 2, &target, 8);
  entry[10] = 0xFF;
  entry[11] = 0xE0;
  mprotect(page, pageSize, PROT_READ | PROT_EXEC);
  used += kEntry;
  return entries[function] = FirmwareWord(entry);
#else
  return 0;
#endif
}

}  // namespace emu
