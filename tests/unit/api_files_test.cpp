// The directory listing on emulated disks: recording headers of the three system types
// written by the independent encoder (tests/oracles/recording_header.py) for services of
// a world whose tables the Python table encoder wrote, checked member by member against
// what the encoder says a reader must see (texts decoded in Python, local times from
// zoneinfo, logo IDs computed from the world); MP3 files tagged by mutagen; TAP files good
// and damaged; links and mount points; the filters; folders outside "/mnt/"; answers that
// fill up.
#include "webserver/api/api_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>

#include "common/common_log.h"
#include "emulator/emulator.h"
#include "platform/epg_genre_format.h"
#include "platform/firmware_model.h"
#include "platform/pvr_time.h"
#include "tests/unit/emulated_pvr.h"
#include "tests/unit/handler_answer.h"
#include "tests/unit/python_oracle.h"
#include "tests/unit/world_tables_oracle.h"
#include "webserver/core/settings.h"
#include "webserver/epg/epg_genre.h"

namespace {

using json = nlohmann::json;

// Writes recordings with random headers into a folder of the emulated disk and prints
// what the listing must show for each: {"name": {"header": {...}, "service": {...}, ...}}.
const char kHeaders[] = R"PY(
import datetime, json, os, random, sys
from zoneinfo import ZoneInfo
args = json.loads(sys.stdin.read())
sys.path.insert(0, args["source"] + "/tests/oracles")
import recording_header as rh
from pvr_tables import pvr_text, read_pvr_text
world = json.load(open(args["world"]))
st, folder = args["system_type"], args["folder"]
rnd = random.Random(st * 7)
PARENTAL = ["", "1", "2", "3", "4", "5", "6", "C", "8", "G", "10", "PG", "PG", "M", "14", "MA", "16", "AV",
            "R", "19", "20", "21"]
EPOCH = datetime.datetime(1858, 11, 17)
def packed(moment):
    return (moment - EPOCH).days << 16 | moment.hour << 8 | moment.minute
def moment(value):
    return EPOCH + datetime.timedelta(days=value >> 16, hours=value >> 8 & 0xFF, minutes=value & 0xFF)
def text(value):
    return "0000/00/00 00:00:00" if value == 0 else moment(value).strftime("%Y/%m/%d %H:%M:00")
def local(value):
    if value == 0:
        return text(0)
    m = moment(value).replace(tzinfo=datetime.timezone.utc).astimezone(ZoneInfo("Europe/Berlin"))
    return m.strftime("%Y/%m/%d %H:%M:00")
def logo(kind, number):
    s = world["services"][kind][number]
    sat = world["satellites"][s.get("satellite", 0)]
    tp = sat["transponders"][s.get("transponder", 0)]
    position = sat.get("position", 0) if st == 5 else 0
    low = tp.get("tsid", 0) << 16 | s.get("service_id", 0)
    value = position << 48 | tp.get("onid", 0) << 32 | low
    if low >= 0x80000000:
        value |= 0xFFFFFFFF00000000
    return "%016x" % value
def decoded(raw):
    raw = raw.split(b"\0")[0]
    if raw[:1] == b"\x15":   # UTF-8; a line break 0x8A is shown as U+008A, as in the other tables
        return "\u008a".join(part.decode("utf-8") for part in raw[1:].split(b"\x8a"))
    return read_pvr_text(raw)[0]
def words(charset, n):
    # Letters of the single-byte tables at 0xC0 and above: no two of them read as UTF-8.
    pool = {"latin1": "abcdeé ñüÆøß", "iso8859-7": "αβγδ ΩΣΦ", "iso8859-5": "абвгд ЯЮ", "utf-8": "日本 ok €"}[charset]
    return "".join(rnd.choice(pool) for _ in range(n)).strip() or "x"
def pvr(textual, charset):
    return textual.encode("latin-1") if charset == "latin1" else pvr_text(textual, charset)
tv = world["services"]["tv"]
out = {}
for i in range(10):
    kind = ["match", "name", "analogue", "none"][i % 4]
    charset = rnd.choice(["latin1", "iso8859-7", "iso8859-5", "utf-8"])
    start = datetime.datetime(2024, rnd.choice([1, 3, 6, 10, 12]), rnd.randint(1, 28), rnd.randint(0, 23),
                              rnd.randint(0, 59))
    marks = sorted(rnd.sample(range(1, 500000), rnd.randint(0, 12)))
    f = dict(version=rnd.choice([0x8000, 0x5000, 0x5010, 0x0100, 0x1234]), start_time=packed(start),
             duration_min=rnd.randint(0, 300), duration_sec=rnd.randint(0, 59), crypt_flag=rnd.randint(0, 3),
             header_flags=rnd.randint(0, 63) << 2, copy_flag=rnd.random() < 0.5,
             timeshift_flag=rnd.random() < 0.5, header_flags2=rnd.randint(0, 63), tuner_num=rnd.randint(0, 3),
             del_flag=rnd.randint(0, 1), cas_flag=rnd.randint(0, 1), lock_flag=rnd.randint(0, 1),
             skip_flag=rnd.randint(0, 1), pmt_pid=rnd.randint(0, 8191), pcr_pid=rnd.randint(0, 8191),
             video_pid=rnd.randint(0, 8191), audio_pid=rnd.randint(0, 8191),
             video_stream_type=rnd.choice([2, 27]), audio_stream_type=rnd.choice([3, 4, 6]),
             event_unknown1=bytes([rnd.randint(0, 255), rnd.randint(0, 255)]),
             event_duration=rnd.randint(0, 600), event_id=rnd.randint(0, 0xFFFFFFFF),
             event_start=packed(start - datetime.timedelta(minutes=5)),
             event_end=packed(start + datetime.timedelta(minutes=rnd.randint(10, 200))),
             running_status=rnd.randint(0, 4), parental=rnd.choice([0, 5, 11, 18, 21, 22, 200]),
             event_name=pvr(words(charset, rnd.randint(1, 30)), charset),
             event_description=pvr(words(charset, rnd.randint(0, 60)), charset),
             ext_service_id=rnd.randint(0, 65535), ext_event_id=rnd.randint(0, 0xFFFFFFFF),
             ext_text=pvr(words(charset, rnd.randint(0, 300)), charset) + rnd.choice([b"", b" \\nnext line", b" a\0b"]),
             bookmarks=marks, resume=rnd.randint(0, 500000),
             polarisation=rnd.randint(0, 1), mode=rnd.randint(0, 7), mod_system=rnd.randint(0, 1),
             modulation=rnd.randint(0, 3), fec=rnd.randint(0, 15), pilot=rnd.randint(0, 1),
             symbol_rate=rnd.randint(0, 30000), channel_number=rnd.randint(0, 69), lp_hp_stream=rnd.randint(0, 1),
             network_id=rnd.randint(1, 65535))
    if i == 5:
        f["bookmark_count"] = 200      # too many: no bookmark list
    number = rnd.randrange(len(tv))
    s = tv[number]
    sat = world["satellites"][s.get("satellite", 0)]
    tp = sat["transponders"][s.get("transponder", 0)]
    if kind == "match":
        f.update(sat_index=s.get("satellite", 0), tp_index=s.get("transponder", 0), service_id=s["service_id"],
                 service_name=pvr_text(s["name"], s.get("charset")), tp_sat_index=s.get("satellite", 0),
                 tsid=tp.get("tsid", 0), original_network_id=tp.get("onid", 0), frequency=tp.get("frequency", 0),
                 bandwidth=tp.get("bandwidth", 0))
    elif kind == "name":
        f.update(sat_index=77, tp_index=1000, service_id=1, service_name=pvr_text(s["name"], s.get("charset")),
                 frequency=12345, tsid=9)
    elif kind == "analogue":
        f.update(service_name=b"Analog Stream", frequency=0, tsid=0, original_network_id=0, bandwidth=0)
    else:
        f.update(sat_index=55, tp_index=3, service_id=2, service_name=b"Nowhere TV", frequency=1, tsid=2)
    name = "rec%02d %s.rec" % (i, kind)
    with open(os.path.join(folder, name), "wb") as w:
        w.write(b"\x47" * 188)
    with open(os.path.join(folder, name + ".inf"), "wb") as w:
        w.write(rh.encode(f, st))
    v = rh.reader_view(f, st)
    matched = kind == "match"
    e = {}
    e["header"] = dict(starttime=text(v["start_time"]), durationmin=v["duration_min"], durationsec=v["duration_sec"],
                       svcnum=number if matched else 0, svctype=99 if kind == "analogue" else 0,
                       logoid="ffffffffffffff00" if kind == "analogue" else
                              logo("tv", number) if kind in ("match", "name") else "0000000000000000",
                       cryptflag=v["crypt_flag"], headerflags=v["header_flags"], headerflags2=v["header_flags2"],
                       flagtimeshift=v["timeshift_flag"], flagcopy=v["copy_flag"])
    e["service"] = dict(satindex=v["sat_index"], servicetype=v["service_type"], tpindex=v["tp_index"],
                        tunernum=v["tuner_num"], flagskip=v["skip_flag"], flaglock=v["lock_flag"],
                        flagcas=v["cas_flag"], flagdel=v["del_flag"], serviceid=v["service_id"],
                        pmtpid=v["pmt_pid"], pcrpid=v["pcr_pid"], videopid=v["video_pid"], audiopid=v["audio_pid"],
                        servicename=decoded(v["service_name"]), videostreamtype=v["video_stream_type"],
                        audiostreamtype=v["audio_stream_type"])
    e["eventinfo"] = dict(duration=v["event_duration"], eventid=v["event_id"], starttime_utc=text(v["event_start"]),
                          starttime_local=local(v["event_start"]), endtime_utc=text(v["event_end"]),
                          endtime_local=local(v["event_end"]), runningstatus=v["running_status"],
                          parental=v["parental"], parental_text=PARENTAL[v["parental"]] if v["parental"] < 22 else "",
                          serviceid=0, unknown1="0x" + v["event_unknown1"].hex(), unknown2="0x" + "00" * 14,
                          name=decoded(v["event_name"]), description=decoded(v["event_description"]))
    e["exteventinfo"] = dict(serviceid=v["ext_service_id"], eventid=v["ext_event_id"], unknown1="0x" + "00" * 6,
                             unknown2="0x0000", text=decoded(v["ext_text"]))
    flags2 = (v["polarisation"] | v["mode"] << 1 | v["mod_system"] << 4 | v["modulation"] << 5 | v["fec"] << 7
              | v["pilot"] << 11) if st == 5 else 0
    e["tpinfo"] = dict(satindex=v["tp_sat_index"], flags2=flags2, polarisation=v["polarisation"], mode=v["mode"],
                       modsystem=v["mod_system"], modulation=v["modulation"], fec=v["fec"], pilot=v["pilot"],
                       channelnumber=v["channel_number"], bandwidth=v["bandwidth"], lphpstream=v["lp_hp_stream"],
                       frequency=v["frequency"], symbolrate=v["symbol_rate"], tsid=v["tsid"], clocksync=0,
                       unusedflags2=v["polarisation"], networkid=v["network_id"],
                       originalnetworkid=v["original_network_id"])
    b = dict(startposition=v["resume"], count=v["bookmark_count"])
    if 1 <= v["bookmark_count"] <= 177:
        b["bookmark"] = [{"block": x} for x in v["bookmarks"][:v["bookmark_count"]]]
    e["bookmarks"] = b
    out[name] = e
print(json.dumps(out))
)PY";

class APIFiles : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    WriteFile("/mnt/hd/ProgramFiles/Settings/DST.ini", "DefaultRule=europe\r\n");
    emu::gTime.utcOffset = 60;
    emu::gTime.timeMode = 0;
    emu::PublishTimeInfo();
    DST_ForgetRule();
    loadParental();
    snprintf(gRecordingExt, sizeof gRecordingExt, ".rec");
    gModelInfo = nullptr;
  }
  void TearDown() override {
    DST_ForgetRule();
    EmulatedPvr::TearDown();
  }

  json List(const std::string &params, std::string *raw = nullptr) { return HandlerAnswer(APIFilesGet, params, raw); }
  // The listed entry of this name (null when absent).
  static json Entry(const json &answer, const std::string &name) {
    for (const json &entry : answer["files"]) {
      if (entry["name"] == name) return entry;
    }
    return json();
  }
  static std::vector<std::string> Names(const json &answer) {
    std::vector<std::string> names;
    for (const json &entry : answer["files"]) names.push_back(entry["name"]);
    std::sort(names.begin(), names.end());
    return names;
  }
  void Mkdir(const std::string &pvrPath) {
    WriteFile(pvrPath + "/.keep", "");
    unlink(Host(pvrPath + "/.keep").c_str());
  }
};

TEST_F(APIFiles, RecordingHeadersOfTheThreeSystemTypesAgainstTheEncoder) {
  for (int systemType : {5, 6, 7}) {
    SCOPED_TRACE(systemType);
    json world = DemoWorld(systemType);
    EncodedWorld encoded = EncodeWorld(world);
    InstallDemoModel(root_, systemType);
    std::string error;
    ASSERT_TRUE(emu::InstallTables(encoded.Image(), &error)) << error;
    std::string folder = "/mnt/hd/DataFiles/Type" + std::to_string(systemType);
    Mkdir(folder);
    std::string worldPath = WriteTemporaryWorld(world);
    json input = {{"source", ORVANE_SOURCE_DIR}, {"world", worldPath}, {"system_type", systemType},
                  {"folder", Host(folder)}};
    std::string out = RunPython(kHeaders, input.dump());
    unlink(worldPath.c_str());
    json expected = json::parse(out, nullptr, false);
    ASSERT_FALSE(expected.is_discarded()) << out;

    json answer = List("dir=" + folder);
    ASSERT_EQ(answer["count"], expected.size());
    ASSERT_EQ(answer["files"].size(), expected.size());
    for (auto &item : expected.items()) {
      SCOPED_TRACE(item.key());
      json entry = Entry(answer, item.key());
      ASSERT_TRUE(entry.is_object());
      EXPECT_EQ(entry["infpresent"], 1);
      EXPECT_EQ(entry["navpresent"], 0);
      EXPECT_EQ(entry["tappresent"], 0);
      EXPECT_FALSE(entry.contains("mp3data"));
      for (auto &part : item.value().items()) {
        SCOPED_TRACE(part.key());
        const json &got = entry["infdata"][part.key()];
        ASSERT_TRUE(got.is_object());
        for (auto &member : part.value().items()) {
          EXPECT_EQ(got[member.key()], member.value()) << member.key();
        }
        EXPECT_EQ(got.size(), part.value().size());
      }
    }
  }
}

TEST_F(APIFiles, EveryMemberOfEachKindOfEntry) {
  WriteFile("/mnt/hd/DataFiles/Show.rec", std::string(9024 * 3, 'x'));
  WriteFile("/mnt/hd/DataFiles/Show.rec.nav", "n");
  WriteFile("/mnt/hd/DataFiles/Show.rec.inf", "not a header");   // decodes to a cleared record
  WriteFile("/mnt/hd/DataFiles/Other.mpg", "m");
  WriteFile("/mnt/hd/DataFiles/Notes.txt", "t");
  Mkdir("/mnt/hd/DataFiles/Folder.x");
  // A name in the PVR's character set: shown in UTF-8, its hex form is the raw bytes.
  WriteFile("/mnt/hd/DataFiles/Caf\xe9.rec", "c");
  json a = List("");
  EXPECT_EQ(a["content"], "files");
  EXPECT_EQ(a["directory"], "/mnt/hd/DataFiles");
  EXPECT_EQ(a["error_code"], 0);
  EXPECT_EQ(a["errno"], 0);
  EXPECT_EQ(a["error_text"], "");
  EXPECT_TRUE(a.contains("timestamp"));
  EXPECT_EQ(Names(a), (std::vector<std::string>{"Caf\xc3\xa9.rec", "Folder.x", "Show.rec"}));
  EXPECT_EQ(a["count"], 3);

  json show = Entry(a, "Show.rec");
  struct stat s;
  ASSERT_EQ(stat(Host("/mnt/hd/DataFiles/Show.rec").c_str(), &s), 0);
  EXPECT_EQ(show["name_hex"], ToHex("Show.rec"));
  EXPECT_EQ(show["size"], 9024 * 3);
  EXPECT_EQ(show["inode"], (long long)s.st_ino);
  EXPECT_EQ(show["attr"], 208);
  EXPECT_EQ(show["info"], (unsigned)s.st_mode);
  EXPECT_EQ(show["navpresent"], 1);
  EXPECT_EQ(show["infpresent"], 1);
  EXPECT_EQ(show["infdata"]["header"]["durationmin"], 0);
  EXPECT_EQ(show["infdata"]["header"]["starttime"], "0000/00/00 00:00:00");
  EXPECT_FALSE(show["infdata"]["bookmarks"].contains("bookmark"));
  EXPECT_FALSE(show.contains("link"));
  EXPECT_EQ(Entry(a, "Caf\xc3\xa9.rec")["name_hex"], ToHex("Caf\xe9.rec"));
  json folder = Entry(a, "Folder.x");
  EXPECT_EQ(folder["attr"], 224);
  EXPECT_EQ(folder["navpresent"], 0);
  EXPECT_EQ(folder["infpresent"], 0);
  EXPECT_FALSE(folder.contains("tappresent"));
  for (const char *member : {"link", "link_hex", "mount", "mount_hex", "dev", "dev_hex", "location"}) {
    EXPECT_TRUE(folder.contains(member)) << member;
  }

  // Outside the data folder every name is listed; "/MediaFiles" is the disk's folder.
  WriteFile("/mnt/hd/MediaFiles/Clip.mp4", "v");
  WriteFile("/mnt/hd/MediaFiles/Clip.mp4.inf", "");
  json media = List("dir=/MediaFiles");
  EXPECT_EQ(media["directory"], "/mnt/hd/MediaFiles");
  EXPECT_EQ(Names(media), (std::vector<std::string>{"Clip.mp4", "Clip.mp4.inf"}));
  EXPECT_EQ(Entry(media, "Clip.mp4")["infpresent"], 1);
  // nofiles lists the folders only, and count tells what was listed.
  json folders = List("dir=%2Fmnt%2Fhd%2FDataFiles&nofiles=1");
  EXPECT_EQ(Names(folders), (std::vector<std::string>{"Folder.x"}));
  EXPECT_EQ(folders["count"], 1);
  // file and file_hex name one entry; a name that is not there lists nothing.
  EXPECT_EQ(Names(List("file=Show.rec")), (std::vector<std::string>{"Show.rec"}));
  EXPECT_EQ(Names(List("file_hex=" + ToHex("Caf\xe9.rec"))), (std::vector<std::string>{"Caf\xc3\xa9.rec"}));
  EXPECT_EQ(Names(List("file=Caf%C3%A9.rec")), (std::vector<std::string>{"Caf\xc3\xa9.rec"}));
  json none = List("file=Missing.rec");
  EXPECT_EQ(none["count"], 0);
  EXPECT_EQ(none["files"].size(), 0u);
  EXPECT_EQ(List("file=" + std::string(200, 'a'))["count"], 0);   // longer than its field: no entry
  // An empty folder.
  Mkdir("/mnt/hd/DataFiles/Empty");
  json empty = List("dir=/DataFiles/Empty");
  EXPECT_EQ(empty["count"], 0);
  EXPECT_TRUE(empty["files"].is_array() && empty["files"].empty());
}

TEST_F(APIFiles, Mp3TagsWrittenByMutagen) {
  std::string script = std::string("import sys\nsys.path.insert(0, '") + ORVANE_SOURCE_DIR +
                       "/tools')\nimport demo_media\nimport os\nroot = sys.stdin.read().strip()\n"
                       "demo_media.music(root, True)\n";
  RunPython(script, root_ + "\n");
  json a = List("dir=/mnt/hd/MP3Files/Se%C3%B1al%20Ra%C3%ADz");
  ASSERT_EQ(a["count"], 2);
  json first = Entry(a, "01 Canci\xc3\xb3n del r\xc3\xado.mp3");
  EXPECT_EQ(first["mp3present"], 1);
  EXPECT_EQ(first["mp3data"], (json{{"artist", "Se\xc3\xb1" "al Ra\xc3\xadz"}, {"title", "Canci\xc3\xb3n del r\xc3\xado"},
                                    {"album", "Ra\xc3\xad" "ces"}, {"track", "1"}, {"year", "2021-04-30"},
                                    {"genre", "Folk"}, {"length", "201000"}}));
  json second = Entry(a, "02 Zorongo.MP3");   // the extension in any case; ISO 8859-1 text in a 2.3 tag
  EXPECT_EQ(second["mp3data"]["artist"], "Se\xc3\xb1" "al Ra\xc3\xadz");
  EXPECT_EQ(second["mp3data"]["genre"], "(80)");
  json top = List("dir=/mnt/hd/MP3Files");
  EXPECT_EQ(Entry(top, "\xce\x9a\xcf\x8d\xce\xbc\xce\xb1 - \xce\x98\xce\xac\xce\xbb\xce\xb1\xcf\x83\xcf\x83\xce\xb1.mp3")
                ["mp3data"]["title"],
            "\xce\x98\xce\xac\xce\xbb\xce\xb1\xcf\x83\xcf\x83\xce\xb1 \xf0\x9f\x8c\x8a");   // UTF-16BE, a pair
  json untagged = Entry(top, "Untagged.mp3");
  EXPECT_EQ(untagged["mp3present"], 1);
  EXPECT_EQ(untagged["mp3data"], json::object());
  EXPECT_EQ(Entry(top, "Northwind Quartet - Harbour Lights")["attr"], 224);
}

TEST_F(APIFiles, TapFilesAreReadAsUntrustedInput) {
  std::ifstream tap(ORVANE_ECHO_TAP, std::ios::binary);
  std::string image((std::istreambuf_iterator<char>(tap)), std::istreambuf_iterator<char>());
  ASSERT_GT(image.size(), 1000u);
  WriteFile("/mnt/hd/ProgramFiles/Echo.tap", image);
  WriteFile("/mnt/hd/ProgramFiles/Cut.tap", image.substr(0, image.size() / 3));
  std::string hostile = image;
  for (size_t i = 0x20; i < 0x34 && i < hostile.size(); i++) hostile[i] = '\xff';   // section table far away
  WriteFile("/mnt/hd/ProgramFiles/Hostile.tap", hostile);
  WriteFile("/mnt/hd/ProgramFiles/Empty.tap", "");
  WriteFile("/mnt/hd/ProgramFiles/Upper.TAP", image);
  json a = List("dir=/ProgramFiles");
  json echo = Entry(a, "Echo.tap");
  EXPECT_EQ(echo["tappresent"], 1);
  ASSERT_TRUE(echo["tap"].is_object());
  EXPECT_EQ(echo["tap"]["index"], -1);
  EXPECT_EQ(echo["tap"]["status"], -1);
  EXPECT_EQ(echo["tap"]["file_name"], "/mnt/hd/ProgramFiles/Echo.tap");
  EXPECT_NE(echo["tap"]["tapid"], 0);
  char hex[9];
  snprintf(hex, sizeof hex, "%08x", echo["tap"]["tapid"].get<unsigned>());
  EXPECT_EQ(echo["tap"]["tapid_hex"], hex);
  for (const char *member : {"name", "version", "description", "author"}) EXPECT_TRUE(echo["tap"][member].is_string());
  for (const char *name : {"Cut.tap", "Hostile.tap", "Empty.tap", "Upper.TAP"}) {
    SCOPED_TRACE(name);
    json entry = Entry(a, name);
    ASSERT_TRUE(entry.is_object());
    EXPECT_EQ(entry["tappresent"], 0);
    EXPECT_FALSE(entry.contains("tap"));
  }
}

TEST_F(APIFiles, LinksMountPointsAndDevices) {
  WriteFile("/proc/mounts",
            "rootfs / rootfs rw 0 0\n/dev/sda2 /mnt/hd ext3 rw 0 0\n/dev/sdb1 /mnt/sdb1 vfat rw 0 0\n"
            "//nas/media /mnt/net cifs rw 0 0\n/dev/sdc1 /mnt/USB\\040Stick vfat rw 0 0\n");
  WriteFile("/mnt/sdb1/Recordings/Late.rec", "r");
  WriteFile("/mnt/net/Concerts/Open.mp4", "v");
  WriteFile("/mnt/USB Stick/a.txt", "a");
  ASSERT_EQ(symlink("../../sdb1/Recordings", Host("/mnt/hd/DataFiles/USB").c_str()), 0);
  json a = List("");
  json usb = Entry(a, "USB");
  EXPECT_EQ(usb["attr"], 224);
  EXPECT_EQ(usb["link"], "../../sdb1/Recordings");
  EXPECT_EQ(usb["link_hex"], ToHex("../../sdb1/Recordings"));
  EXPECT_EQ(usb["mount"], "/mnt/sdb1/");
  EXPECT_EQ(usb["dev"], "/dev/sdb1/");
  EXPECT_EQ(usb["location"], 2);
  EXPECT_EQ(a["mount"], "/mnt/hd/");
  EXPECT_EQ(a["dev"], "/dev/sda2/");
  EXPECT_EQ(a["dev_hex"], ToHex("/dev/sda2/"));
  EXPECT_EQ(a["location"], 0);
  EXPECT_EQ(a["link"], "");

  json through = List("dir=/DataFiles/USB");
  EXPECT_EQ(through["directory"], "/mnt/hd/DataFiles/USB");
  EXPECT_EQ(Names(through), (std::vector<std::string>{"Late.rec"}));
  EXPECT_EQ(through["link"], "../../sdb1/Recordings");
  EXPECT_EQ(through["location"], 2);
  json net = List("dir=/mnt/net/Concerts");
  EXPECT_EQ(net["dev"], "//nas/media/");
  EXPECT_EQ(net["location"], 3);
  EXPECT_EQ(Names(net), (std::vector<std::string>{"Open.mp4"}));
  json stick = List("dir=/mnt/USB%20Stick");
  EXPECT_EQ(stick["mount"], "/mnt/USB Stick/");
  EXPECT_EQ(stick["dev"], "/dev/sdc1/");
}

TEST_F(APIFiles, FoldersOutsideMntAreNotListed) {
  WriteFile("/etc/secret.rec", "s");
  WriteFile("/mnt/hdd/other.rec", "o");
  ASSERT_EQ(symlink("../../../etc", Host("/mnt/hd/DataFiles/Escape").c_str()), 0);
  ASSERT_EQ(symlink("/etc", Host("/mnt/hd/DataFiles/Absolute").c_str()), 0);
  for (const char *dir : {"/etc", "/mnt/hd/../../etc", "/DataFiles/../../../etc", "/mnt", "/mnt/", "relative",
                          "/mnt/hd/DataFiles/Escape", "/DataFiles/Absolute", "%2Fetc", "/mnt/hd/%2E%2E/%2E%2E/etc",
                          "/mnt/hd/DataFiles/%zz"}) {
    SCOPED_TRACE(dir);
    json a = List(std::string("dir=") + dir);
    EXPECT_EQ(a["error_code"], 2);
    EXPECT_EQ(a["errno"], EINVAL);
    EXPECT_EQ(a["error_text"], "Error at opendir().");
    EXPECT_EQ(a["count"], 0);
    EXPECT_TRUE(a["files"].empty());
  }
  // A folder name only alike: "/mnt/hdd" is a folder of its own below "/mnt/".
  EXPECT_EQ(Names(List("dir=/mnt/hdd")), (std::vector<std::string>{"other.rec"}));
  json missing = List("dir=/mnt/hd/Nowhere");
  EXPECT_EQ(missing["error_code"], 2);
  EXPECT_EQ(missing["errno"], ENOENT);
  EXPECT_EQ(List("dir=" + std::string(600, 'a'))["error_code"], 2);   // longer than its field
}

TEST_F(APIFiles, FullAnswersStopAddingEntriesAndCountWhatTheyHold) {
  // Entries of about 6 kB: texts of quotes, escaped to twice their size.
  std::string script = std::string("import sys\nsys.path.insert(0, '") + ORVANE_SOURCE_DIR +
                       "/tests/oracles')\nimport recording_header as rh\nfolder = sys.stdin.read().strip()\n"
                       "for i in range(300):\n"
                       "    name = '%s/r%03d.rec' % (folder, i)\n"
                       "    open(name, 'wb').write(b'x')\n"
                       "    open(name + '.inf', 'wb').write(rh.encode(dict(ext_text=b'\"' * 1024, "
                       "event_name=b'\"' * 100, event_description=b'\"' * 173, bookmarks=list(range(1, 178))), 5))\n";
  RunPython(script, Host("/mnt/hd/DataFiles") + "\n");
  InstallDemoModel(root_, 5);
  std::string raw;
  json a = List("", &raw);
  EXPECT_LE(raw.size(), (size_t)FILES_ANSWER_LIMIT);
  EXPECT_GT(raw.size(), (size_t)FILES_ANSWER_LIMIT - 16 * 1024);
  EXPECT_LT(a["files"].size(), 300u);
  EXPECT_EQ(a["count"], a["files"].size());
  EXPECT_EQ(a["files"][0]["infdata"]["exteventinfo"]["text"], std::string(1024, '"'));
}

TEST_F(APIFiles, NoAnswerWithoutMemory) {
  emu::FailAllAllocations(true);
  EXPECT_EQ(HandlerBody(APIFilesGet, ""), "");
  emu::FailAllAllocations(false);
  EXPECT_EQ(List("")["error_code"], 0);
}

}  // namespace
