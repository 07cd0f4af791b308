#pragma once
// duomat-cli -c CONNECTION scan: which modules answer on the line, at which address and rate.
#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace duomat::cli {

struct TScanCommand {
  std::string From = "0", To = "253";
  int ScanTimeout = 100;
  std::optional<std::string> Baudrates;  // given empty is an error, not "not given"
  bool Quick = false;
  bool Json = false;
  CLI::App* Command = nullptr;
};

void AddScanCommand(CLI::App& app, TScanCommand& command);

// Scans and prints what answered; returns 0 when a module answered, 1 when
// none did, 2 for a usage error (nothing sent), 130 when SIGINT stopped it.
int RunScanCommand(const TScanCommand& command, const std::string& connection, bool json);

}  // namespace duomat::cli
