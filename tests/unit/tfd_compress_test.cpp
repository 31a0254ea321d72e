// TFD block compression: every compressed block is checked by an independent LHA decoder
// (Debian's lhasa) after wrapping it in an archive made here, and the container is read
// back with a parser of its own.
#include "platform/tfd_compress.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/unit/emulated_pvr.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// CRC-16/ARC bit by bit, written independently of the table-driven one.
uint16_t ReferenceCrc(const uint8_t *p, size_t n, uint16_t crc = 0) {
  for (size_t i = 0; i < n; i++) {
    crc ^= p[i];
    for (int b = 0; b < 8; b++) crc = (crc & 1) ? (uint16_t)((crc >> 1) ^ 0xA001) : (uint16_t)(crc >> 1);
  }
  return crc;
}

uint16_t Be16(const Bytes &b, size_t at) { return (uint16_t)(b.at(at) << 8 | b.at(at + 1)); }

// --- inputs ---------------------------------------------------------------------------

Bytes RandomBytes(size_t n, uint32_t seed, int alphabet = 256) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto &c : b) c = (uint8_t)(rng() % alphabet);
  return b;
}

Bytes EnglishText(size_t n) {
  std::string text;
  std::ifstream in("/usr/share/common-licenses/GPL-3");
  std::stringstream s;
  s << in.rdbuf();
  text = s.str();
  // Vary the copies a little so that later ones are not one long match.
  static const char *const words[] = {"the", "recorder", "channel", "programme", "of",
                                      "a", "timer", "logo", "and", "service", "guide"};
  std::mt19937 rng(7);
  while (text.size() < n) {
    for (int i = 0; i < 12; i++) {
      text += words[rng() % 11];
      text += ' ';
    }
    text += ".\n";
    if (text.size() < 2 * n / 3 && rng() % 4 == 0) text += text.substr(rng() % (text.size() / 2), 300);
  }
  return Bytes(text.begin(), text.begin() + n);
}

Bytes Runs(size_t n) {
  Bytes b;
  std::mt19937 rng(3);
  while (b.size() < n) {
    uint8_t value = (uint8_t)rng();
    size_t len = 1 + rng() % 700;
    if (rng() % 5 == 0) len = 5000;
    for (size_t i = 0; i < len && b.size() < n; i++) b.push_back(value);
  }
  return b;
}

// 32-bit pixels in memory order B, G, R, A: a transparent frame, a flat background, a
// horizontal gradient band, a filled circle and a little noise at the edges.
Bytes LogoPixels(int width, int height, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b;
  int cx = width / 3, cy = height / 2, r = height / 3;
  uint8_t bg[3] = {(uint8_t)rng(), (uint8_t)rng(), (uint8_t)rng()};
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      uint8_t px[4];
      if (x < 2 || y < 2 || x >= width - 2 || y >= height - 2) {
        px[0] = px[1] = px[2] = px[3] = 0;
      } else if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) {
        px[0] = 0x20; px[1] = 0x30; px[2] = 0xE0; px[3] = 0xFF;
      } else if (y > height / 2 && y < height * 3 / 4) {
        px[0] = (uint8_t)(x * 255 / width); px[1] = (uint8_t)(y * 4); px[2] = 0x80; px[3] = 0xFF;
      } else {
        px[0] = bg[0]; px[1] = bg[1]; px[2] = bg[2]; px[3] = 0xFF;
      }
      if ((x == 2 || x == width - 3) && rng() % 3 == 0) px[1] ^= (uint8_t)rng();
      b.insert(b.end(), px, px + 4);
    }
  }
  return b;
}

// Byte k appears about 1.6^k times, shuffled: a very skewed distribution whose Huffman
// tree is deeper than lh5 allows.
Bytes SkewedBytes(size_t n) {
  Bytes b;
  double count = 1;
  for (int k = 0; b.size() < n; k++, count *= 1.62) {
    for (int i = 0; i < (int)count && b.size() < n; i++) b.push_back((uint8_t)(k * 7));
  }
  std::mt19937 rng(11);
  std::shuffle(b.begin(), b.end(), rng);
  return b;
}

// --- LHA archive made by the test, decoded by lhasa -------------------------------------

// A level-0 LHA header for one member, followed by its data and the end mark.
Bytes LhaArchive(const char *method, const Bytes &packed, const Bytes &original) {
  const char *name = "member.bin";
  size_t nameLen = strlen(name);
  Bytes h;
  h.push_back(0);   // header size, set below
  h.push_back(0);   // header checksum, set below
  h.insert(h.end(), method, method + 5);
  auto le32 = [&h](uint32_t v) {
    for (int i = 0; i < 4; i++) h.push_back((uint8_t)(v >> (8 * i)));
  };
  le32((uint32_t)packed.size());
  le32((uint32_t)original.size());
  le32(0x5A2B6000);  // MS-DOS date and time
  h.push_back(0x20);
  h.push_back(0);    // level 0
  h.push_back((uint8_t)nameLen);
  h.insert(h.end(), name, name + nameLen);
  uint16_t crc = ReferenceCrc(original.data(), original.size());
  h.push_back((uint8_t)crc);
  h.push_back((uint8_t)(crc >> 8));
  h[0] = (uint8_t)(h.size() - 2);
  uint8_t sum = 0;
  for (size_t i = 2; i < h.size(); i++) sum = (uint8_t)(sum + h[i]);
  h[1] = sum;
  h.insert(h.end(), packed.begin(), packed.end());
  h.push_back(0);
  return h;
}

// Decodes packed with lhasa and returns what it printed; *tested tells whether lhasa's
// own test (which checks length and CRC) passed.
Bytes LhasaDecode(const char *method, const Bytes &packed, const Bytes &original, bool *tested) {
  char name[] = "/tmp/tfd-test-XXXXXX.lzh";
  *tested = false;
  if (!RequireTool("lhasa")) return Bytes();
  int fd = mkstemps(name, 4);
  EXPECT_GE(fd, 0);
  if (fd < 0) return Bytes();
  std::string path = name;
  Bytes archive = LhaArchive(method, packed, original);
  EXPECT_EQ(write(fd, archive.data(), archive.size()), (ssize_t)archive.size());
  close(fd);
  int status = -1;
  RunCommand("lhasa tq '" + path + "' 2>&1", &status);
  *tested = status == 0;
  std::string out = RunCommand("lhasa pq '" + path + "' 2>/dev/null");
  unlink(path.c_str());
  return Bytes(out.begin(), out.end());
}

// Compresses one block, checks the bounds and the size query, and decodes it with lhasa.
void CheckBlock(const Bytes &input, const char *what) {
  SCOPED_TRACE(what);
  const size_t guard = 64;
  Bytes out(input.size() + guard, 0xA5);
  dword size = CompressBlock(input.data(), (dword)input.size(), out.data());
  EXPECT_EQ(CompressBlock(input.data(), (dword)input.size(), nullptr), size) << "size query";
  ASSERT_LE(size, input.size());
  for (size_t i = size; i < out.size(); i++) ASSERT_EQ(out[i], 0xA5) << "written past the block at " << i;
  Bytes packed(out.begin(), out.begin() + size);
  bool tested = false;
  if (size == input.size()) {
    EXPECT_EQ(packed, input) << "stored block";
    Bytes decoded = LhasaDecode("-lh0-", packed, input, &tested);
    EXPECT_TRUE(tested);
    EXPECT_EQ(decoded, input);
  } else {
    Bytes decoded = LhasaDecode("-lh5-", packed, input, &tested);
    EXPECT_TRUE(tested) << "lhasa's test of the lh5 member failed";
    ASSERT_EQ(decoded.size(), input.size());
    EXPECT_TRUE(decoded == input) << "lh5 data decodes to other bytes";
  }
}

class TFDCompress : public EmulatedPvr {};

// --- CRC ------------------------------------------------------------------------------

TEST(TFDCrc16, CheckValueAndContinuation) {
  EXPECT_EQ(CRC16(0, "123456789", 9), 0xBB3D);
  EXPECT_EQ(CRC16(0, "", 0), 0);
  EXPECT_EQ(CRC16(0x1234, "", 0), 0x1234);
  EXPECT_EQ(CRC16(0, "A", 1), 0x30C0);
  Bytes data = RandomBytes(5000, 1);
  uint16_t whole = CRC16(0, data.data(), (dword)data.size());
  EXPECT_EQ(whole, ReferenceCrc(data.data(), data.size()));
  EXPECT_EQ(CRC16(CRC16(0, data.data(), 1234), data.data() + 1234, (dword)data.size() - 1234), whole);
}

// --- Huffman code lengths ---------------------------------------------------------------

// Sum of 2^(16 - length) over the used symbols: 65536 for a complete code.
uint64_t KraftSum(const std::vector<byte> &len) {
  uint64_t sum = 0;
  for (byte l : len) {
    if (l) sum += 1ull << (16 - l);
  }
  return sum;
}

// Total bits and deepest code of an unconstrained Huffman code, from Python's heapq.
void PythonHuffman(const std::vector<dword> &freq, uint64_t *bits, int *depth) {
  std::string list;
  for (dword f : freq) list += std::to_string(f) + " ";
  *bits = 0;
  *depth = 0;
  if (!RequireTool("/usr/bin/python3")) return;
  std::string out = RunCommand(
      "echo '" + list + "' | /usr/bin/python3 -c '\n"
      "import sys, heapq, itertools\n"
      "f = [int(x) for x in sys.stdin.read().split() if int(x) > 0]\n"
      "tick = itertools.count()\n"
      "heap = [(w, next(tick), [i]) for i, w in enumerate(f)]\n"
      "depth = [0] * len(f)\n"
      "heapq.heapify(heap)\n"
      "while len(heap) > 1:\n"
      "    a = heapq.heappop(heap); b = heapq.heappop(heap)\n"
      "    for i in a[2] + b[2]: depth[i] += 1\n"
      "    heapq.heappush(heap, (a[0] + b[0], next(tick), a[2] + b[2]))\n"
      "print(sum(w * d for w, d in zip(f, depth)), max(depth))'");
  unsigned long long total = 0;
  *depth = 0;
  sscanf(out.c_str(), "%llu %d", &total, depth);
  *bits = total;
}

TEST_F(TFDCompress, CodeLengthsAreOptimalAndComplete) {
  std::mt19937 rng(5);
  for (int round = 0; round < 4; round++) {
    int n = round == 0 ? 2 : round == 1 ? 19 : 510;
    std::vector<dword> freq(n);
    // Frequencies within a bounded ratio, so that no code needs more than 16 bits.
    for (dword &f : freq) f = rng() % 4 == 0 ? 0 : (round == 2 ? 100 : 1) + rng() % (round == 3 ? 20 : 5000);
    freq[0] = freq[1] = 7;
    std::vector<byte> len(n);
    int used = TFDCodeLengths(freq.data(), n, len.data());
    uint64_t bits = 0, pythonBits;
    int maxLen = 0, pythonDepth;
    for (int i = 0; i < n; i++) {
      bits += (uint64_t)freq[i] * len[i];
      maxLen = std::max<int>(maxLen, len[i]);
      EXPECT_EQ(freq[i] == 0, len[i] == 0) << i;
    }
    EXPECT_EQ(used, (int)std::count_if(freq.begin(), freq.end(), [](dword f) { return f > 0; }));
    EXPECT_EQ(KraftSum(len), 65536u) << "complete code";
    PythonHuffman(freq, &pythonBits, &pythonDepth);
    ASSERT_GT(pythonDepth, 0);
    ASSERT_LE(pythonDepth, 16) << "the round is meant to need no limit";
    EXPECT_EQ(bits, pythonBits) << "as short as a Huffman code, n = " << n;
  }
}

TEST_F(TFDCompress, CodeLengthsAreLimitedTo16Bits) {
  // Fibonacci frequencies make the deepest Huffman trees: 25 symbols would need 24 bits.
  std::vector<dword> freq;
  for (dword a = 1, b = 1; freq.size() < 25; std::swap(a, b), b += a) freq.push_back(a);
  freq.resize(300, 0);
  std::vector<byte> len(freq.size());
  EXPECT_EQ(TFDCodeLengths(freq.data(), (int)freq.size(), len.data()), 25);
  uint64_t pythonBits;
  int pythonDepth;
  PythonHuffman(freq, &pythonBits, &pythonDepth);
  EXPECT_EQ(pythonDepth, 24);
  EXPECT_EQ(KraftSum(len), 65536u);
  for (size_t i = 0; i < 25; i++) {
    EXPECT_GE(len[i], 1);
    EXPECT_LE(len[i], 16);
    if (i > 0) {
      EXPECT_LE(len[i], len[i - 1]) << "a more frequent symbol got a longer code";
    }
  }
  // Few symbols: nothing to code.
  std::vector<dword> one(10, 0);
  one[4] = 9;
  std::vector<byte> oneLen(10, 3);
  EXPECT_EQ(TFDCodeLengths(one.data(), 10, oneLen.data()), 1);
  EXPECT_EQ(KraftSum(oneLen), 0u);
  EXPECT_EQ(TFDCodeLengths(one.data(), 511, oneLen.data()), -1);
  EXPECT_EQ(TFDCodeLengths(nullptr, 10, oneLen.data()), -1);
}

// --- blocks ---------------------------------------------------------------------------

TEST_F(TFDCompress, BlocksDecodeWithAnIndependentDecoder) {
  CheckBlock(EnglishText(32762), "English text, full block");
  CheckBlock(EnglishText(5000), "English text, short");
  CheckBlock(Runs(32762), "long runs");
  CheckBlock(Bytes(32762, 0), "one value");
  CheckBlock(LogoPixels(54, 34, 1), "logo 54x34");
  CheckBlock(LogoPixels(90, 90, 2), "logo 90x90 (more than one slice)");
  CheckBlock(RandomBytes(20000, 5, 12), "random, 12 values");
  CheckBlock(RandomBytes(32762, 6, 2), "random, 2 values");
  CheckBlock(SkewedBytes(32762), "skewed distribution");
  CheckBlock(RandomBytes(32762, 7), "random bytes");
  CheckBlock(RandomBytes(300, 8), "random bytes, short");
}

TEST_F(TFDCompress, MatchesAtTheDictionaryEdge) {
  // A random stretch repeated at distances 8191, 8192 and 8193 (the last too far).
  for (int distance : {8190, 8191, 8192, 8193}) {
    Bytes head = RandomBytes(600, 20 + distance);
    Bytes b = head;
    Bytes filler = RandomBytes(distance - head.size(), 40 + distance, 4);
    b.insert(b.end(), filler.begin(), filler.end());
    b.insert(b.end(), head.begin(), head.end());
    b.insert(b.end(), head.begin(), head.begin() + 300);
    CheckBlock(b, ("distance " + std::to_string(distance)).c_str());
  }
}

TEST_F(TFDCompress, BlockSizes) {
  Bytes text = EnglishText(32763);
  EXPECT_EQ(CompressBlock(text.data(), 0, nullptr), 0u);
  EXPECT_EQ(CompressBlock(nullptr, 100, nullptr), 0u);
  EXPECT_EQ(CompressBlock(text.data(), 32763, nullptr), 0u) << "too long for a block";
  Bytes out(40000, 0xA5);
  EXPECT_EQ(CompressBlock(text.data(), 32763, out.data()), 0u);
  EXPECT_EQ(out[0], 0xA5);

  // One byte cannot get smaller: stored.
  Bytes one(1, 'x');
  EXPECT_EQ(CompressBlock(one.data(), 1, out.data()), 1u);
  EXPECT_EQ(out[0], 'x');
  CheckBlock(one, "one byte");
  for (size_t n : {2, 3, 10, 40}) CheckBlock(Bytes(n, 'y'), ("run of " + std::to_string(n)).c_str());
  CheckBlock(Bytes(text.begin(), text.begin() + 32762), "32762 bytes");
}

TEST_F(TFDCompress, CompressesWell) {
  Bytes text = EnglishText(32762);
  dword size = CompressBlock(text.data(), (dword)text.size(), nullptr);
  EXPECT_LT(size, text.size() * 45 / 100);
  EXPECT_LT(CompressBlock(Bytes(32762, 7).data(), 32762, nullptr), 100u);
  Bytes logo = LogoPixels(54, 34, 4);
  EXPECT_LT(CompressBlock(logo.data(), (dword)logo.size(), nullptr), logo.size() / 5);
}

// --- the container ---------------------------------------------------------------------

struct ParsedBlock {
  uint16_t type, length;
  Bytes data;
};

struct Parsed {
  uint16_t systemId = 0;
  std::vector<ParsedBlock> blocks;
};

// Reads a container field by field; fails the test on any inconsistency.
void ParseContainer(const Bytes &c, Parsed *p) {
  ASSERT_GE(c.size(), 10u);
  EXPECT_EQ(Be16(c, 0), 8);
  EXPECT_EQ(Be16(c, 2), ReferenceCrc(c.data() + 4, 6)) << "header CRC";
  p->systemId = Be16(c, 4);
  EXPECT_EQ(Be16(c, 6), 1);
  size_t count = Be16(c, 8);
  size_t at = 10;
  for (size_t i = 0; i < count; i++) {
    ASSERT_LE(at + 8, c.size()) << "block " << i;
    size_t packed = Be16(c, at) - 6;
    ASSERT_LE(at + 8 + packed, c.size()) << "block " << i;
    EXPECT_EQ(Be16(c, at + 2), ReferenceCrc(c.data() + at + 4, packed + 4)) << "block CRC " << i;
    ParsedBlock b;
    b.type = Be16(c, at + 4);
    b.length = Be16(c, at + 6);
    b.data.assign(c.begin() + at + 8, c.begin() + at + 8 + packed);
    p->blocks.push_back(b);
    at += 8 + packed;
  }
  EXPECT_EQ(at, c.size()) << "bytes after the last block";
}

Bytes Compress(const Bytes &input, word type, word systemId, std::vector<dword> *progress = nullptr) {
  static std::vector<dword> *sink;
  sink = progress;
  TFDProgressFunction report = nullptr;
  if (progress) report = [](dword percent) { sink->push_back(percent); };
  static const uint8_t nothing = 0;
  const uint8_t *data = input.empty() ? &nothing : input.data();   // an empty input, not a null one
  Bytes out(TFDMaxSize((dword)input.size()) + 16, 0xA5);
  dword size = CompressTFD(data, (dword)input.size(), out.data(), type, systemId, report);
  for (size_t i = size; i < out.size(); i++) EXPECT_EQ(out[i], 0xA5) << "written past the end";
  EXPECT_EQ(CompressTFD(data, (dword)input.size(), nullptr, type, systemId, nullptr), size)
      << "size query";
  out.resize(size);
  return out;
}

// Decodes a parsed block through lhasa (or takes it as stored).
Bytes DecodeBlock(const ParsedBlock &b, const Bytes &original) {
  if (b.data.size() == b.length) return b.data;
  bool tested = false;
  Bytes decoded = LhasaDecode("-lh5-", b.data, original, &tested);
  EXPECT_TRUE(tested);
  return decoded;
}

TEST_F(TFDCompress, ContainerRoundTrip) {
  Bytes input = EnglishText(40000);
  Bytes logo = LogoPixels(200, 60, 9);
  input.insert(input.end(), logo.begin(), logo.end());
  Bytes noise = RandomBytes(9000, 12);
  input.insert(input.end(), noise.begin(), noise.end());   // ends in a stored block
  std::vector<dword> progress;
  Bytes c = Compress(input, 1, 0xFFFF, &progress);
  Parsed p;
  ParseContainer(c, &p);
  ASSERT_EQ(p.blocks.size(), 3u);
  EXPECT_EQ(p.systemId, 0xFFFF);
  Bytes joined;
  size_t at = 0;
  for (const ParsedBlock &b : p.blocks) {
    EXPECT_EQ(b.type, 1);
    Bytes original(input.begin() + at, input.begin() + at + b.length);
    Bytes decoded = DecodeBlock(b, original);
    EXPECT_TRUE(decoded == original) << "block at " << at;
    joined.insert(joined.end(), decoded.begin(), decoded.end());
    at += b.length;
  }
  EXPECT_EQ(p.blocks[0].length, 32762);
  EXPECT_EQ(p.blocks[1].length, 32762);
  EXPECT_EQ(p.blocks[2].length, input.size() - 2 * 32762);
  EXPECT_LT(p.blocks[0].data.size(), 32762u / 2) << "text block compressed";
  EXPECT_TRUE(joined == input);
  // Before each block: done * 100 / length; then 100.
  std::vector<dword> expected = {0, (dword)(32762ull * 100 / input.size()),
                                 (dword)(65524ull * 100 / input.size()), 100};
  EXPECT_EQ(progress, expected);
}

TEST_F(TFDCompress, ContainerBlockBoundaries) {
  Bytes text = EnglishText(32763);
  Parsed p;
  ParseContainer(Compress(Bytes(text.begin(), text.begin() + 32762), 3, 0x1234), &p);
  ASSERT_EQ(p.blocks.size(), 1u);
  EXPECT_EQ(p.systemId, 0x1234);
  EXPECT_EQ(p.blocks[0].type, 3);
  EXPECT_EQ(p.blocks[0].length, 32762);

  Parsed two;
  std::vector<dword> progress;
  ParseContainer(Compress(text, 1, 0xFFFF, &progress), &two);
  ASSERT_EQ(two.blocks.size(), 2u);
  EXPECT_EQ(two.blocks[0].length, 32762);
  EXPECT_EQ(two.blocks[1].length, 1);
  EXPECT_EQ(two.blocks[1].data, Bytes(1, text[32762])) << "a 1-byte block is stored";
  EXPECT_EQ(progress, (std::vector<dword>{0, 99, 100}));
  Bytes first = DecodeBlock(two.blocks[0], Bytes(text.begin(), text.begin() + 32762));
  EXPECT_TRUE(first == Bytes(text.begin(), text.begin() + 32762));
}

TEST_F(TFDCompress, EmptyAndMissingInput) {
  std::vector<dword> progress;
  Bytes c = Compress(Bytes(), 1, 0xFFFF, &progress);
  ASSERT_EQ(c.size(), 10u);
  Parsed p;
  ParseContainer(c, &p);
  EXPECT_EQ(p.blocks.size(), 0u);
  EXPECT_EQ(Be16(c, 8), 0);
  EXPECT_EQ(progress, std::vector<dword>{100});
  // The header of an empty container is fixed: 8, CRC, system id, 1, 0.
  EXPECT_EQ(c, (Bytes{0x00, 0x08, (uint8_t)(ReferenceCrc(c.data() + 4, 6) >> 8),
                      (uint8_t)ReferenceCrc(c.data() + 4, 6), 0xFF, 0xFF, 0x00, 0x01, 0x00, 0x00}));

  uint8_t out[32];
  EXPECT_EQ(CompressTFD(nullptr, 100, out, 1, 0xFFFF, nullptr), 0u);
  EXPECT_EQ(CompressTFD(nullptr, 0, nullptr, 1, 0xFFFF, nullptr), 0u);
}

TEST_F(TFDCompress, IncompressibleInputStaysWithinTheBound) {
  Bytes noise = RandomBytes(70000, 99);
  Bytes c = Compress(noise, 1, 0xFFFF);
  EXPECT_EQ(c.size(), TFDMaxSize(70000));
  Parsed p;
  ParseContainer(c, &p);
  ASSERT_EQ(p.blocks.size(), 3u);
  size_t at = 0;
  for (const ParsedBlock &b : p.blocks) {
    EXPECT_EQ(b.data.size(), b.length);
    EXPECT_TRUE(b.data == Bytes(noise.begin() + at, noise.begin() + at + b.length));
    at += b.length;
  }
}

// Without working memory the block is stored and the failure logged: whichever of the ten
// working buffers cannot be had, the others are given back.
TEST_F(TFDCompress, StoresWhenMemoryRunsOut) {
  Bytes text = EnglishText(20000);
  for (unsigned failing = 1; failing <= 10; failing++) {
    WriteFile("/mnt/hd/ProgramFiles/Settings/Rivlib.log", "");
    Bytes out(20000, 0);
    size_t before = emu::TapHeapUse(emu::CurrentSlot()).inUse;
    emu::FailAllocation(failing);
    EXPECT_EQ(CompressBlock(text.data(), (dword)text.size(), out.data()), text.size()) << failing;
    EXPECT_TRUE(out == text) << failing;
    EXPECT_EQ(emu::TapHeapUse(emu::CurrentSlot()).inUse, before) << failing;
    std::string log = ReadFile("/mnt/hd/ProgramFiles/Settings/Rivlib.log");
    EXPECT_NE(log.find("lh5.Encode: unable to allocate memory"), std::string::npos) << failing << log;
  }
  emu::FailAllocation(0);
  Bytes out(20000, 0);
  EXPECT_LT(CompressBlock(text.data(), (dword)text.size(), out.data()), text.size());
}

}  // namespace
