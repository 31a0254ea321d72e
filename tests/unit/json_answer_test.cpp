// The answer builder: growth up to its limit, whole-or-nothing records with a true count,
// the tail kept for the closing members, escaping. Documents are parsed back by Python's
// json module in strict mode.
#include "common/json_answer.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "common/common_memory.h"
#include "tests/unit/python_oracle.h"

namespace {

// Builds {"count":N,"items":[...],"end":1} with records of the given name until full.
std::string BuildRecords(JsonAnswer *answer, const std::string &name, int wanted, int *count) {
  answer->Cat("{");
  answer->Cat("\"items\":[\r\n");
  *count = 0;
  for (int i = 0; i < wanted && !answer->Full(); i++) {
    int mark = answer->BeginRecord();
    answer->Printf(i == 0 ? "\t{\"index\":%d,\r\n" : "\t,{\"index\":%d,\r\n", i);
    answer->Cat("\t\"name\":");
    answer->String(name.c_str());
    answer->Cat(",\r\n\t\"name_hex\":");
    answer->HexString(name.c_str());
    answer->Cat("}\r\n");
    if (!answer->EndRecord(mark)) break;
    (*count)++;
  }
  answer->Printf("\t],\r\n\"end\":1}\r\n");
  answer->InsertPrintf(1, "\"count\":%d,\r\n", *count);
  return std::string(answer->Data(), answer->Length());
}

// Python checks: strict JSON, count equals the array length, every name as expected.
std::string CheckWithPython(const std::string &document, const std::string &name) {
  return RunPython(
      "import json,sys\n"
      "raw=sys.stdin.buffer.read()\n"
      "name=bytes.fromhex('" + ToHex(name) + "').decode('utf-8','replace')\n"
      "d=json.loads(raw.decode('utf-8'),strict=True)\n"
      "assert d['count']==len(d['items']),(d['count'],len(d['items']))\n"
      "assert list(d)==['count','items','end'],list(d)\n"
      "for i,r in enumerate(d['items']):\n"
      "  assert r['index']==i and bytes.fromhex(r['name_hex'])==name.encode('utf-8','replace')\n"
      "print('ok',d['count'])\n",
      document);
}

}  // namespace

TEST(JsonAnswer, GrowsBeyondItsFirstReservation) {
  JsonAnswer answer(1 << 20, 16);
  ASSERT_TRUE(answer.Ok());
  int count = 0;
  std::string doc = BuildRecords(&answer, "Das Erste \"HD\" / S\xC3\xBC\x64", 500, &count);
  EXPECT_EQ(count, 500);
  EXPECT_FALSE(answer.Full());
  EXPECT_FALSE(answer.Cut());
  EXPECT_EQ(CheckWithPython(doc, "Das Erste \"HD\" / S\xC3\xBC\x64"), "ok 500\n");
  EXPECT_EQ(strlen(answer.Data()), (size_t)answer.Length());
}

TEST(JsonAnswer, AFullAnswerKeepsWholeRecordsAndATrueCount) {
  // Limits around the size of one record: every cut must still give a valid document.
  for (int limit = JSON_ANSWER_TAIL + 40; limit < JSON_ANSWER_TAIL + 3000; limit += 97) {
    JsonAnswer answer(limit, 64);
    int count = 0;
    std::string doc = BuildRecords(&answer, std::string(150, '\\'), 1000, &count);
    ASSERT_TRUE(answer.Full()) << limit;
    EXPECT_FALSE(answer.Cut()) << limit;
    EXPECT_LE(answer.Length() + 1, limit);
    ASSERT_EQ(CheckWithPython(doc, std::string(150, '\\')), "ok " + std::to_string(count) + "\n") << limit;
  }
}

TEST(JsonAnswer, RefusedAppendsLeaveTheTextAsItWas) {
  JsonAnswer answer(64, 8);
  EXPECT_TRUE(answer.Cat("{\"a\":"));
  EXPECT_FALSE(answer.Cat(std::string(100, 'x').c_str()));
  EXPECT_FALSE(answer.Printf("%0100d", 1));
  EXPECT_FALSE(answer.String(std::string(70, 'y').c_str()));
  EXPECT_FALSE(answer.Hex("0123456789abcdef0123456789abcdef", 32));
  EXPECT_STREQ(answer.Data(), "{\"a\":");
  EXPECT_TRUE(answer.Cut());
  EXPECT_TRUE(answer.Printf("%d}", 7));
  EXPECT_STREQ(answer.Data(), "{\"a\":7}");
}

TEST(JsonAnswer, PrintfLongerThanTheBufferIsFormattedWhole) {
  JsonAnswer answer(4096, 4);
  std::string expected;
  for (int i = 0; i < 50; i++) {
    ASSERT_TRUE(answer.Printf("\"n%d\":%s,", i, "abcdefghij"));
    expected += "\"n" + std::to_string(i) + "\":abcdefghij,";
  }
  EXPECT_EQ(std::string(answer.Data(), answer.Length()), expected);
}

TEST(JsonAnswer, EscapingIsThatOfTheTextHelpers) {
  JsonAnswer answer;
  answer.String("a\t\"/\xC3\xA9\x01z\\");
  answer.Cat(" ");
  answer.EscapedAscii("a\t\"/\xC3\xA9\x01z");
  answer.Cat(" ");
  // A fixed field without a terminating zero is read with its size.
  char field[4] = {'a', 'b', 'c', 'd'};
  answer.Escaped(field, sizeof field);
  answer.Cat(" ");
  answer.HexString("A\xC3\xA9");
  answer.Cat(" ");
  answer.Hex("\0\xff", 2);
  EXPECT_STREQ(answer.Data(), "\"a\\t\\\"\\/\xC3\xA9z\\\\\" a\\t\\\"\\/z abcd \"41c3a9\" 00ff");
}

TEST(JsonAnswer, InsertMovesWhatFollows) {
  JsonAnswer answer;
  answer.Cat("{\"x\":1}");
  EXPECT_TRUE(answer.InsertPrintf(1, "\"count\":%d,", 12));
  EXPECT_STREQ(answer.Data(), "{\"count\":12,\"x\":1}");
  EXPECT_FALSE(answer.InsertPrintf(99, "x"));
  EXPECT_TRUE(answer.InsertPrintf(answer.Length(), "!"));
  EXPECT_STREQ(answer.Data(), "{\"count\":12,\"x\":1}!");
}

namespace {
int gAllocations, gFrees, gFailAfter;
void *CountingAlloc(size_t size) {
  if (gFailAfter >= 0 && gAllocations >= gFailAfter) return nullptr;
  gAllocations++;
  return malloc(size);
}
void CountingFree(void *address) {
  gFrees++;
  free(address);
}
}  // namespace

TEST(JsonAnswer, UsesTheInstalledAllocatorAndFreesWhatItTook) {
  gAllocations = gFrees = 0;
  gFailAfter = -1;
  SetCommonAllocator(CountingAlloc, CountingFree);
  {
    JsonAnswer answer(1 << 16, 16);
    for (int i = 0; i < 100; i++) answer.Cat("0123456789");
    EXPECT_EQ(answer.Length(), 1000);
  }
  EXPECT_GT(gAllocations, 1);
  EXPECT_EQ(gAllocations, gFrees);

  // The first reservation failing: nothing to send. A later growth failing: the record is
  // refused like a full answer.
  gAllocations = gFrees = 0;
  gFailAfter = 0;
  {
    JsonAnswer answer;
    EXPECT_FALSE(answer.Ok());
    EXPECT_FALSE(answer.Cat("x"));
    EXPECT_FALSE(answer.Printf("%d", 1));
  }
  gAllocations = gFrees = 0;
  gFailAfter = 1;
  {
    JsonAnswer answer(1 << 16, 4096);
    int mark = answer.BeginRecord();
    answer.Cat(std::string(5000, 'r').c_str());
    EXPECT_FALSE(answer.EndRecord(mark));
    EXPECT_TRUE(answer.Full());
    EXPECT_EQ(answer.Length(), 0);
  }
  EXPECT_EQ(gAllocations, gFrees);
  SetCommonAllocator(nullptr, nullptr);
}
