// A folder below /tmp for one test, removed with everything in it at the end.
#pragma once

#include <stdlib.h>

#include <string>

class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/orvane-test-XXXXXX";
    path_ = mkdtemp(pattern) ? pattern : "";
  }
  ~TempFolder() {
    if (!path_.empty()) {
      int ignored = system(("rm -rf '" + path_ + "'").c_str());
      (void)ignored;
    }
  }
  TempFolder(const TempFolder &) = delete;
  TempFolder &operator=(const TempFolder &) = delete;
  const std::string &path() const { return path_; }

 private:
  std::string path_;
};
