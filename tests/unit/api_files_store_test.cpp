// Uploads through the web server's request handling on a socket pair: bodies that arrive
// with the request, later, slowly, cut off or not at all; the path rules; the temporary
// file that replaces the old one only when the upload is whole; failed allocations.
#include "webserver/api/api_files_store.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include "emulator/emulator.h"
#include "tests/unit/python_oracle.h"
#include "tests/unit/emulated_pvr.h"
#include "tests/unit/served_request.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"

namespace {

const char kStore[] = "/api?function=files&action=store!filename=";

// Bytes of every value, so that a shifted or repeated chunk shows.
std::string Pattern(size_t size, unsigned seed) {
  TestRandom random(seed);
  std::string bytes(size, '\0');
  for (char &c : bytes) c = (char)random.Below(256);
  return bytes;
}

class FilesStore : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    gAuthentication = 0;
    gLoggingLevel = 0;
  }

  // A POST of body, of which first bytes come with the request and the rest afterwards.
  ServedAnswer Upload(const std::string &target, const std::string &body, size_t first, BodyRest rest = BodyRest(),
                      const std::string &contentLength = "") {
    std::string length = contentLength.empty() ? std::to_string(body.size()) : contentLength;
    rest.bytes = body.substr(first);
    return ServeRequest("POST " + target + " HTTP/1.1\r\nHost: pvr\r\nContent-Length: " + length + "\r\n\r\n" +
                            body.substr(0, first),
                        rest);
  }
  // error_code, errno and bytes_stored of an answer, as one text.
  static std::string Outcome(const ServedAnswer &answer) {
    nlohmann::json j = answer.Json();
    if (j.is_discarded()) return "no JSON: " + answer.status + answer.body;
    return std::to_string(j["error_code"].get<int>()) + " " + std::to_string(j["errno"].get<int>()) + " " +
           std::to_string(j["bytes_stored"].get<int>());
  }
  // Every file below the root with its contents.
  std::string Snapshot() {
    return RunCommand("cd '" + root_ + "/mnt' && find . | sort && find . -type f -exec md5sum {} + | sort");
  }
};

}  // namespace

TEST_F(FilesStore, BodiesArriveWholeInPartsOrWithTheRequest) {
  std::string body = Pattern(100000, 1);
  // 1,400 bytes with the request, the rest in the server's chunks of at most 64 KiB.
  ServedAnswer answer = Upload(std::string(kStore) + "/mnt/hd/DataFiles/a.bin", body, 1400);
  EXPECT_EQ(Outcome(answer), "0 0 100000");
  EXPECT_EQ(ReadFile("/mnt/hd/DataFiles/a.bin"), body);
  nlohmann::json j = answer.Json();
  EXPECT_EQ(j["content"], "file_Store");
  EXPECT_EQ(j["error_text"], "No error");
  EXPECT_NE(answer.body.find("{\"content\":\"file_Store\",\r\n\"bytes_stored\":100000,\r\n\"error_code\":0,\r\n"
                             "\"errno\":0,\r\n\"error_text\":\"No error\",\r\n\"timestamp\":\""),
            std::string::npos)
      << answer.body;

  // Slowly: small pieces with pauses well below the time-out.
  BodyRest slow;
  slow.chunk = 3000;
  slow.pauseMs = 150;
  body = Pattern(20000, 2);
  EXPECT_EQ(Outcome(Upload(std::string(kStore) + "%2Fmnt%2Fhd%2FDataFiles%2Fslow.bin", body, 10, slow)), "0 0 20000");
  EXPECT_EQ(ReadFile("/mnt/hd/DataFiles/slow.bin"), body);

  // All in the request; zero bytes included; replacing the file.
  body = std::string("\0\r\n\r\n\0x", 7);
  EXPECT_EQ(Outcome(ServePost(std::string(kStore) + "/mnt/hd/DataFiles/a.bin", body)), "0 0 7");
  EXPECT_EQ(ReadFile("/mnt/hd/DataFiles/a.bin"), body);
  // An empty body makes an empty file.
  EXPECT_EQ(Outcome(ServePost(std::string(kStore) + "/mnt/hd/DataFiles/empty.bin", "")), "0 0 0");
  EXPECT_TRUE(Exists("/mnt/hd/DataFiles/empty.bin"));
  // The hex form of the name; "settings" "store" is the same handler.
  EXPECT_EQ(Outcome(ServePost("/api?function=settings&action=store!filename_hex=" + ToHex("/mnt/hd/DataFiles/h.txt"),
                              "hex")),
            "0 0 3");
  EXPECT_EQ(ReadFile("/mnt/hd/DataFiles/h.txt"), "hex");
}

TEST_F(FilesStore, NoMoreThanContentLengthIsWrittenAndAppendKeepsTheFile) {
  WriteFile("/mnt/hd/DataFiles/log.txt", "old;");
  EXPECT_EQ(Outcome(Upload(std::string(kStore) + "/mnt/hd/DataFiles/log.txt&append=1", "new", 3)), "0 0 3");
  EXPECT_EQ(ReadFile("/mnt/hd/DataFiles/log.txt"), "old;new");
  // A client that sends more than it announced: the rest is not stored.
  EXPECT_EQ(Outcome(Upload(std::string(kStore) + "/mnt/hd/DataFiles/five.txt", "0123456789", 10, BodyRest(), "5")),
            "0 0 5");
  EXPECT_EQ(ReadFile("/mnt/hd/DataFiles/five.txt"), "01234");
  BodyRest more;
  EXPECT_EQ(Outcome(Upload(std::string(kStore) + "/mnt/hd/DataFiles/five.txt", std::string(70000, 'z'), 100, more,
                           "66000")),
            "0 0 66000");
  EXPECT_EQ(ReadFile("/mnt/hd/DataFiles/five.txt"), std::string(66000, 'z'));
  // append=0 replaces.
  EXPECT_EQ(Outcome(Upload(std::string(kStore) + "/mnt/hd/DataFiles/log.txt&append=0", "x", 1)), "0 0 1");
  EXPECT_EQ(ReadFile("/mnt/hd/DataFiles/log.txt"), "x");
}

TEST_F(FilesStore, OnlyAPostWithItsLengthStores) {
  WriteFile("/mnt/hd/DataFiles/keep.txt", "keep");
  std::string before = Snapshot();
  // A GET has no body: the file is not truncated.
  EXPECT_EQ(Outcome(ServeGet(std::string(kStore) + "/mnt/hd/DataFiles/keep.txt")), "4 0 0");
  // Without a Content-Length, or with one that is no length.
  EXPECT_EQ(Outcome(ServeRequest("POST " + std::string(kStore) + "/mnt/hd/DataFiles/keep.txt HTTP/1.1\r\n\r\nnew")),
            "4 0 0");
  for (const char *length : {"-1", "abc", "99999999999", "3x"}) {
    EXPECT_EQ(Outcome(Upload(std::string(kStore) + "/mnt/hd/DataFiles/keep.txt", "new", 3, BodyRest(), length)),
              "4 0 0")
        << length;
  }
  // The end of the headers never came.
  EXPECT_EQ(Outcome(ServeRequest("POST " + std::string(kStore) + "/mnt/hd/DataFiles/keep.txt HTTP/1.1\r\n"
                                 "Content-Length: 3\r\n")),
            "4 0 0");
  EXPECT_EQ(Outcome(ServePost(std::string(kStore), "x")), "1 0 0");
  EXPECT_EQ(Outcome(ServePost("/api?function=files&action=store!", "x")), "1 0 0");
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(FilesStore, PathsOutsideMntAreRefusedAndNothingIsWritten) {
  ASSERT_EQ(symlink("/tmp", Host("/mnt/hd/DataFiles/out").c_str()), 0);
  ASSERT_EQ(symlink("../../../..", Host("/mnt/hd/DataFiles/up").c_str()), 0);
  std::string before = Snapshot();
  for (const char *path : {"relative.txt", "/etc/x", "/mnt", "/mnt/", "/mnt/hd/../x", "/mnt/hd/DataFiles/../a",
                           "/mnt/hd/DataFiles/..", "/mnt/hd/./DataFiles/../../etc/x", "/mnt/hd/DataFiles/out/x",
                           "/mnt/hd/DataFiles/up/etc/x", "/mntx/a", "mnt/hd/a"}) {
    EXPECT_EQ(Outcome(ServePost(std::string(kStore) + path, "bad")), "5 " + std::to_string(EINVAL) + " 0") << path;
  }
  EXPECT_EQ(Snapshot(), before);
  // A target too long for the server is refused, not cut.
  EXPECT_EQ(Outcome(ServePost(std::string(kStore) + "/mnt/hd/DataFiles/" + std::string(500, 'n'), "x")),
            "5 " + std::to_string(ENAMETOOLONG) + " 0");
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(FilesStore, FoldersAreCreatedBelowTheMountPointsOnly) {
  EXPECT_EQ(Outcome(ServePost(std::string(kStore) + "/mnt/hd/a/b/c.txt", "abc")), "0 0 3");
  EXPECT_EQ(ReadFile("/mnt/hd/a/b/c.txt"), "abc");
  struct stat s;
  ASSERT_EQ(stat(Host("/mnt/hd/a/b").c_str(), &s), 0);
  EXPECT_TRUE(S_ISDIR(s.st_mode));
  WriteFile("/mnt/hd/file", "f");
  EXPECT_EQ(Outcome(ServePost(std::string(kStore) + "/mnt/hd/file/b/c.txt", "abc")), "5 " + std::to_string(ENOTDIR) + " 0");
  // A disk that is not mounted is not made.
  EXPECT_EQ(Outcome(ServePost(std::string(kStore) + "/mnt/sdz1/a/c.txt", "abc")), "5 " + std::to_string(ENOENT) + " 0");
  EXPECT_FALSE(Exists("/mnt/sdz1"));
  // A folder is not a file to replace.
  EXPECT_EQ(Outcome(ServePost(std::string(kStore) + "/mnt/hd/a/b", "abc")), "2 " + std::to_string(EISDIR) + " 0");
  EXPECT_EQ(force_dir(""), 0);
  EXPECT_EQ(force_dir("/x"), 1);
}

TEST_F(FilesStore, AFailedUploadLeavesTheOldFile) {
  WriteFile("/mnt/hd/DataFiles/keep.bin", "the old file");
  std::string body = Pattern(50000, 3);
  // The client gives up half-way.
  BodyRest cut;
  cut.bytes = body.substr(1000, 20000);
  cut.cutOff = true;
  ServedAnswer answer = ServeRequest("POST " + std::string(kStore) + "/mnt/hd/DataFiles/keep.bin HTTP/1.1\r\n"
                                     "Content-Length: 50000\r\n\r\n" + body.substr(0, 1000),
                                     cut);
  EXPECT_EQ(Outcome(answer), "3 " + std::to_string(ECONNRESET) + " 0");
  EXPECT_EQ(answer.Json()["error_text"], "Failed to write POST data to file");
  EXPECT_EQ(ReadFile("/mnt/hd/DataFiles/keep.bin"), "the old file");
  EXPECT_FALSE(Exists("/mnt/hd/DataFiles/keep.bin.tmp"));
  // The client stops sending: 200 ticks later the server gives up.
  BodyRest stalled;
  stalled.bytes = "xyz";
  stalled.holdMs = 2600;
  answer = Upload(std::string(kStore) + "/mnt/hd/DataFiles/keep.bin", body, 2000, stalled);
  EXPECT_EQ(Outcome(answer), "3 " + std::to_string(ETIMEDOUT) + " 0");
  EXPECT_EQ(ReadFile("/mnt/hd/DataFiles/keep.bin"), "the old file");
  EXPECT_FALSE(Exists("/mnt/hd/DataFiles/keep.bin.tmp"));
  // The temporary file cannot be made.
  WriteFile("/mnt/hd/DataFiles/keep.bin.tmp/x", "");
  EXPECT_EQ(Outcome(ServePost(std::string(kStore) + "/mnt/hd/DataFiles/keep.bin", "new")),
            "2 " + std::to_string(EISDIR) + " 0");
  EXPECT_EQ(ReadFile("/mnt/hd/DataFiles/keep.bin"), "the old file");
}

// The receive buffer cannot be had: the upload fails with ENOMEM and changes nothing; the
// TAP heap is as it was.
TEST_F(FilesStore, AFailedAllocationIsReported) {
  WriteFile("/mnt/hd/DataFiles/keep.bin", "old");
  std::string body = Pattern(5000, 4);
  size_t before = emu::TapHeapUse(0).inUse;
  int refused = 0;
  for (unsigned nth = 1; nth <= 8; nth++) {
    emu::FailAllocation(nth);
    ServedAnswer answer = Upload(std::string(kStore) + "/mnt/hd/DataFiles/keep.bin", body, 100);
    emu::FailAllocation(0);
    std::string outcome = Outcome(answer);
    // Each allocation that fails either ends the request without an answer (the answer's
    // own buffer), or the upload with ENOMEM, or (one not on the way) changes nothing.
    if (answer.body.empty()) continue;
    if (outcome == "3 " + std::to_string(ENOMEM) + " 0") {
      EXPECT_EQ(ReadFile("/mnt/hd/DataFiles/keep.bin"), "old");
      refused++;
      continue;
    }
    EXPECT_EQ(outcome, "0 0 5000") << nth;
    WriteFile("/mnt/hd/DataFiles/keep.bin", "old");
  }
  EXPECT_EQ(refused, 1);
  EXPECT_EQ(emu::TapHeapUse(0).inUse, before);
}
