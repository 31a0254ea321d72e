// The logo store on an emulated disk: "Logo.cache" read back by a reader of Python's own
// with every TFD block decoded by lhasa and compared with the logo file it came from; the
// lookups; and damaged caches, which are refused and deleted.
#include "platform/logo_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "tests/unit/python_oracle.h"

namespace {

const std::string kLogos = "/mnt/hd/ProgramFiles/Settings/Logos";

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  PutLE32(&s[0], v);
  return s;
}

// A logo file: width and height words, then pixels that are partly flat, partly noisy.
std::string LogoFile(uint32_t width, uint32_t height, unsigned seed, size_t cut = 0) {
  std::string data = Le32(width | 0xABCD0000u) + Le32(height);   // only the low 16 bits count
  TestRandom random(seed);
  for (uint32_t y = 0; y < (height & 0xFFFF); y++) {
    for (uint32_t x = 0; x < (width & 0xFFFF); x++) {
      bool noisy = (x + y + seed) % 11 < 3;
      data += (char)(noisy ? random.Below(256) : seed * 13);
      data += (char)(noisy ? random.Below(256) : x);
      data += (char)(y * 4);
      data += (char)((x < 2 || y < 2) ? 0 : 0xFF);
    }
  }
  return data.substr(0, data.size() - cut);
}

// Python reads the cache field by field, checks every record and CRC, decodes each TFD
// block with lhasa (wrapped in an LHA archive of its own) and compares the pixels with the
// logo file. Prints "record <name> <style> <size> <aspect> ok|<problem>" and a last line
// "count N".
const char kReader[] = R"PY(
import os, struct, subprocess, sys, tempfile
folder = sys.argv[1] if len(sys.argv) > 1 else sys.stdin.readline().strip()
styles = ["3pg", "qtblue", "qtgrey", "qttms", "trans-black", "trans-ibblue", "trans-ibgrey", "trans-qtblue", "trans-qtgrey"]
aspects = ["43", "169"]
exts = ["qtl", "ibl", "qsl"]
def crc16(data, crc=0):
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc
def lhasa(method, packed, length):
    name = b"m.bin"
    h = bytearray(b"\0\0" + method + struct.pack("<IIIBBB", len(packed), length, 0x5A2B6000, 0x20, 0, len(name)) + name)
    h += b"\0\0"  # CRC of the member: not checked by "p"
    h[0] = len(h) - 2
    h[1] = sum(h[2:]) & 0xFF
    with tempfile.NamedTemporaryFile(suffix=".lzh", delete=False) as f:
        f.write(bytes(h) + packed + b"\0")
    out = subprocess.run(["lhasa", "pq", f.name], capture_output=True).stdout
    os.unlink(f.name)
    return out
def untfd(c):
    assert struct.unpack(">H", c[0:2])[0] == 8 and struct.unpack(">H", c[6:8])[0] == 1
    assert struct.unpack(">H", c[2:4])[0] == crc16(c[4:10]), "header CRC"
    assert struct.unpack(">H", c[4:6])[0] == 0xFFFF, "system identifier"
    blocks, = struct.unpack(">H", c[8:10])
    at, out = 10, b""
    for _ in range(blocks):
        size, crc, kind, length = struct.unpack(">HHHH", c[at:at + 8])
        packed = c[at + 8:at + 2 + size]
        assert kind == 1, "block type"
        assert crc == crc16(c[at + 4:at + 2 + size]), "block CRC"
        out += packed if len(packed) == length else lhasa(b"-lh5-", packed, length)
        at += 2 + size
    assert at == len(c), "bytes after the container"
    return out
data = open(os.path.join(folder, "Logo.cache"), "rb").read()
assert data[:4] == b"LGC\0" and struct.unpack("<I", data[4:8])[0] == 2
count, = struct.unpack("<I", data[8:12])
end = 12 + 80 * count
for i in range(count):
    r = data[12 + 80 * i:92 + 80 * i]
    cid, = struct.unpack("<Q", r[:8])
    name = r[8:52].split(b"\0")[0].decode("latin-1")
    style, size, aspect, offset, length, slot, reserved = struct.unpack("<7I", r[52:80])
    try:
        assert cid == 0 and slot == 0 and reserved == 0 and b"\0" in r[8:52]
        assert offset >= end and offset + length <= len(data)
        image = data[offset:offset + length]
        assert image[:4] == b"\1\0\0\2" and image[4:8] == b"\0\0\0\0"
        plen, w, h = struct.unpack("<IHH", image[8:16])
        d = os.path.join(folder, styles[style], aspects[aspect])
        f = [n for n in os.listdir(d) if n.lower() == (name + "." + exts[size]).lower() or
             (n[:-4].startswith(name) and len(name) == 40 and n.lower().endswith(exts[size]))]
        assert len(f) == 1, "source file"
        logo = open(os.path.join(d, f[0]), "rb").read()
        fw, fh = struct.unpack("<II", logo[:8])
        assert (w, h) == (fw & 0xFFFF, fh & 0xFFFF) and plen == w * h * 4, "dimensions"
        assert untfd(image[16:]) == logo[8:8 + plen], "pixels"
        print("record", name, style, size, aspect, "ok")
    except AssertionError as e:
        print("record", name, style, size, aspect, "bad:", e)
print("count", count)
)PY";

class LogoStoreTest : public EmulatedPvr {
 protected:
  void Logo(const std::string &style, const std::string &aspect, const std::string &file, const std::string &data) {
    WriteFile(kLogos + "/" + style + "/" + aspect + "/" + file, data);
  }
  std::string ReadBack() { return RunPython(kReader, Host(kLogos) + "\n"); }
};

}  // namespace

TEST_F(LogoStoreTest, CacheReadsBackWithAnIndependentReader) {
  Logo("3pg", "43", "zdf.qtl", LogoFile(54, 34, 1));
  Logo("3pg", "43", "daserste.qtl", LogoFile(54, 34, 2));
  Logo("trans-black", "169", "zdf.qtl", LogoFile(60, 40, 3));
  Logo("trans-black", "169", "zdf.ibl", LogoFile(90, 60, 4));
  Logo("trans-black", "169", "arte.QSL", LogoFile(100, 90, 5));  // 36000 bytes: two TFD blocks
  Logo("trans-qtgrey", "169", std::string(45, 'n') + ".qtl", LogoFile(8, 8, 6));   // name cut to 40
  Logo("qtblue", "43", "short.qtl", "1234567");                  // shorter than its header: skipped
  Logo("qtblue", "43", "truncated.qtl", LogoFile(54, 34, 7, 5));  // pixels missing: failed
  Logo("qtblue", "43", "zero.qtl", Le32(0) + Le32(34));           // no pixels: failed
  Logo("qtblue", "43", "readme.txt", "not a logo");
  Logo("qtblue", "43", "folder.qtl/inside", "x");
  Logo("unknown", "43", "other.qtl", LogoFile(54, 34, 8));
  LogoCacheReport report;
  ASSERT_EQ(LogoCacheBuild(kLogos.c_str(), &report), LOGO_STORE_OK);
  EXPECT_EQ(report.logos, 6);
  EXPECT_EQ(report.skipped, 1);
  EXPECT_EQ(report.failed, 2);
  EXPECT_FALSE(Exists(kLogos + "/Logo.cache.tmp"));
  EXPECT_EQ(ReadBack(),
            "record daserste 0 0 0 ok\nrecord zdf 0 0 0 ok\nrecord arte 4 2 1 ok\nrecord zdf 4 1 1 ok\n"
            "record zdf 4 0 1 ok\nrecord " + std::string(40, 'n') + " 8 0 1 ok\ncount 6\n");
}

TEST_F(LogoStoreTest, LookupsByNameAndById) {
  Logo("trans-black", "169", "zdf.qtl", LogoFile(54, 34, 1));
  Logo("trans-black", "169", "Das Erste.qtl", LogoFile(54, 34, 2));
  Logo("trans-black", "43", "arte.qtl", LogoFile(54, 34, 3));
  Logo("trans-black", "169", "arte.qtl", LogoFile(54, 34, 4));
  WriteFile(kLogos + "/Logos.lil",
            "\n\n# Added 2024-01-02\n000a000b000c000d=Das Erste  \r\n#00000000000000ff=zdf\n"
            "00000000000000FF=arte\n0000000000000001=missing\n");
  LogoStore store;
  ASSERT_EQ(LogoStoreOpen(&store, kLogos.c_str(), 1), LOGO_STORE_OK);   // no cache yet: built
  EXPECT_TRUE(Exists(kLogos + "/Logo.cache"));
  EXPECT_EQ(store.count, 4u);
  LogoRecord *zdf = LogoStoreFindByName(&store, "ZDF", 4, 0, 1);
  ASSERT_NE(zdf, nullptr);
  EXPECT_STREQ(zdf->name, "zdf");
  EXPECT_EQ(LogoStoreFindByName(&store, "zdf", 4, 0, 0), nullptr);
  EXPECT_EQ(LogoStoreFindByName(&store, "zdf", 4, 1, 1), nullptr);
  LogoRecord *erste = LogoStoreFindById(&store, 0x000a000b000c000dull, 4, 0, 1);
  ASSERT_NE(erste, nullptr);
  EXPECT_STREQ(erste->name, "Das Erste");
  LogoRecord *arte = LogoStoreFindById(&store, 0xffull, 4, 0, 1);
  ASSERT_NE(arte, nullptr);
  EXPECT_EQ(arte->aspect, 1u);
  EXPECT_EQ(LogoStoreFindById(&store, 1, 4, 0, 1), nullptr);
  EXPECT_EQ(LogoStoreFindById(&store, 2, 4, 0, 1), nullptr);
  // The PC-safe name comes first, the ID second.
  EXPECT_EQ(LogoStoreFindChannel(&store, "zdf", 0xff, 4, 0, 1), zdf);
  EXPECT_EQ(LogoStoreFindChannel(&store, "sat1", 0xff, 4, 0, 1), arte);
  EXPECT_EQ(LogoStoreFindChannel(&store, "", 3, 4, 0, 1), nullptr);

  // The image: read on first use, then kept.
  dword length = 0;
  const byte *image = LogoStoreImage(&store, zdf, &length);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(length, zdf->length);
  EXPECT_EQ(GetLE32(image), 0x02000001u);
  EXPECT_EQ(GetLE32(image + 8), 54u * 34 * 4);
  EXPECT_EQ(GetLE16(image + 12), 54);
  EXPECT_EQ(GetLE16(image + 14), 34);
  EXPECT_EQ(LogoStoreImage(&store, zdf, nullptr), image);
  LogoStoreClose(&store);
  EXPECT_EQ(store.count, 0u);
}

TEST_F(LogoStoreTest, DamagedCachesAreRefusedAndDeleted) {
  Logo("trans-black", "169", "zdf.qtl", LogoFile(54, 34, 1));
  Logo("trans-black", "169", "arte.qtl", LogoFile(54, 34, 2));
  ASSERT_EQ(LogoCacheBuild(kLogos.c_str(), nullptr), LOGO_STORE_OK);
  std::string good = ReadFile(kLogos + "/Logo.cache");
  ASSERT_GT(good.size(), 12u + 160u);
  auto patched = [&](size_t at, uint32_t value) {
    std::string c = good;
    PutLE32(&c[at], value);
    return c;
  };
  const size_t r0 = 12;
  uint32_t offset0 = GetLE32(&good[r0 + 64]);
  std::vector<std::pair<std::string, std::string>> damaged = {
      {"magic", "LGD" + good.substr(3)},
      {"version", patched(4, 3)},
      {"count beyond the file", patched(8, 1000)},
      {"count overflowing", patched(8, 0xFFFFFFFF)},
      {"offset beyond the file", patched(r0 + 64, (uint32_t)good.size())},
      {"length beyond the file", patched(r0 + 68, (uint32_t)good.size())},
      {"offset + length overflowing", patched(r0 + 68, 0xFFFFFFFF - offset0 + 20)},
      {"offset inside the records", patched(r0 + 64, 20)},
      {"length shorter than a bitmap header", patched(r0 + 68, 15)},
      {"style", patched(r0 + 52, 9)},
      {"aspect", patched(r0 + 60, 2)},
      {"size", patched(r0 + 56, 3)},
      {"name without its end", good.substr(0, r0 + 8) + std::string(44, 'x') + good.substr(r0 + 52)},
      {"truncated", good.substr(0, good.size() - 1)},
      {"header only", good.substr(0, 10)},
      {"empty", ""},
  };
  for (const auto &d : damaged) {
    WriteFile(kLogos + "/Logo.cache", d.second);
    LogoStore store;
    EXPECT_EQ(LogoStoreOpen(&store, kLogos.c_str(), 0), LOGO_STORE_INVALID_CACHE) << d.first;
    EXPECT_EQ(store.count, 0u);
    EXPECT_FALSE(Exists(kLogos + "/Logo.cache")) << d.first;
    LogoStoreClose(&store);
  }
  // Opened with rebuild, a damaged cache is made again.
  WriteFile(kLogos + "/Logo.cache", patched(8, 1000));
  LogoStore store;
  EXPECT_EQ(LogoStoreOpen(&store, kLogos.c_str(), 1), LOGO_STORE_OK);
  EXPECT_EQ(store.count, 2u);
  LogoStoreClose(&store);
  EXPECT_EQ(ReadFile(kLogos + "/Logo.cache"), good);
  // An image whose bitmap header was damaged is not handed out.
  std::string c = good;
  c[offset0] = 9;
  WriteFile(kLogos + "/Logo.cache", c);
  ASSERT_EQ(LogoStoreOpen(&store, kLogos.c_str(), 0), LOGO_STORE_OK);
  EXPECT_EQ(LogoStoreImage(&store, &store.records[0], nullptr), nullptr);
  EXPECT_NE(LogoStoreImage(&store, &store.records[1], nullptr), nullptr);
  LogoStoreClose(&store);
}

TEST_F(LogoStoreTest, AFailedWriteKeepsTheOldCache) {
  Logo("3pg", "43", "zdf.qtl", LogoFile(54, 34, 1));
  ASSERT_EQ(LogoCacheBuild(kLogos.c_str(), nullptr), LOGO_STORE_OK);
  std::string old = ReadFile(kLogos + "/Logo.cache");
  Logo("3pg", "43", "arte.qtl", LogoFile(54, 34, 2));
  WriteFile(kLogos + "/Logo.cache.tmp/in-the-way", "");
  EXPECT_EQ(LogoCacheBuild(kLogos.c_str(), nullptr), LOGO_STORE_WRITE_FAILED);
  EXPECT_EQ(ReadFile(kLogos + "/Logo.cache"), old);
  // No logo folders at all: an empty cache.
  RunCommand("rm -rf '" + Host(kLogos) + "'");
  WriteFile(kLogos + "/.keep", "");
  LogoCacheReport report;
  EXPECT_EQ(LogoCacheBuild(kLogos.c_str(), &report), LOGO_STORE_OK);
  EXPECT_EQ(report.logos, 0);
  EXPECT_EQ(ReadFile(kLogos + "/Logo.cache"), std::string("LGC\0\2\0\0\0\0\0\0\0", 12));
}

TEST(LogoNames, PcSafeNamesOfChannels) {
  auto name = [](const char *channel, size_t size = 64) {
    char out[64];
    LogoManager_ChannelNameToLogoName(channel, out, size);
    return std::string(out);
  };
  EXPECT_EQ(name("Das Erste HD"), "daserstehd");
  EXPECT_EQ(name("Sat.1"), "sat1");
  EXPECT_EQ(name("ProSieben MAXX+"), "prosiebenmaxx+");
  EXPECT_EQ(name("S\xfc" "dwest"), "suedwest");                  // ISO 8859-1
  EXPECT_EQ(name("\xc4\xd6\xdc \xe4\xf6\xfc \xdf\xe9"), "aeoeueaeoeue");
  EXPECT_EQ(name("\x15M\xc3\xbcnchen TV"), "muenchentv");        // UTF-8 after its mark
  EXPECT_EQ(name("\x05" "ARD/ZDF: \"Info\""), "ardzdfinfo");      // a table selector
  EXPECT_EQ(name(""), "");
  EXPECT_EQ(name(nullptr), "");
  EXPECT_EQ(name("M\xfcnchen", 3), "m");    // "ue" does not fit: the name ends before it
  EXPECT_EQ(name("abcdef", 4), "abc");
  EXPECT_EQ(name(std::string(300, 'x').c_str()).size(), 63u);
}
