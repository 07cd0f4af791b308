#pragma once
// duomat-cli -c CONNECTION scan: which modules answer on the line, at which address and rate.
#include <CLI/CLI.hpp>

#include "tools/duomat-cli/uCliArguments.h"

namespace duomat::cli {

void AddScanOptions(CLI::App& command, TCliOptions& options);

// Scans and prints what answered; returns 0 when a module answered, 1 when
// none did. A usage error is thrown as TCliUsage before anything is sent.
// A signal ends it early with what was found printed (the runner's exit
// status then says which signal).
int RunScanCommand(const TCliOptions& options);

}  // namespace duomat::cli
