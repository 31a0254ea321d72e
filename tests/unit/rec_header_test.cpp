// Recording headers: the decoder against the independent Python writer of the three
// layouts (both byte orders, random fields, long and non-ASCII texts, bookmarks), and
// truncated and hostile files.
#include "platform/rec_header.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/unit/python_oracle.h"
#include "tests/unit/temp_folder.h"

namespace {

// Writes the cases into folder and prints, per file, what a reader must see.
const char kWriter[] = R"PY(
import json, random, sys
sys.path.insert(0, sys.argv[1] + "/tests/oracles")
import recording_header as rh
folder = sys.argv[2]
rnd = random.Random(20240607)
def text(n, high=True):
    # printable ASCII, bytes of the PVR's tables (0xA0-0xFF, ISO 6937 diacritics) and a
    # character table selector now and then
    pool = list(range(0x20, 0x7F)) + (list(range(0xA0, 0x100)) if high else [])
    body = bytes(rnd.choice(pool) for _ in range(n))
    return (bytes([rnd.choice([0x05, 0x01, 0x15])]) + body[1:]) if high and n and rnd.random() < 0.3 else body
def bits(n): return rnd.getrandbits(n)
def fields(system_type, little):
    version = rnd.choice(rh.LITTLE_ENDIAN_VERSIONS) if little else rnd.choice([0x0100, 0x1000, 0x5001, 0x0051])
    name = text(rnd.randint(0, 120))
    marks = sorted(bits(32) for _ in range(rnd.choice([0, 1, 5, 177])))
    f = dict(version=version, start_time=bits(32), duration_min=bits(16), duration_sec=bits(16),
             crypt_flag=bits(2), header_flags=bits(6) << 2, copy_flag=bits(1), timeshift_flag=bits(1),
             header_flags2=bits(6), reserved1=bytes([bits(8), bits(8)]), reserved2=bytes(bits(8) for _ in range(10)),
             sat_index=bits(8), service_type=bits(8), tp_index=bits(10), tuner_num=bits(2),
             del_flag=bits(1), cas_flag=bits(1), lock_flag=bits(1), skip_flag=bits(1),
             service_id=bits(16), pmt_pid=bits(16), pcr_pid=bits(16), video_pid=bits(16), audio_pid=bits(16),
             service_name=text(rnd.randint(0, 24)), video_stream_type=bits(8), audio_stream_type=bits(8),
             event_unknown1=bytes([bits(8), bits(8)]), event_duration=rnd.randint(0, 255 * 60 + 59),
             event_id=bits(32), event_start=bits(32), event_end=bits(32), running_status=bits(8),
             parental=bits(8), event_name=name, event_description=text(rnd.randint(0, 273 - len(name))),
             ext_service_id=bits(16), ext_event_id=bits(32), ext_text=text(rnd.randint(0, 1024)),
             reserved3=bytes(bits(8) for _ in range(4)), tp_sat_index=bits(8), polarisation=bits(1), mode=bits(3),
             mod_system=bits(1), modulation=bits(2) if system_type == 5 else bits(8), fec=bits(4), pilot=bits(1),
             channel_number=bits(8), bandwidth=bits(8), lp_hp_stream=bits(8),
             frequency=bits(24) if system_type == 7 else bits(32), symbol_rate=bits(16), tsid=bits(16),
             network_id=bits(16), original_network_id=bits(16), bookmarks=marks, resume=bits(32))
    return f
cases = []
for system_type in (5, 6, 7):
    for little in (True, False):
        for i in range(12):
            cases.append((system_type, fields(system_type, little)))
        # edge texts: the whole 273 bytes as a name, an empty name, a description that
        # fills the rest, NUL bytes and line breaks in the extended text, a stored extended
        # length beyond the field, a bookmark count beyond the table, name length 255
        f = fields(system_type, little)
        f.update(event_name=text(200, False), event_description=text(73, False),
                 ext_text=b"first\\nsecond\0third\\\\n" + text(20, False), bookmarks=[], bookmark_count=500)
        cases.append((system_type, f))
        f = fields(system_type, little)
        f.update(event_name=b"", event_description=text(273), ext_text=text(1024, False), ext_length=0xFFFF)
        cases.append((system_type, f))
        f = fields(system_type, little)
        f.update(event_name=text(20), name_length=255, ext_text=b"short\0\0tail", ext_length=4000)
        cases.append((system_type, f))
        f = fields(system_type, little)
        f.update(ext_text=b"ends in a backslash\\", ext_length=20, bookmarks=list(range(1, 178)))
        cases.append((system_type, f))
out = []
for i, (system_type, f) in enumerate(cases):
    path = "%s/case%03d.inf" % (folder, i)
    with open(path, "wb") as fh:
        fh.write(rh.encode(f, system_type))
    view = {k: (v.hex() if isinstance(v, bytes) else v) for k, v in rh.reader_view(f, system_type).items()}
    out.append({"path": path, "type": system_type, "view": view})
print(json.dumps(out))
)PY";

std::string HexOf(const void *bytes, size_t count) { return ToHex(std::string((const char *)bytes, count)); }

std::string ReadWhole(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}


void ExpectRecordMatches(const RECHeaderInfo &r, const nlohmann::json &v, const std::string &where) {
  SCOPED_TRACE(where);
  auto n = [&](const char *key) { return v.at(key).get<unsigned long long>(); };
  EXPECT_EQ(r.header.magic, (dword)REC_HEADER_MAGIC);
  EXPECT_EQ(r.header.version, n("version"));
  EXPECT_EQ(r.header.startTime, n("start_time"));
  EXPECT_EQ(r.header.durationMinutes, n("duration_min"));
  EXPECT_EQ(r.header.durationSeconds, n("duration_sec"));
  EXPECT_EQ(r.header.serviceNumber, 0);
  EXPECT_EQ(r.header.serviceType, 0);
  EXPECT_EQ(r.cryptFlag, n("crypt_flag"));
  EXPECT_EQ(r.header.flags, n("header_flags"));
  EXPECT_EQ(r.header.flags2, n("header_flags2"));
  EXPECT_EQ(r.header.copyFlag, n("copy_flag"));
  EXPECT_EQ(r.header.timeShiftFlag, n("timeshift_flag"));

  EXPECT_EQ(r.service.satIndex, n("sat_index"));
  EXPECT_EQ(r.service.serviceType, n("service_type"));
  EXPECT_EQ(r.service.tpIndex, n("tp_index"));
  EXPECT_EQ(r.service.tunerNum, n("tuner_num"));
  EXPECT_EQ(r.service.delFlag, n("del_flag"));
  EXPECT_EQ(r.service.casFlag, n("cas_flag"));
  EXPECT_EQ(r.service.lockFlag, n("lock_flag"));
  EXPECT_EQ(r.service.skipFlag, n("skip_flag"));
  EXPECT_EQ(r.service.serviceId, n("service_id"));
  EXPECT_EQ(r.service.pmtPid, n("pmt_pid"));
  EXPECT_EQ(r.service.pcrPid, n("pcr_pid"));
  EXPECT_EQ(r.service.videoPid, n("video_pid"));
  EXPECT_EQ(r.service.audioPid, n("audio_pid"));
  EXPECT_EQ(HexOf(r.service.serviceName, REC_SERVICE_NAME_SIZE), v.at("service_name").get<std::string>());
  EXPECT_EQ(r.service.serviceName[REC_SERVICE_NAME_SIZE], '\0');
  EXPECT_EQ(r.service.videoStreamType, n("video_stream_type"));
  EXPECT_EQ(r.service.audioStreamType, n("audio_stream_type"));

  EXPECT_EQ(HexOf(r.event.unknown1, 2), v.at("event_unknown1").get<std::string>());
  EXPECT_EQ(r.event.duration, n("event_duration"));
  EXPECT_EQ(r.event.eventId, n("event_id"));
  EXPECT_EQ(r.event.startTime, n("event_start"));
  EXPECT_EQ(r.event.endTime, n("event_end"));
  EXPECT_EQ(r.event.runningStatus, n("running_status"));
  EXPECT_EQ(r.event.parentalRating, n("parental"));
  std::string name = v.at("event_name").get<std::string>(), description = v.at("event_description").get<std::string>();
  ASSERT_EQ(r.event.nameLength, name.size() / 2);
  EXPECT_EQ(HexOf(r.event.eventName, r.event.nameLength), name);
  EXPECT_EQ(r.event.eventName[r.event.nameLength], '\0');
  EXPECT_EQ(HexOf(r.event.eventDescription, description.size() / 2), description);
  EXPECT_EQ(r.event.eventDescription[description.size() / 2], '\0');

  EXPECT_EQ(r.extEvent.serviceId, n("ext_service_id"));
  EXPECT_EQ(r.extEvent.eventId, n("ext_event_id"));
  std::string text = v.at("ext_text").get<std::string>();
  ASSERT_EQ(r.extEvent.textLength, text.size() / 2);
  EXPECT_EQ(HexOf(r.extEvent.text, r.extEvent.textLength), text);
  EXPECT_EQ(r.extEvent.text[r.extEvent.textLength], '\0');

  EXPECT_EQ(r.transponder.satIndex, n("tp_sat_index"));
  EXPECT_EQ(r.transponder.polarisation, n("polarisation"));
  EXPECT_EQ(r.transponder.mode, n("mode"));
  EXPECT_EQ(r.transponder.modSystem, n("mod_system"));
  EXPECT_EQ(r.transponder.modulation, n("modulation"));
  EXPECT_EQ(r.transponder.fec, n("fec"));
  EXPECT_EQ(r.transponder.pilot, n("pilot"));
  EXPECT_EQ(r.transponder.channelNumber, n("channel_number"));
  EXPECT_EQ(r.transponder.bandwidth, n("bandwidth"));
  EXPECT_EQ(r.transponder.lpHpStream, n("lp_hp_stream"));
  EXPECT_EQ(r.transponder.frequency, n("frequency"));
  EXPECT_EQ(r.transponder.symbolRate, n("symbol_rate"));
  EXPECT_EQ(r.transponder.tsId, n("tsid"));
  EXPECT_EQ(r.transponder.networkId, n("network_id"));
  EXPECT_EQ(r.transponder.originalNetworkId, n("original_network_id"));
  EXPECT_EQ(r.transponder.clockSync, 0);

  EXPECT_EQ(r.bookmarks.count, n("bookmark_count"));
  const nlohmann::json &marks = v.at("bookmarks");
  ASSERT_EQ(marks.size(), (size_t)REC_BOOKMARKS);
  for (int i = 0; i < REC_BOOKMARKS; i++) EXPECT_EQ(r.bookmarks.block[i], marks[i].get<dword>()) << "bookmark " << i;
  EXPECT_EQ(r.bookmarks.resume, n("resume"));
}

TEST(RecHeader, DecodesTheIndependentWritersFilesOfAllThreeLayoutsInBothByteOrders) {
  TempFolder folder;
  ASSERT_FALSE(folder.path().empty());
  std::string script = std::string(kWriter);
  // The script's arguments come through a small wrapper line.
  std::string output = RunPython("import sys; sys.argv = ['w', '" ORVANE_SOURCE_DIR "', '" + folder.path() +
                                     "']\n" + script,
                                 "");
  nlohmann::json cases = nlohmann::json::parse(output, nullptr, false);
  ASSERT_TRUE(cases.is_array()) << output.substr(0, 2000);
  ASSERT_EQ(cases.size(), 3u * 2 * 16);
  for (const nlohmann::json &c : cases) {
    std::string path = c.at("path").get<std::string>();
    std::string file = ReadWhole(path);
    RECHeaderInfo record;
    ASSERT_EQ(HDD_DecodeRECHeader((const byte *)file.data(), (dword)file.size(), &record, c.at("type").get<dword>()), 1)
        << path;
    ExpectRecordMatches(record, c.at("view"), path);
    // The file reader gives the same record.
    RECHeaderInfo fromFile;
    int decoded = 0;
    ASSERT_EQ(HDD_ReadRECHeaderFile(path.c_str(), &fromFile, c.at("type").get<dword>(), &decoded), 1);
    EXPECT_EQ(decoded, 1);
    EXPECT_EQ(memcmp(&record, &fromFile, sizeof record), 0) << path;
  }
}

// A file image of the satellite layout with every byte set, so that a truncation shows.
std::string BusyHeader(bool littleEndian) {
  std::string file(REC_HEADER_READ_SIZE, '\0');
  TestRandom random(7);
  for (char &c : file) c = (char)(random.Next() | 1);
  memcpy(&file[0], "TFrc", 4);
  file[4] = littleEndian ? 0x00 : 0x01;
  file[5] = littleEndian ? 0x50 : 0x00;
  return file;
}

TEST(RecHeader, ATruncatedFileReadsAsIfPaddedWithZeros) {
  for (bool little : {true, false}) {
    std::string whole = BusyHeader(little);
    for (dword systemType : {5u, 6u, 7u}) {
      for (size_t cut = 0; cut <= whole.size(); cut += (cut < 100 ? 1 : 37)) {
        std::string padded = whole.substr(0, cut) + std::string(whole.size() - cut, '\0');
        // The truncated image lives in a buffer of exactly its size, so that any read past
        // it is an overrun the sanitizers see.
        std::vector<byte> exact(whole.begin(), whole.begin() + cut);
        RECHeaderInfo a, b;
        int ra = HDD_DecodeRECHeader(exact.empty() ? nullptr : exact.data(), (dword)cut, &a, systemType);
        int rb = HDD_DecodeRECHeader((const byte *)padded.data(), (dword)padded.size(), &b, systemType);
        ASSERT_EQ(ra, rb) << "cut at " << cut;
        ASSERT_EQ(memcmp(&a, &b, sizeof a), 0) << "type " << systemType << " cut at " << cut;
        EXPECT_EQ(ra, cut >= 4 ? 1 : 0);
      }
    }
  }
}

TEST(RecHeader, TextsStayInTheirFieldsAndAreTerminated) {
  std::string file = BusyHeader(true);
  file[85] = (char)255;                // a name length that leaves 18 bytes of description
  file[362] = (char)0xFF;              // an extended length beyond the field: the text has no
  file[363] = (char)0xFF;              // NUL, so all 1024 bytes are taken
  RECHeaderInfo r;
  ASSERT_EQ(HDD_DecodeRECHeader((const byte *)file.data(), (dword)file.size(), &r, 5), 1);
  EXPECT_EQ(r.event.nameLength, 255);
  EXPECT_EQ(strlen(r.event.eventName), 255u);
  EXPECT_EQ(strlen(r.event.eventDescription), 18u);
  EXPECT_EQ(memcmp(r.event.eventDescription, &file[87 + 255], 18), 0);
  EXPECT_EQ(strlen(r.service.serviceName), (size_t)REC_SERVICE_NAME_SIZE);
  EXPECT_LE(strlen(r.extEvent.text), (size_t)REC_EXT_TEXT_SIZE);
  EXPECT_EQ(r.extEvent.text[REC_EXT_TEXT_SIZE], '\0');
}

TEST(RecHeader, MagicVersionRuleAndSystemTypesWithoutALayout) {
  std::string file = BusyHeader(false);
  RECHeaderInfo r;
  // Types 13 and above: magic and version only, decoded.
  ASSERT_EQ(HDD_DecodeRECHeader((const byte *)file.data(), (dword)file.size(), &r, 13), 1);
  EXPECT_EQ(r.header.version, 0x0100);
  EXPECT_EQ(r.header.startTime, 0u);
  EXPECT_EQ(r.service.serviceName[0], '\0');
  // Types without a layout here: not decoded.
  for (dword type : {0u, 1u, 4u, 8u, 9u, 11u, 12u}) {
    EXPECT_EQ(HDD_DecodeRECHeader((const byte *)file.data(), (dword)file.size(), &r, type), 0) << type;
    EXPECT_EQ(r.header.startTime, 0u);
  }
  // The three little-endian versions and their neighbours.
  for (int v : {80, 128, 4176, 81, 0x5000}) {
    file[4] = (char)(v >> 8);
    file[5] = (char)v;
    ASSERT_EQ(HDD_DecodeRECHeader((const byte *)file.data(), (dword)file.size(), &r, 5), 1);
    bool little = v == 80 || v == 128 || v == 4176;
    EXPECT_EQ(r.header.version, little ? (word)((v & 0xFF) << 8 | v >> 8) : (word)v) << v;
    word raw = (word)((byte)file[12] << 8 | (byte)file[13]);
    EXPECT_EQ(r.header.durationMinutes, little ? (word)(raw >> 8 | (raw & 0xFF) << 8) : raw) << v;
  }
  // A wrong magic keeps only the magic.
  file[0] = 'X';
  EXPECT_EQ(HDD_DecodeRECHeader((const byte *)file.data(), (dword)file.size(), &r, 5), 0);
  EXPECT_EQ(r.header.magic, 0x58467263u);
  EXPECT_EQ(r.header.version, 0);
  EXPECT_EQ(r.header.startTime, 0u);
  // A file that does not exist is not read.
  int decoded = 7;
  EXPECT_EQ(HDD_ReadRECHeaderFile("/nonexistent/x.inf", &r, 5, &decoded), 0);
  EXPECT_EQ(decoded, 0);
}

}  // namespace
