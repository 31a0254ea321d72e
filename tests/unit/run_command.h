// Shell commands as independent oracles for the unit tests.
#pragma once

#include <string>

// Runs a shell command and returns its standard output; status gets pclose's status.
std::string RunCommand(const std::string &command, int *status = nullptr);

// True when the oracle program tool (a path, or a name looked up in PATH) can be run;
// otherwise the current test fails, naming the missing tool: a test never skips for want
// of its oracle (tools/setup-deps.sh installs them all).
bool RequireTool(const std::string &tool);
