#pragma once
// duomat-cli MODULE apply | diff FILE: a profile file against the module.
#include <cstdint>
#include <string>

#include "core/uProfile.h"

namespace duomat::cli {

// Reads and checks the file (exit 2, nothing sent), connects, runs, prints.
// Returns the exit status.
int ProfileCommand(TModuleKind kind, const std::string& connection, uint8_t address, int timeout,
                   const std::string& file, TProfileAction action, bool json);

}  // namespace duomat::cli
