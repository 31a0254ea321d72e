// The logo sprite sheet on an emulated disk: the PNG decoded by Pillow with every cell
// compared with the logo it should hold, the CSS parsed by tinycss2 with each channel's
// class pointing at its cell, and the JSON index parsed by Python's json module.
#include "config/logo_sprite_sheet.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/byte_order.h"
#include "tests/unit/python_oracle.h"

namespace {

const std::string kLogos = "/mnt/hd/ProgramFiles/Settings/Logos";
const std::string kHtml = "/mnt/hd/ProgramFiles/Settings/Orvane/public_html";
const char kStamp[] = "2024/05/06 07:08:09";

// The OSD as the tests draw it: each cell a pattern of its own, kept as what the sheet
// must show.
struct Painter {
  std::map<std::string, std::string> drawn;   // what was drawn, by a key of the test
  std::string lastStoreName;
  static void Pattern(byte *cell, unsigned seed) {
    for (int y = 0; y < LOGO_CELL_HEIGHT; y++) {
      for (int x = 0; x < LOGO_CELL_WIDTH; x++) {
        byte *p = cell + (y * LOGO_CELL_WIDTH + x) * 4;
        p[0] = (byte)(seed * 37 + x * 3);
        p[1] = (byte)(seed * 11 + y * 5);
        p[2] = (byte)(seed ^ (x * y));
        p[3] = (byte)(x == 0 ? 0 : 255);
      }
    }
  }
  static unsigned Hash(const std::string &s) {
    unsigned h = 7;
    for (unsigned char c : s) h = h * 31 + c;
    return h;
  }
  static int BuiltIn(void *context, int which, byte *cell) {
    Pattern(cell, 1000 + which);
    static_cast<Painter *>(context)->drawn["builtin" + std::to_string(which)] = std::string((char *)cell, LOGO_CELL_BYTES);
    return 1;
  }
  static int StoreLogo(void *context, const byte *image, dword length, const char *name, byte *cell) {
    // The bitmap's own header says what it is: a logo of the store.
    if (GetLE32(image) != 0x02000001u || length < LOGO_BITMAP_HEADER) return 0;
    Pattern(cell, GetLE16(image + 12) * 7 + GetLE16(image + 14) + Hash(name));
    static_cast<Painter *>(context)->drawn[std::string("store:") + name] = std::string((char *)cell, LOGO_CELL_BYTES);
    return 1;
  }
  static int Jpeg(void *context, const char *path, byte *cell) {
    std::string p = path;
    if (p.find("bad") != std::string::npos) return 0;   // an undecodable file
    Pattern(cell, Hash(p));
    static_cast<Painter *>(context)->drawn["jpeg:" + p] = std::string((char *)cell, LOGO_CELL_BYTES);
    return 1;
  }
};

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  PutLE32(&s[0], v);
  return s;
}

class LogoSpriteSheet : public EmulatedPvr {
 protected:
  // Writes PNG files with Pillow: lines "path width height seed".
  void MakePngs(const std::string &list) {
    std::string out = RunPython(R"PY(
import sys
from PIL import Image
for line in sys.stdin:
    path, w, h, seed = line.split()
    w, h, seed = int(w), int(h), int(seed)
    img = Image.new("RGBA", (w, h))
    img.putdata([((x * 5 + seed) % 256, (y * 9 + seed * 3) % 256, (x * y + seed) % 256, 255 if (x + y) % 7 else 128)
                 for y in range(h) for x in range(w)])
    img.save(path)
print("done")
)PY", list);
    ASSERT_EQ(out, "done\n");
  }
  std::string Png(const std::string &pvrPath, int w, int h, int seed) {
    WriteFile(pvrPath, "");
    return Host(pvrPath) + " " + std::to_string(w) + " " + std::to_string(h) + " " + std::to_string(seed) + "\n";
  }
  // A raw cell file for the oracle.
  std::string Raw(const std::string &name, const std::string &cell) {
    std::string path = Host("/tmp/" + name + ".cell");
    std::ofstream(path, std::ios::binary) << cell;
    return path;
  }
  int Build(const std::vector<LogoChannel> &channels, LogoSheetReport *report, LogoStore *store = nullptr) {
    LogoPainter painter = {&painter_, Painter::BuiltIn, Painter::StoreLogo, Painter::Jpeg};
    LogoSheetOptions options = {&painter, store, kStamp, nullptr, nullptr};
    return BuildLogoSpriteSheet(channels.data(), (int)channels.size(), &options, report);
  }
  Painter painter_;
};

// Checks the four files against each other and the expected cells. The manifest has one line
// per channel: "logoid svctype svcnum png:<file>|raw:<file>|none", fixed cells first.
const char kOracle[] = R"PY(
import json, sys, tinycss2
from PIL import Image
html, stamp = sys.stdin.readline().split(" ", 1)
stamp = stamp.strip()
manifest = [l.split() for l in sys.stdin if l.strip()]
sheet = Image.open(html + "/service-logos.png").convert("RGBA")
css = open(html + "/service-logos.css", encoding="utf-8").read()
index = json.loads(open(html + "/service-logos.txt", encoding="utf-8").read())
problems = []
rules = [r for r in tinycss2.parse_stylesheet(css, skip_whitespace=True, skip_comments=True)]
if any(r.type == "error" for r in rules):
    problems.append("css errors: %r" % [r for r in rules if r.type == "error"][:3])
positions = {}
for r in rules:
    sel = tinycss2.serialize(r.prelude).strip()
    decls = [d for d in tinycss2.parse_declaration_list(r.content, skip_whitespace=True) if d.type == "declaration"]
    (d,) = decls
    assert d.name == "background-position"
    x, y = [t for t in d.value if t.type in ("dimension", "number")]
    positions[sel] = (-int(x.value), -int(y.value))
if len(rules) != len(manifest):
    problems.append("%d rules for %d channels" % (len(rules), len(manifest)))
if list(index)[0:2] != ["content", "timestamp"] or index["content"] != "logos" or index["timestamp"] != stamp:
    problems.append("index head")
entries = {e["logoid"]: e for e in index["logos"]}
placed = 0
for logoid, svctype, svcnum, want in manifest:
    sel = {"ffffffffffffff00": ".logo-av-general", "ffffffffffffff02": ".logo-av-composite",
           "ffffffffffffff04": ".logo-av-component"}.get(logoid, ".logo-" + logoid)
    x, y = positions.get(sel, (None, None))
    if want == "none":
        if (x, y) != (0, 0) or logoid in entries:
            problems.append("%s has no logo but a cell" % logoid)
        continue
    placed += 1
    e = entries.get(logoid)
    if not e or (e["sprite_x"], e["sprite_y"]) != (x, y) or e["svctype"] != int(svctype) or e["svcnum"] != int(svcnum):
        problems.append("%s: index %r, css %r" % (logoid, e, (x, y)))
        continue
    kind, path = want.split(":", 1)
    if kind == "png":
        cell = Image.open(path).convert("RGBA").tobytes()
    else:
        raw = open(path, "rb").read()
        cell = raw
    got = sheet.crop((x, y, x + 54, y + 34)).tobytes()
    if got != cell:
        problems.append("%s: cell at %d,%d differs" % (logoid, x, y))
if index["count"] != placed + 1:
    problems.append("count %d for %d cells" % (index["count"], placed + 1))
cells = (placed + 1 + 19) // 20 * 20
print(sheet.size == (1080, min(cells, 2000) * 34 // 20), len(index["logos"]) == placed, problems[:5])
)PY";

}  // namespace

TEST_F(LogoSpriteSheet, CellsCssAndIndexAgree) {
  // Channel logos from every source.
  std::string pngs;
  pngs += Png(kLogos + "/0000000000000001.png", 54, 34, 1);       // by ID
  pngs += Png(kLogos + "/zdfneo.png", 54, 34, 2);                  // by name
  pngs += Png(kLogos + "/0000000000000003.png", 64, 40, 3);       // wrong size ...
  pngs += Png(kLogos + "/arte.png", 54, 34, 4);                    // ... so not this one by name
  pngs += Png(kLogos + "/r_radioeins.png", 54, 34, 5);             // radio: "r_" first
  MakePngs(pngs);
  WriteFile(kLogos + "/0000000000000006.png", "not a png at all");
  WriteFile(kLogos + "/0000000000000003.jpg", "jpeg data");      // arte's fallback
  WriteFile(kLogos + "/sixx.jpg", "jpeg data");
  WriteFile(kLogos + "/bad.jpg", "broken jpeg");
  std::string logoFile = Le32(54) + Le32(34) + std::string(54 * 34 * 4, '\x42');
  WriteFile(kLogos + "/trans-black/169/kabeleins.qtl", logoFile);
  WriteFile(kLogos + "/trans-black/169/Weather.qtl", logoFile);
  WriteFile(kLogos + "/trans-black/43/orf.qtl", logoFile);        // other aspect: not used
  WriteFile(kLogos + "/Logos.lil", "0000000000000009=Weather\r\n");
  LogoStore store;
  ASSERT_EQ(LogoStoreOpen(&store, kLogos.c_str(), 1), LOGO_STORE_OK);

  std::vector<std::string> names = {"Das Erste", "ZDFneo", "Arte", "Sixx", "Kabel Eins", "bad", "ORF", "*/ evil\r\n<b>{}",
                                    "Weather Channel", "Sat.1"};
  std::vector<LogoChannel> channels;
  std::vector<std::string> kinds;   // what each channel should show
  for (size_t i = 0; i < names.size(); i++) channels.push_back({0, (int)i, i + 1, names[i].c_str()});
  channels.push_back({1, 0, 0x10000000000000ull, "radioeins"});
  channels.push_back({1, 1, 0x20000000000000ull, "\x15R\xc3\xa4" "dio \xc3\x9c"});
  LogoSheetReport report;
  EXPECT_EQ(Build(channels, &report, &store), 0);
  LogoStoreClose(&store);
  EXPECT_EQ(report.logos, 7);
  EXPECT_EQ(report.failedFiles, 0);

  std::string manifest = Host(kHtml) + " " + kStamp + "\n";
  manifest += "ffffffffffffff00 99 0 raw:" + Raw("b0", painter_.drawn["builtin0"]) + "\n";
  manifest += "ffffffffffffff02 99 2 raw:" + Raw("b1", painter_.drawn["builtin1"]) + "\n";
  manifest += "ffffffffffffff04 99 4 raw:" + Raw("b2", painter_.drawn["builtin2"]) + "\n";
  auto line = [&](const LogoChannel &c, const std::string &want) {
    char id[17];
    snprintf(id, sizeof id, "%016llx", (unsigned long long)c.logoId);
    manifest += std::string(id) + " " + std::to_string(c.svcType) + " " + std::to_string(c.svcNum) + " " + want + "\n";
  };
  line(channels[0], "png:" + Host(kLogos + "/0000000000000001.png"));
  line(channels[1], "png:" + Host(kLogos + "/zdfneo.png"));
  line(channels[2], "raw:" + Raw("arte", painter_.drawn["jpeg:/ProgramFiles/Settings/Logos/0000000000000003.jpg"]));
  line(channels[3], "raw:" + Raw("sixx", painter_.drawn["jpeg:/ProgramFiles/Settings/Logos/sixx.jpg"]));
  line(channels[4], "raw:" + Raw("kabel", painter_.drawn["store:Kabel Eins"]));
  line(channels[5], "none");   // its JPEG cannot be decoded
  line(channels[6], "none");   // the store's logo has the other aspect
  line(channels[7], "none");
  line(channels[8], "raw:" + Raw("weather", painter_.drawn["store:Weather Channel"]));   // by ID through Logos.lil
  line(channels[9], "none");
  line(channels[10], "png:" + Host(kLogos + "/r_radioeins.png"));
  line(channels[11], "none");
  EXPECT_EQ(painter_.drawn.size(), 3u + 4u);
  EXPECT_EQ(RunPython(kOracle, manifest), "True True []\n");

  std::string css = ReadFile(kHtml + "/service-logos.css");
  EXPECT_EQ(css.substr(0, css.find(".logo-0")),
            ".logo-av-general\t{background-position: -54px 0px;}\t/*  AV General [Internal] */\r\n"
            ".logo-av-composite\t{background-position: -108px 0px;}\t/*  AV Composite [Internal] */\r\n"
            ".logo-av-component\t{background-position: -162px 0px;}\t/*  AV Component [Internal] */\r\n");
  EXPECT_NE(css.find(".logo-0000000000000001\t{background-position: -216px 0px;}\t/*  Das Erste "
                     "[/ProgramFiles/Settings/Logos/0000000000000001.png] */\r\n"),
            std::string::npos);
  EXPECT_NE(css.find(".logo-0000000000000008\t{background-position: 0px 0px;}\t/*  * / evil  <b>{}  [No Logo] */\r\n"),
            std::string::npos);
  EXPECT_NE(css.find("/*  Kabel Eins [LIL QTL] */"), std::string::npos);
  EXPECT_NE(css.find(".logo-0020000000000000\t{background-position: 0px 0px;}\t/*  R\xc3\xa4" "dio \xc3\x9c  [No Logo] */"),
            std::string::npos);

  std::string log = ReadFile(kHtml + "/service-logos.log");
  for (const char *text : {"Channel count = 16, image count = 20.<br>\r\n\r\n",
                           "Estimated image dimensions = 1080 x 34 (Width x Height).<br>\r\n\r\n",
                           "<br><b>Processing: 1/12, Channel: 'Das Erste', LogoID: '0000000000000001', Channel PC safe "
                           "name: 'daserste'.</b><br>\r\n",
                           "   Looking for '/ProgramFiles/Settings/Logos/0000000000000001.png'.<br>\r\n",
                           "   Loaded PNG w = 54, h = 34.<br>\r\n", "   Loaded PNG w = 64, h = 40.<br>\r\n",
                           "   Found LGSZ_qtl.<br>\r\n", "   Logo not found.<br>\r\n",
                           "Channel: '*/ evil  &lt;b&gt;{}'", "   JPEG '/ProgramFiles/Settings/Logos/bad.jpg' could not be drawn.",
                           "   Adding logo /ProgramFiles/Settings/Logos/zdfneo.png to column 5, row 0, ID = 0x0000000000000002.<br>\r\n",
                           "<br>7 channel logos found out of 16 channels.<br>\r\n\r\n",
                           "Actual image dimensions = 1080 x 34 (Width x Height).<br>\r\n\r\n"}) {
    EXPECT_NE(log.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(log.find("Looking for '/ProgramFiles/Settings/Logos/arte.png'"), std::string::npos)
      << "an ID logo that exists rules out the name's PNG";
  for (const char *file : {".png", ".css", ".txt", ".log"}) {
    EXPECT_FALSE(Exists(kHtml + "/service-logos" + file + ".tmp"));
  }
}

TEST_F(LogoSpriteSheet, NoChannels) {
  LogoSheetReport report;
  EXPECT_EQ(Build({}, &report), 0);
  EXPECT_EQ(report.height, 34);
  std::string manifest = Host(kHtml) + " " + kStamp + "\n";
  manifest += "ffffffffffffff00 99 0 raw:" + Raw("b0", painter_.drawn["builtin0"]) + "\n";
  manifest += "ffffffffffffff02 99 2 raw:" + Raw("b1", painter_.drawn["builtin1"]) + "\n";
  manifest += "ffffffffffffff04 99 4 raw:" + Raw("b2", painter_.drawn["builtin2"]) + "\n";
  EXPECT_EQ(RunPython(kOracle, manifest), "True True []\n");
  EXPECT_EQ(ReadFile(kHtml + "/service-logos.txt"),
            "{\"content\":\"logos\",\r\n\"timestamp\":\"2024/05/06 07:08:09\",\r\n\"logos\":\r\n[\r\n"
            "{\"logoid\":\"ffffffffffffff00\",\r\n\"svctype\":99,\r\n\"svcnum\":0,\r\n\"sprite_x\":54,\r\n\"sprite_y\":0}\r\n"
            ",{\"logoid\":\"ffffffffffffff02\",\r\n\"svctype\":99,\r\n\"svcnum\":2,\r\n\"sprite_x\":108,\r\n\"sprite_y\":0}\r\n"
            ",{\"logoid\":\"ffffffffffffff04\",\r\n\"svctype\":99,\r\n\"svcnum\":4,\r\n\"sprite_x\":162,\r\n\"sprite_y\":0}\r\n"
            "],\r\n\"count\":4}\r\n");
}

TEST_F(LogoSpriteSheet, RowsAndTheCellLimit) {
  // Every channel finds its logo through the JPEG painter; 2010 channels need more than
  // the 2000 cells the image may hold.
  WriteFile(kLogos + "/x.jpg", "jpeg");
  std::vector<LogoChannel> channels;
  for (int i = 0; i < 2010; i++) channels.push_back({i % 2, i / 2, (uint64_t)i + 1, "X"});
  LogoSheetReport report;
  EXPECT_EQ(Build(channels, &report), 0);
  EXPECT_EQ(report.logos, 1005);   // the radio channels look for "r_x"
  std::string out = RunPython(R"PY(
import json, sys
from PIL import Image
html = sys.stdin.readline().strip()
index = json.loads(open(html + "/service-logos.txt").read())
e = index["logos"]
print(Image.open(html + "/service-logos.png").size, index["count"], len(e), e[3 + 15], e[3 + 16])
)PY", Host(kHtml) + "\n");
  // The 16th logo placed ends row 0; the 17th, in the 21st cell, starts row 1.
  EXPECT_EQ(out, "(1080, 1734) 1009 1008 {'logoid': '000000000000001f', 'svctype': 0, 'svcnum': 15, 'sprite_x': 1026, "
                 "'sprite_y': 0} {'logoid': '0000000000000021', 'svctype': 0, 'svcnum': 16, 'sprite_x': 0, 'sprite_y': 34}\n");

  for (int i = 0; i < 2010; i++) channels[i].svcType = 0;
  EXPECT_EQ(Build(channels, &report), 0);
  EXPECT_EQ(report.logos, 2010);
  EXPECT_EQ(report.height, 3400);
  std::string log = ReadFile(kHtml + "/service-logos.log");
  EXPECT_NE(log.find("<b>WARNING</b> - Too many logos found, only processing 2000 of 2020.<br>"), std::string::npos);
  out = RunPython(R"PY(
import json, sys
from PIL import Image
html = sys.stdin.readline().strip()
index = json.loads(open(html + "/service-logos.txt").read())
css = open(html + "/service-logos.css").read().count("\n")
print(Image.open(html + "/service-logos.png").size, index["count"], len(index["logos"]), css)
)PY", Host(kHtml) + "\n");
  EXPECT_EQ(out, "(1080, 3400) 2014 2013 2013\n");
}

TEST(LogoCells, OsdPixelsBecomeRgba) {
  std::vector<byte> plane(2880 * 40);
  for (size_t i = 0; i < plane.size(); i++) plane[i] = (byte)(i * 7 + i / 2880);
  std::vector<byte> cell(LOGO_CELL_BYTES);
  CopyOsdCell(plane.data(), 2880, cell.data());
  for (int y = 0; y < LOGO_CELL_HEIGHT; y++) {
    for (int x = 0; x < LOGO_CELL_WIDTH; x++) {
      const byte *s = &plane[y * 2880 + x * 4];
      const byte *d = &cell[(y * LOGO_CELL_WIDTH + x) * 4];
      ASSERT_EQ(d[0], s[2]);
      ASSERT_EQ(d[1], s[1]);
      ASSERT_EQ(d[2], s[0]);
      ASSERT_EQ(d[3], s[3]);
    }
  }
}
