// Debian's Python as an independent oracle: one interpreter run per test, fed many cases.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/unit/emulated_pvr.h"

// Runs script with /usr/bin/python3, input on its standard input; returns its standard
// output. A failing script shows up as an empty or short output in the comparisons.
inline std::string RunPython(const std::string &script, const std::string &input) {
  if (!RequireTool("/usr/bin/python3")) return std::string();
  char scriptPath[] = "/tmp/orvane-oracle-XXXXXX";
  char inputPath[] = "/tmp/orvane-oracle-in-XXXXXX";
  int scriptFd = mkstemp(scriptPath);
  int inputFd = mkstemp(inputPath);
  if (scriptFd < 0 || inputFd < 0) return std::string();
  close(scriptFd);
  close(inputFd);
  std::ofstream(scriptPath, std::ios::binary) << script;
  std::ofstream(inputPath, std::ios::binary) << input;
  std::string output =
      RunCommand(std::string("/usr/bin/python3 ") + scriptPath + " < " + inputPath + " 2>&1");
  unlink(scriptPath);
  unlink(inputPath);
  return output;
}

inline std::vector<std::string> SplitLines(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

inline std::string ToHex(const std::string &bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

inline std::string FromHex(const std::string &hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += (char)strtol(hex.substr(i, 2).c_str(), nullptr, 16);
  return bytes;
}

// A small deterministic generator, so that failures repeat.
struct TestRandom {
  unsigned long long state;
  explicit TestRandom(unsigned long long seed) : state(seed * 6364136223846793005ull + 1442695040888963407ull) {}
  unsigned Next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return (unsigned)(state >> 33);
  }
  unsigned Below(unsigned n) { return Next() % n; }
};
