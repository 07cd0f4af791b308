#pragma once
// duomat-cli module ACTION: the instructions every Korvan module shares.
#include <CLI/CLI.hpp>

#include <string>

#include "tools/duomat-cli/uCliArguments.h"

// duomat-cli … module identify | address | numbers | set-address NEW |
// set-baud RATE | assign-address NEW --numbers A,B.
namespace duomat::cli {

// The arguments of set-address, set-baud and assign-address.
void AddNewAddress(CLI::App& command, TCliOptions& options);
void AddModuleRate(CLI::App& command, TCliOptions& options);
void AddAssignAddress(CLI::App& command, TCliOptions& options);

// Runs the action on the line; prints the result; returns the exit status
// (0 done, 1 failed or refused, 2 usage error with nothing sent).
int RunModuleCommand(const std::string& action, const TCliOptions& options);

}  // namespace duomat::cli
