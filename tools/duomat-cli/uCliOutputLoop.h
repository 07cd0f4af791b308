#pragma once
// duomat-cli outra output: the output loop test, printed.
#include <cstdint>
#include <optional>
#include <string>

namespace duomat::cli {

// Reads the ranges and watchdogs; with values, converts each in its own
// output's range, sets them raw (0x40) and reads them back (0x41); prints
// both outputs. A value that is not a number or lies outside its output's
// range is a usage error (exit 2, nothing written). Returns the exit status.
int OutputTestCommand(const std::string& connection, uint8_t address, int timeout,
                      const std::optional<std::string>& value1, const std::optional<std::string>& value2,
                      bool json);

}  // namespace duomat::cli
