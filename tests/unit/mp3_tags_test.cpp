// MP3 tags: files written by a real tagger (python3-mutagen: ID3v2.3 and 2.4, each text
// encoding, cover art, several values) and by a small independent writer (2.2 tags,
// unsynchronisation, compression, extended headers, empty and damaged frames, UTF-16
// without byte-order mark), each read back by mutagen to tell what the listing must show.
#include "platform/mp3_tags.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>

#include "tests/unit/python_oracle.h"
#include "tests/unit/temp_folder.h"

namespace {

const char kFiles[] = R"PY(
import json, os, random, sys
sys.path.insert(0, SOURCE + "/tests/oracles")
import id3_writer as w
import mutagen.id3 as m
rnd = random.Random(99)
KEYS = [("TPE1", "artist"), ("TIT2", "title"), ("TALB", "album"), ("TRCK", "track"), ("TYER", "year"),
        ("TCON", "genre"), ("TLEN", "length")]
def latin1(n):
    # ISO 8859-1 without the bytes 0xA0-0xBF, so that no pair of bytes reads as UTF-8
    pool = [chr(c) for c in list(range(0x20, 0x7F)) + list(range(0xC0, 0x100))]
    return "".join(rnd.choice(pool) for _ in range(n))
def unicode_text(n):
    pool = [chr(c) for c in range(0x20, 0x7F)] + list("éßΩЖ日本語한\u00ff") + ["\U0001D11E", "\U0001F600"]
    return "".join(rnd.choice(pool) for _ in range(n))
def text(encoding, n):
    return latin1(n) if encoding == 0 else unicode_text(n)
files = []
def add(name, data):
    path = os.path.join(FOLDER, name)
    with open(path, "wb") as f:
        f.write(data)
    files.append(path)
def mutagen_file(name, version, encoding, extra=(), title=None):
    path = os.path.join(FOLDER, name)
    with open(path, "wb") as f:
        f.write(w.AUDIO)
    t = m.ID3()
    t.add(m.TPE1(encoding=encoding, text=[text(encoding, rnd.randint(1, 40))]))
    t.add(m.TIT2(encoding=encoding, text=[title if title is not None else text(encoding, rnd.randint(1, 80))]))
    t.add(m.TALB(encoding=encoding, text=[text(encoding, rnd.randint(0, 30))]))
    t.add(m.TRCK(encoding=encoding, text=["%d/%d" % (rnd.randint(1, 9), rnd.randint(10, 20))]))
    if version == 3:
        t.add(m.TYER(encoding=encoding, text=[str(rnd.randint(1950, 2030))]))
        t.add(m.TCON(encoding=encoding, text=[rnd.choice(["(13)Pop", "(17)", "Jazz", "(13)(17)Rock", "((odd)"])]))
    else:
        t.add(m.TDRC(encoding=encoding, text=["%d-05-03" % rnd.randint(1950, 2030)]))
        t.add(m.TCON(encoding=encoding, text=[text(encoding, 8)]))
    t.add(m.TLEN(encoding=encoding, text=[str(rnd.randint(1000, 999999))]))
    for frame in extra:
        t.add(frame)
    t.save(path, v2_version=version)
    files.append(path)
cover = m.APIC(encoding=0, mime="image/png", type=3, desc="cover", data=bytes(rnd.getrandbits(8) for _ in range(300000)))
for version, encodings in ((3, (0, 1)), (4, (0, 1, 2, 3))):
    for encoding in encodings:
        for i in range(3):
            mutagen_file("m%d_e%d_%d.mp3" % (version, encoding, i), version, encoding, (cover,) if i == 0 else ())
mutagen_file("m4_multi.mp3", 4, 3, (m.TPE1(encoding=3, text=["First", "Second"]),))
mutagen_file("m4_long.mp3", 4, 1, title=unicode_text(1500))
mutagen_file("m4_long_latin1.mp3", 4, 0, title=latin1(1500))
t = lambda e, s, **k: w.text_data(e, s, **k)
add("w2.mp3", w.tag(2, [w.frame(2, "TP1", t(0, latin1(20))), w.frame(2, "TT2", t(1, unicode_text(20))),
                        w.frame(2, "TAL", t(1, "Album")), w.frame(2, "TRK", t(0, "7")),
                        w.frame(2, "TYE", t(0, "1999")), w.frame(2, "TCO", t(0, "(13)Pop")),
                        w.frame(2, "TLE", t(0, "12345")), w.frame(2, "PIC", bytes(5000))]) + w.AUDIO)
add("w2_unsync.mp3", w.tag(2, [w.frame(2, "TP1", t(0, "\xff\xff\xe0x")), w.frame(2, "TT2", t(1, "\u00ff\u00ffy"))],
                           unsync=True) + w.AUDIO)
add("w3_unsync.mp3", w.tag(3, [w.frame(3, "TPE1", t(0, "\xff\xe0\xffz")), w.frame(3, "TIT2", t(1, "\u00ff\u00ff\u00e0")),
                               w.frame(3, "APIC", b"\0image/jpeg\0\x03\0" + b"\xff\xd8\xff\xe0" * 1000),
                               w.frame(3, "TALB", t(1, "after the picture \u00ff"))], unsync=True, padding=50) + w.AUDIO)
add("w4_unsync.mp3", w.tag(4, [w.frame(4, "TPE1", t(1, "\u00ff\u00ffx"), unsync=True),
                               w.frame(4, "TIT2", t(0, "\xff\xffq"), unsync=True)], unsync=True) + w.AUDIO)
add("w4_frame_unsync.mp3", w.tag(4, [w.frame(4, "TPE1", t(1, "\u00ff\u00e0x"), unsync=True),
                                     w.frame(4, "TALB", t(3, "plain"))]) + w.AUDIO)
add("w3_compressed.mp3", w.tag(3, [w.frame(3, "TPE1", t(0, latin1(300)), compress=True),
                                   w.frame(3, "TIT2", t(1, unicode_text(200)), compress=True)]) + w.AUDIO)
add("w4_compressed.mp3", w.tag(4, [w.frame(4, "TPE1", t(3, unicode_text(300)), compress=True),
                                   w.frame(4, "TIT2", t(0, latin1(100)), compress=True, unsync=True)]) + w.AUDIO)
# A compressed frame that claims to inflate to far more than a frame may hold is not read.
add("w3_bomb.mp3", w.tag(3, [w.frame(3, "TPE1", t(0, "bomb"), compress=True, inflated=0xC0001000),
                             w.frame(3, "TIT2", t(0, "after the bomb"))]) + w.AUDIO)
add("w4_bomb.mp3", w.tag(4, [w.frame(4, "TPE1", t(0, "bomb"), compress=True, inflated=0x0FFFFFFF),
                             w.frame(4, "TIT2", t(0, "after the bomb"))]) + w.AUDIO)
add("w3_extended.mp3", w.tag(3, [w.frame(3, "TPE1", t(0, "ext 2.3")), w.frame(3, "TYER", t(0, "2001"))],
                             extended=True, padding=30) + w.AUDIO)
add("w4_extended.mp3", w.tag(4, [w.frame(4, "TPE1", t(0, "ext 2.4")), w.frame(4, "TDRC", t(0, "2002"))],
                             extended=True, padding=30) + w.AUDIO)
# Frames of size 0 and damaged frames cost only themselves.
add("w4_empty.mp3", w.tag(4, [w.frame(4, "TLEN", b""), w.frame(4, "APIC", b""), w.frame(4, "TPE1", t(0, "after empty")),
                              w.frame(4, "TALB", b"\x07bad encoding"), w.frame(4, "TCON", b"\x00"),
                              w.frame(4, "TIT2", t(1, "no mark", mark=False)),
                              w.frame(4, "TRCK", t(2, "with mark", mark="be")),
                              w.frame(4, "TXXX", b"")]) + w.AUDIO)
add("w3_empty.mp3", w.tag(3, [w.frame(3, "TPE1", b""), w.frame(3, "TIT2", t(0, "title")),
                              w.frame(3, "TYER", b""), w.frame(3, "TLEN", t(1, "", mark=False))]) + w.AUDIO)
# The first of two frames counts; frames after padding or past the tag's end are not read.
add("w4_twice.mp3", w.tag(4, [w.frame(4, "TPE1", t(0, "first")), w.frame(4, "TPE1", t(0, "second"))],
                          padding=10) + w.AUDIO)
cut = w.tag(4, [w.frame(4, "TPE1", t(0, "kept")), w.frame(4, "TIT2", t(0, "x" * 100))])
add("w4_short.mp3", cut[:6] + w.syncsafe(len(cut) - 10 - 50) + cut[10:-50])
add("plain.mp3", w.AUDIO)
add("bad_version.mp3", b"ID3\x05\x00\x00" + w.syncsafe(20) + bytes(20) + w.AUDIO)
add("short.mp3", b"ID3\x03")
out = []
for path in files:
    try:
        tag = m.ID3(path, translate=False)
        version = tag.version[1]
    except m.ID3NoHeaderError:
        tag, version = None, 0
    except Exception:
        tag, version = None, 0
    frames = {}
    for frame_id, key in KEYS:
        found = None
        if tag is not None:
            if frame_id in tag:
                found = tag[frame_id]
            elif key == "year" and "TDRC" in tag:
                found = tag["TDRC"]
        if found is None:
            frames[key] = None
            continue
        value = str(found.text[0]) if found.text else ""
        if value.startswith("\ufeff"):
            value = value[1:]
        data = value.encode("utf-8")
        if len(data) > 2047:
            data = data[:2047]
            while data and (data[-1] & 0xC0) == 0x80:
                data = data[:-1]
            data = data.decode("utf-8", "ignore").encode("utf-8")
        frames[key] = {"encoding": int(found.encoding), "text": data.hex()}
    if path.endswith("w4_short.mp3"):
        frames["title"] = None   # past the tag's end, where the tagger reads on into the audio
    if "_bomb" in path:
        frames["artist"] = None   # the tagger inflates it whatever size it claims
    out.append({"path": path, "version": version, "frames": frames})
print(json.dumps(out))
)PY";


TEST(Mp3Tags, ValuesAreThoseTheTaggerReadsBack) {
  TempFolder folder;
  std::string output = RunPython(
      "SOURCE = '" ORVANE_SOURCE_DIR "'\nFOLDER = '" + folder.path() + "'\n" + kFiles, "");
  nlohmann::json files = nlohmann::json::parse(output, nullptr, false);
  ASSERT_TRUE(files.is_array()) << output.substr(0, 3000);
  ASSERT_GE(files.size(), 35u);
  int tagged = 0;
  for (const nlohmann::json &file : files) {
    std::string path = file.at("path").get<std::string>();
    SCOPED_TRACE(path);
    Mp3Tags tags;
    int result = Mp3ReadTags(path.c_str(), &tags);
    int version = file.at("version").get<int>();
    EXPECT_EQ(result, version ? 1 : 0);
    EXPECT_EQ(tags.version, version);
    tagged += result;
    for (int k = 0; k < MP3_TAG_FRAMES; k++) {
      const nlohmann::json &want = file.at("frames").at(gMp3TagFields[k].key);
      const Mp3TagFrame &got = tags.frame[k];
      SCOPED_TRACE(gMp3TagFields[k].key);
      if (want.is_null()) {
        EXPECT_FALSE(got.present);
        EXPECT_STREQ(got.text, "");
        continue;
      }
      EXPECT_TRUE(got.present);
      EXPECT_EQ(got.encoding, want.at("encoding").get<int>());
      EXPECT_EQ(ToHex(got.text), want.at("text").get<std::string>());
      EXPECT_LT(strlen(got.text), (size_t)MP3_TAG_VALUE_SIZE);
    }
  }
  EXPECT_GE(tagged, 30);
}

TEST(Mp3Tags, FilesWithoutATag) {
  Mp3Tags tags;
  EXPECT_EQ(Mp3ReadTags("/nonexistent/x.mp3", &tags), 0);
  EXPECT_EQ(tags.version, 0);
  EXPECT_EQ(Mp3ReadTags(nullptr, &tags), 0);
  EXPECT_EQ(Mp3ReadTags("/dev/null", &tags), 0);
  EXPECT_EQ(Mp3ReadTags("/dev/null", nullptr), 0);
}

TEST(Mp3Tags, TheListingsNamesForTheFrames) {
  static const char *const kExpected[][2] = {{"TPE1", "artist"}, {"TIT2", "title"}, {"TALB", "album"},
                                             {"TRCK", "track"},  {"TYER", "year"},  {"TCON", "genre"},
                                             {"TLEN", "length"}};
  for (int k = 0; k < MP3_TAG_FRAMES; k++) {
    EXPECT_STREQ(gMp3TagFields[k].frameId, kExpected[k][0]);
    EXPECT_STREQ(gMp3TagFields[k].key, kExpected[k][1]);
  }
}

}  // namespace
