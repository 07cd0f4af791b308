#pragma once
// duomat-cli batch INVENTORY: many modules at once, with a progress line and signals taken.
#include <string>

namespace duomat::cli {

// Runs the inventory and prints the results; returns the exit status
// (0 all ok, 3 none failed but a diff differed, 1 any failed, 2 a bad
// inventory, 128 + n after signal n).
int BatchCommand(const std::string& inventory, int jobs, int timeout, bool json);

}  // namespace duomat::cli
