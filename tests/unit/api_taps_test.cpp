// The TAP management API on the emulated PVR: the task table walk, starts with the hand-
// over and the batch marker in System V shared memory (seen by the started TAP itself and
// checked with ipcs afterwards), failed starts, and stops. TAP files with odd texts come
// from an ELF writer in Python.
#include "webserver/api/api_taps.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "emulator/emulator.h"
#include "platform/byte_order.h"
#include "platform/directory_stack.h"
#include "platform/firmware_hooks.h"
#include "tests/unit/python_oracle.h"
#include "tests/unit/served_request.h"
#include "webserver/core/http_connection.h"
#include "webserver/core/lifecycle.h"
#include "webserver/core/logging.h"
#include "webserver/core/settings.h"
#include "webserver/epg/smartepg_reader.h"

namespace {

using nlohmann::ordered_json;

constexpr dword kEchoId = 0x54455354;
const char kApi[] = "/api?function=taps&action=";

std::string FileContent(const char *path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class TapApi : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    WriteFile("/mnt/hd/ProgramFiles/EchoTest.tap", FileContent(ORVANE_ECHO_TAP));
    WriteFile("/mnt/hd/ProgramFiles/SmartEPG.tap", FileContent(ORVANE_SMARTEPG_TAP));
    ASSERT_EQ(TAP_Hdd_ChangeDir("/ProgramFiles/Settings/Orvane"), 1);
    std::string fifo = Host("/dev/pts/0");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    console_ = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(console_, 0);
    gLoggingLevel = 0;
    gSEStatus = 0;
    gSEVersion = -1;
    allow_idle_events = 1;
  }
  void TearDown() override {
    if (console_ >= 0) close(console_);
    gSEStatus = 0;
    gSEVersion = -1;
    EmulatedPvr::TearDown();
  }

  // What the TAPs printed on the console since the last call, NUL bytes removed.
  std::string Console() {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(console_, buffer, sizeof buffer)) > 0;) text.append(buffer, (size_t)n);
    text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
    return text;
  }
  int SlotOf(dword id) {
    for (int slot = 0; slot < TAP_TASK_SLOTS; slot++) {
      if (emu::gTasks[slot].used && emu::gTasks[slot].id == id) return slot;
    }
    return -1;
  }
  ordered_json Ask(const std::string &action, const std::string &params = "") {
    std::string body = ServeGet(kApi + action + "!" + params).body;
    ordered_json parsed = ordered_json::parse(body, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << body;
    return parsed;
  }
  // A slot with a TAP file of the Python writer (from tap_elf.py arguments) and a handler.
  int AttachTapFile(const std::string &file, const std::string &arguments, TAP_EventHandlerFunction handler) {
    RunPython("import sys\nsys.path.insert(0, '" ORVANE_SOURCE_DIR "/tests/oracles')\nimport tap_elf\n"
              "open(sys.stdin.read(), 'wb').write(tap_elf.tap_file(" + arguments + "))\n",
              Host("/mnt/hd/ProgramFiles/" + file));
    int slot = emu::AttachLinkedTap(0x1234, "/ProgramFiles", handler);
    EXPECT_TRUE(emu::SetTaskFileName(slot, "/mnt/hd/ProgramFiles/" + file));
    *FirmwareCurrentTapTask() = 0;   // attaching made the new slot current
    return slot;
  }

  int console_ = -1;
};

// The keys (hexadecimal, as ipcs prints them) of the segments this process created.
std::vector<std::string> SegmentsOfThisProcess() {
  std::map<std::string, std::string> keyOf;   // shmid -> key
  for (const std::string &line : SplitLines(RunCommand("ipcs -m"))) {
    std::istringstream words(line);
    std::string key, shmid;
    if (words >> key >> shmid && key.rfind("0x", 0) == 0) keyOf[shmid] = key;
  }
  std::vector<std::string> keys;
  for (const std::string &line : SplitLines(RunCommand("ipcs -m -p"))) {
    std::istringstream words(line);
    std::string shmid, owner, cpid;
    if (words >> shmid >> owner >> cpid && cpid == std::to_string(getpid())) keys.push_back(keyOf[shmid]);
  }
  return keys;
}

dword gStopsSeen;
dword CountStops(word event, TapParam param1, TapParam) {
  if (event == EVT_STOP) gStopsSeen++;
  return (dword)param1;
}

}  // namespace

TEST_F(TapApi, TheListShowsRunningTapsWithTheirTextsBoundedAndEscaped) {
  dword id = 0;
  ASSERT_EQ(HDD_TAP_Start("/ProgramFiles/EchoTest.tap", false, nullptr, &id), 1);
  // Texts that fill their sections without a terminating zero, and texts with quotes,
  // backslashes, control bytes and UTF-8.
  int odd = AttachTapFile("Odd.tap",
                          "0xCAFE0001, name=b'N' * 64, author=b'a\"b\\\\c\\x01\\n', "
                          "description=b'caf\\xc3\\xa9 /' + b'D' * 121, version=b'V' * 64",
                          CountStops);
  ordered_json list = Ask("get");
  ASSERT_EQ(list["count"], 2) << list.dump();
  std::vector<std::string> names;
  for (const auto &member : list.items()) names.push_back(member.key());
  EXPECT_EQ(names, (std::vector<std::string>{"content", "tap", "timestamp", "count"}));
  EXPECT_EQ(list["content"], "taps");
  const ordered_json &echo = list["tap"][0];
  std::vector<std::string> fields;
  for (const auto &member : echo.items()) fields.push_back(member.key());
  EXPECT_EQ(fields, (std::vector<std::string>{"index", "status", "tapid_hex", "tapid", "name", "version",
                                              "description", "file_name", "author"}));
  EXPECT_EQ(echo["index"], SlotOf(kEchoId));
  EXPECT_EQ(echo["status"], 1);
  EXPECT_EQ(echo["tapid_hex"], "54455354");
  EXPECT_EQ(echo["tapid"], kEchoId);
  EXPECT_EQ(echo["name"], "Echo Test 1.0");
  EXPECT_EQ(echo["file_name"], "/mnt/hd/ProgramFiles/EchoTest.tap");
  const ordered_json &other = list["tap"][1];
  EXPECT_EQ(other["index"], odd);
  EXPECT_EQ(other["tapid_hex"], "cafe0001");
  // A text without its zero byte is read one byte short of its section.
  EXPECT_EQ(other["name"], std::string(63, 'N'));
  EXPECT_EQ(other["version"], std::string(63, 'V'));
  EXPECT_EQ(other["author"], "a\"b\\c\n");   // the control byte 0x01 is dropped
  EXPECT_EQ(other["description"], "caf\xc3\xa9 /" + std::string(120, 'D'));
  EXPECT_NE(ServeGet(std::string(kApi) + "get!").body.find("\"file_name\":\"\\/mnt\\/hd\\/ProgramFiles\\/Odd.tap\""),
            std::string::npos);
  EXPECT_EQ(gSEStatus, 2);   // the table was read, SmartEPG does not run
}

TEST_F(TapApi, TheListNotesARunningSmartEPG) {
  dword id = 0;
  ASSERT_EQ(HDD_TAP_Start("/ProgramFiles/SmartEPG.tap", false, nullptr, &id), 1);
  EXPECT_EQ(id, SMARTEPG_TAP_ID);
  ordered_json list = Ask("get");
  EXPECT_EQ(list["count"], 1);
  EXPECT_EQ(list["tap"][0]["version"], "V7.0");
  EXPECT_EQ(gSEStatus, 1);
  EXPECT_EQ(gSEVersion, SE_LAYOUT_15);
}

// The block "BQABAgADBA==" is 05 00 01 02 00 03 04: a length of 5 and bytes with zeros
// among them, which the started TAP prints as it found them.
TEST_F(TapApi, AStartHandsTheParameterBlockOverAsBytes) {
  if (!RequireTool("ipcs")) return;
  ASSERT_TRUE(SegmentsOfThisProcess().empty());
  size_t blocksBefore = emu::TapHeapUse(0).blocks;
  std::string body = ServeGet(std::string(kApi) + "start!filename=%2FProgramFiles%2FEchoTest.tap&tap_params=BQABAgADBA%3D%3D").body;
  std::smatch stamp;
  ASSERT_TRUE(std::regex_search(body, stamp, std::regex("\"timestamp\":\"(\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d)\"")));
  EXPECT_EQ(body, "{\n \"count\":0,\n \"timestamp\":\"" + stamp[1].str() +
                      "\",\n \"content\":\"tap_start\",\n \"requested_tap\":\"\\/ProgramFiles\\/EchoTest.tap\",\n"
                      " \"requested_tap_hex\":\"" + ToHex("/ProgramFiles/EchoTest.tap") + "\",\n"
                      " \"return_code\":1,\n \"error\":0,\n \"error_text\":\"Start request succeeded\",\n"
                      " \"tap_params\":\"BQABAgADBA==\"\n}");
  EXPECT_EQ(Console(), "echo-tap: started, parameter block 05000102000304\n");
  int slot = SlotOf(kEchoId);
  EXPECT_GT(slot, 0);
  emu::StartHandOver seen = emu::LastStartHandOver();
  EXPECT_TRUE(seen.found);
  EXPECT_EQ(seen.magic, TAP_START_MAGIC);
  EXPECT_EQ(seen.id, kEchoId);
  EXPECT_NE(seen.block, 0u);
  EXPECT_FALSE(seen.batch);
  EXPECT_TRUE(SegmentsOfThisProcess().empty()) << "a segment of the start was left behind";
  EXPECT_EQ(emu::TapHeapUse(0).blocks, blocksBefore) << "the block was not freed";

  // Without a block; the name as a PVR path and hex-encoded.
  body = ServeGet(std::string(kApi) + "run!filename_hex=" + ToHex("/mnt/hd/ProgramFiles/SmartEPG.tap")).body;
  EXPECT_EQ(body.find("tap_params"), std::string::npos);
  EXPECT_NE(body.find(" \"error_text\":\"Start request succeeded\"\n}"), std::string::npos) << body;
  EXPECT_GT(SlotOf(SMARTEPG_TAP_ID), 0);
  EXPECT_EQ(emu::LastStartHandOver().block, 0u);
  // An empty block is given, but has no bytes to hand over.
  body = ServeGet(std::string(kApi) + "start!filename=../../EchoTest.tap&tap_params=").body;
  EXPECT_NE(body.find(" \"tap_params\":\"\"\n}"), std::string::npos) << body;
  EXPECT_EQ(Console(), "echo-tap: started\n");
  EXPECT_TRUE(SegmentsOfThisProcess().empty());
}

TEST_F(TapApi, ABatchStartEndsTheStartedTapAndLeavesNoSegment) {
  if (!RequireTool("ipcs")) return;
  dword id = 0;
  ASSERT_EQ(StartTapFile("/ProgramFiles", "EchoTest.tap", true, nullptr, &id), 1);
  EXPECT_EQ(Console(), "echo-tap: started in batch mode\n");
  EXPECT_TRUE(emu::LastStartHandOver().batch);
  EXPECT_EQ(SlotOf(kEchoId), -1) << "a TAP that ends in its start-up is unloaded";
  EXPECT_TRUE(SegmentsOfThisProcess().empty());
  char folder[TAP_FOLDER_PATH_SIZE];
  ASSERT_EQ(HDD_TAP_GetCurrentDir(folder, sizeof folder), 1);
  EXPECT_STREQ(folder, "/ProgramFiles/Settings/Orvane");
  EXPECT_EQ(allow_idle_events, 1);
}

TEST_F(TapApi, FailedStartsAreReportedAndStartNothing) {
  auto start = [&](const std::string &params) {
    ordered_json answer = Ask("start", params);
    EXPECT_EQ(answer["return_code"], 0) << params;
    EXPECT_EQ(answer["error"], 1) << params;
    return answer["error_text"].get<std::string>();
  };
  EXPECT_EQ(start("filename=/ProgramFiles/Missing.tap"), "Requested file not found");
  EXPECT_EQ(start("filename=/ProgramFiles/../../../etc/passwd"), "Requested file not found");
  EXPECT_EQ(start("filename=/mnt/sdb1/EchoTest.tap"), "Requested file not found");   // not on the disk
  EXPECT_EQ(start(""), "Requested file not found");
  EXPECT_EQ(start("filename=/ProgramFiles/EchoTest.tap&tap_params=QUJDR"), "Invalid parameter block");
  // A target longer than the server reads is cut: its parameters are not used.
  EXPECT_EQ(start("filename=/ProgramFiles/EchoTest.tap&tap_params=" + std::string(600, 'A')), "Request too long");
  EXPECT_EQ(start("filename=/ProgramFiles/" + std::string(600, 'x') + ".tap"), "Request too long");
  EXPECT_EQ(SlotOf(kEchoId), -1);

  // A segment of the start's key that is too small: the hand-over cannot be made.
  int stale = shmget(TAP_START_SHM_KEY, 1, IPC_CREAT | IPC_EXCL | 0600);
  ASSERT_GE(stale, 0) << "a segment with the start's key exists already";
  dword id = 0;
  EXPECT_EQ(HDD_TAP_Start("/ProgramFiles/EchoTest.tap", true, nullptr, &id), 0);
  EXPECT_EQ(HDD_TAP_StartFailure(), TAP_START_NO_SHARED_MEMORY);
  EXPECT_EQ(start("filename=/ProgramFiles/EchoTest.tap"), "Shared memory for the start not available");
  shmctl(stale, IPC_RMID, nullptr);
  EXPECT_EQ(shmget(TAP_BATCH_SHM_KEY, 0, 0), -1) << "the batch marker was left behind";
  EXPECT_EQ(SlotOf(kEchoId), -1);

  std::string error;
  ASSERT_TRUE(emu::MakeHookAbsent("_Z16Appl_ExecProgramPc", true, &error)) << error;
  ResetFirmwareHooks();
  EXPECT_EQ(start("filename=/ProgramFiles/EchoTest.tap"), "Firmware start function not available");
  ASSERT_TRUE(emu::MakeHookAbsent("_Z16Appl_ExecProgramPc", false, &error)) << error;
  ASSERT_TRUE(emu::MakeHookAbsent("_Z21ApplHdd_SetWorkFolderPv", true, &error)) << error;
  ResetFirmwareHooks();
  EXPECT_EQ(start("filename=/ProgramFiles/EchoTest.tap"), "Firmware start function not available");
  EXPECT_EQ(SlotOf(kEchoId), -1);
  EXPECT_EQ(Console(), "");
}

// The firmware delivers idle events while it starts a TAP: the web server must not poll
// its sockets in between. A client waits on the listening socket throughout.
TEST_F(TapApi, SocketPollingIsPausedWhileATapStarts) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  socklen_t length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
  fcntl(listener, F_SETFL, O_NONBLOCK);
  int client = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
  gListenSocket = listener;
  gServerStatus = 1;
  dword id = 0;
  ASSERT_EQ(StartTapFile("/ProgramFiles", "EchoTest.tap", false, nullptr, &id), 1);
  EXPECT_EQ(gServerStatus, 1) << "the server accepted a connection in the middle of the start";
  // Without the pause the same start accepts it.
  ASSERT_EQ(HDD_TAP_Start("/ProgramFiles/SmartEPG.tap", false, nullptr, &id), 1);
  EXPECT_EQ(gServerStatus, 2);
  close(gInboundSocket);
  close(client);
  close(listener);
  gServerStatus = 0;
}

// A start from a folder that is not there reports the file as missing, not the reason of
// an earlier failed start.
TEST_F(TapApi, AStartFromAMissingFolderReportsTheFileMissing) {
  std::string error;
  dword id = 0;
  ASSERT_TRUE(emu::MakeHookAbsent("_Z16Appl_ExecProgramPc", true, &error)) << error;
  ResetFirmwareHooks();
  EXPECT_EQ(StartTapFile("/ProgramFiles", "EchoTest.tap", false, nullptr, &id), 0);
  EXPECT_EQ(HDD_TAP_StartFailure(), TAP_START_NO_FIRMWARE);
  ASSERT_TRUE(emu::MakeHookAbsent("_Z16Appl_ExecProgramPc", false, &error)) << error;
  ResetFirmwareHooks();
  char current[TAP_FOLDER_PATH_SIZE];
  ASSERT_TRUE(HDD_TAP_GetCurrentDir(current, sizeof current));
  EXPECT_EQ(StartTapFile("/NoSuchFolder", "EchoTest.tap", false, nullptr, &id), 0);
  EXPECT_EQ(HDD_TAP_StartFailure(), TAP_START_NOT_A_TAP);
  EXPECT_EQ(StartTapFile("/ProgramFiles", std::string(600, 'x').c_str(), false, nullptr, &id), 0);
  EXPECT_EQ(HDD_TAP_StartFailure(), TAP_START_NOT_A_TAP);
  char after[TAP_FOLDER_PATH_SIZE];
  ASSERT_TRUE(HDD_TAP_GetCurrentDir(after, sizeof after));
  EXPECT_STREQ(after, current);
  EXPECT_EQ(SlotOf(kEchoId), -1);
}

TEST_F(TapApi, StopByIndexOrByFileName) {
  dword id = 0;
  ASSERT_EQ(HDD_TAP_Start("/ProgramFiles/EchoTest.tap", false, nullptr, &id), 1);
  int slot = SlotOf(kEchoId);
  ordered_json answer = Ask("stop", "index=" + std::to_string(slot) + "&tapid_hex=54455354");
  std::vector<std::string> names;
  for (const auto &member : answer.items()) names.push_back(member.key());
  EXPECT_EQ(names, (std::vector<std::string>{"count", "timestamp", "content", "requested_index", "requested_tapid",
                                             "requested_tapid_hex", "actual_tapid", "actual_tapid_hex", "error",
                                             "error_text"}));
  EXPECT_EQ(answer["error"], 0);
  EXPECT_EQ(answer["error_text"], "Stop request sent");
  EXPECT_EQ(answer["actual_tapid_hex"], "54455354");
  EXPECT_EQ(GetLE32(FirmwareTapTasks() + slot * TAP_TASK_SLOT_SIZE + TAP_TASK_STATUS), 2u);
  emu::UnloadFinishedTaps();
  EXPECT_EQ(SlotOf(kEchoId), -1);

  int odd = AttachTapFile("Odd.tap", "0xCAFE0002", CountStops);
  gStopsSeen = 0;
  answer = Ask("stop", "filename=%2Fmnt%2Fhd%2FProgramFiles%2FOdd.tap");
  EXPECT_EQ(answer["error"], 0);
  EXPECT_EQ(answer["requested_index"], odd);
  EXPECT_EQ(answer["requested_tapid"], 0xCAFE0002u);
  EXPECT_EQ(gStopsSeen, 1u);
  EXPECT_EQ(*FirmwareCurrentTapTask(), 0u);   // restored after the stop event
}

TEST_F(TapApi, StopsThatCannotBeMadeAreRefused) {
  int odd = AttachTapFile("Odd.tap", "0xCAFE0003", CountStops);
  gStopsSeen = 0;
  auto stop = [&](const std::string &params, int error, dword actual = 0) {
    ordered_json answer = Ask("stop", params);
    EXPECT_EQ(answer["error"], error) << params;
    EXPECT_EQ(answer["actual_tapid"], actual) << params;
    return answer["error_text"].get<std::string>();
  };
  EXPECT_EQ(stop("index=" + std::to_string(odd), 1), "Insufficient arguements");
  EXPECT_EQ(stop("tapid=1", 1), "Insufficient arguements");
  EXPECT_EQ(stop("filename=/mnt/hd/ProgramFiles/Other.tap", 1), "Insufficient arguements");
  EXPECT_EQ(stop("index=-1&tapid_hex=cafe0003", 2), "Index out of range");
  EXPECT_EQ(stop("index=16&tapid_hex=cafe0003", 2), "Index out of range");
  EXPECT_EQ(stop("index=-2147483648&tapid_hex=cafe0003", 2), "Index out of range");
  EXPECT_EQ(stop("index=9&tapid=0", 3), "TAPID at requested index does not match requested TAPID");   // a free slot
  EXPECT_EQ(stop("index=" + std::to_string(odd) + "&tapid_hex=cafe0004", 3, 0xCAFE0003),
            "TAPID at requested index does not match requested TAPID");
  int silent = AttachTapFile("Silent.tap", "0xCAFE0005", nullptr);
  EXPECT_EQ(stop("index=" + std::to_string(silent) + "&tapid_hex=cafe0005", 5, 0xCAFE0005),
            "No event handler at requested index");
  std::string error;
  ASSERT_TRUE(emu::MakeHookAbsent("_tapTask", true, &error)) << error;
  ResetFirmwareHooks();
  EXPECT_EQ(stop("index=" + std::to_string(odd) + "&tapid_hex=cafe0003", 4),
            "Unable to get 'curTapTask' or 'TMSTAPTaskTable'");
  ASSERT_TRUE(emu::MakeHookAbsent("_tapTask", false, &error)) << error;
  ResetFirmwareHooks();
  EXPECT_EQ(gStopsSeen, 0u);
  EXPECT_EQ(GetLE32(FirmwareTapTasks() + odd * TAP_TASK_SLOT_SIZE + TAP_TASK_STATUS), 1u);
}

// Stopping Orvane.tap itself: the answer is sent before its stop closes the sockets.
TEST_F(TapApi, StoppingItselfAnswersFirst) {
  RunPython("import sys\nsys.path.insert(0, '" ORVANE_SOURCE_DIR "/tests/oracles')\nimport tap_elf\n"
            "open(sys.stdin.read(), 'wb').write(tap_elf.tap_file(0x514B570F, b'Orvane 2.20'))\n",
            Host("/mnt/hd/ProgramFiles/Orvane.tap"));
  ASSERT_TRUE(emu::SetTaskFileName(0, "/mnt/hd/ProgramFiles/Orvane.tap"));
  gStopRun = 0;
  gListenSocket = socket(AF_INET, SOCK_STREAM, 0);   // what the stop closes
  ordered_json answer = Ask("stop", "index=0&tapid=1363891983");
  EXPECT_EQ(answer["error"], 0);
  EXPECT_EQ(answer["error_text"], "Stop request sent");
  EXPECT_EQ(gStopRun, 1);   // the stop event reached the server after its answer
  EXPECT_EQ(GetLE32(FirmwareTapTasks() + TAP_TASK_STATUS), 2u);
  gStopRun = 0;
}
