// Shell commands as independent oracles for the unit tests.
#pragma once

#include <string>

// Runs a shell command and returns its standard output; status gets pclose's status.
std::string RunCommand(const std::string &command, int *status = nullptr);
