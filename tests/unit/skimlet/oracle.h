// Shell commands as independent oracles for skimlet's unit tests.
#pragma once

#include <string>

#include "tests/unit/run_command.h"

// Standard output of a shell command; ok is false when it could not run or failed.
std::string Oracle(const std::string &command, bool *ok);
