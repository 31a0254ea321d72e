// Key=value lines: whole keys at the start of a line, changes that keep the rest of the
// text, removal of whole lines.
#include "platform/key_lines.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "common/common_memory.h"

namespace {

struct Text {
  KeyText keys;
  explicit Text(const std::string &text) {
    char *data = static_cast<char *>(CommonAlloc(text.size() + 1));
    memcpy(data, text.data(), text.size());
    KeyTextAdopt(&keys, data, text.size());
  }
  ~Text() { KeyTextFree(&keys); }
  std::string str() const { return std::string(keys.text ? keys.text : "", keys.length); }
  int Set(const std::string &k, const std::string &v) { return KeyTextSet(&keys, k.data(), k.size(), v.data(), v.size()); }
  int Delete(const std::string &k) { return KeyTextDelete(&keys, k.data(), k.size()); }
  std::string Get(const std::string &k) const {
    KeyLine line;
    if (!KeyLineFind(keys.text, keys.length, k.data(), k.size(), &line)) return "<none>";
    return std::string(line.value, line.valueLength);
  }
};

}  // namespace

TEST(KeyLines, WholeKeysAtTheStartOfALine) {
  Text t("searchport=8800\r\nusername=joe\r\n#port=1\r\n;port=2\r\n port=3\r\nPort=8000\r\nport=9\r\n");
  EXPECT_EQ(t.Get("port"), "8000");   // letter case ignored, the first line wins
  EXPECT_EQ(t.Get("name"), "<none>");
  EXPECT_EQ(t.Get("user"), "<none>");
  EXPECT_EQ(t.Get("searchport"), "8800");
  Text noEnd("a=1\nb=2");
  EXPECT_EQ(noEnd.Get("b"), "2");
  Text empty("");
  EXPECT_EQ(empty.Get("a"), "<none>");
  Text nul(std::string("a=1\0b=2\r\n", 10));   // the text ends at its first NUL
  EXPECT_EQ(nul.Get("b"), "<none>");
  EXPECT_EQ(nul.str(), "a=1");
}

TEST(KeyLines, SetReplacesTheValueOrAppendsALine) {
  Text t("searchport=8800\r\nport=8000\r\nzoom=2");
  EXPECT_EQ(t.Set("port", "9000"), 0);
  EXPECT_EQ(t.str(), "searchport=8800\r\nport=9000\r\nzoom=2");
  EXPECT_EQ(t.Set("new", "a=b"), 0);   // after a line end for the last line
  EXPECT_EQ(t.str(), "searchport=8800\r\nport=9000\r\nzoom=2\r\nnew=a=b\r\n");
  EXPECT_EQ(t.Get("new"), "a=b");
  EXPECT_EQ(t.Set("zoom", ""), 0);
  EXPECT_EQ(t.str(), "searchport=8800\r\nport=9000\r\nzoom=\r\nnew=a=b\r\n");
  Text none("");
  EXPECT_EQ(none.Set("k", std::string(5000, 'v')), 0);   // grows as far as needed
  EXPECT_EQ(none.str(), "k=" + std::string(5000, 'v') + "\r\n");
}

TEST(KeyLines, DeleteRemovesEveryLineOfTheKey) {
  Text t("a=1\r\nzoom=2\r\nb=3\nZOOM=4\r\nzoomed=5\r\nzoom=6");
  EXPECT_EQ(t.Delete("zoom"), 3);
  EXPECT_EQ(t.str(), "a=1\r\nb=3\nzoomed=5\r\n");
  EXPECT_EQ(t.Delete("zoom"), 0);
}

TEST(KeyLines, WhatALineCanHold) {
  EXPECT_TRUE(KeyLineKeyIsValid("name", 4));
  EXPECT_TRUE(KeyLineKeyIsValid("my name", 7));
  for (const char *bad : {"", "a=b", "#a", ";a", "/a", "'a", " a", "\ta", "a\rb", "a\nb"}) {
    EXPECT_FALSE(KeyLineKeyIsValid(bad, strlen(bad))) << bad;
  }
  EXPECT_FALSE(KeyLineKeyIsValid("a\0b", 3));
  EXPECT_TRUE(KeyLineValueIsValid("a = b; #c", 9));
  EXPECT_TRUE(KeyLineValueIsValid("", 0));
  EXPECT_FALSE(KeyLineValueIsValid("a\rb", 3));
  EXPECT_FALSE(KeyLineValueIsValid("a\nb", 3));
  EXPECT_FALSE(KeyLineValueIsValid("a\0b", 3));
}
