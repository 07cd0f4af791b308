#pragma once
// duomat-cli module ACTION: the instructions every Korvan module shares.
#include <CLI/CLI.hpp>

#include <string>

// duomat-cli … module identify | address | numbers | set-address NEW |
// set-baud RATE | assign-address NEW --numbers A,B: the instructions every
// Korvan module shares.
namespace duomat::cli {

struct TModuleCommand {
  std::string Action;
  std::string NewAddress, Rate, Numbers;
  bool Json = false;
  CLI::App* Command = nullptr;
};

// Adds the "module" subcommand with its actions to the program's parser.
void AddModuleCommand(CLI::App& app, TModuleCommand& command);

// Runs the parsed action on the line; prints the result; returns the exit
// status (0 done, 1 failed or refused, 2 usage error with nothing sent).
int RunModuleCommand(const TModuleCommand& command, const std::string& connection,
                     const std::string& address, int timeout, bool json);

}  // namespace duomat::cli
