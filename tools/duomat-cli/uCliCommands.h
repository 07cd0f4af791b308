#pragma once
// duomat-cli's command table: one row per command, from its name to the function that runs it.
#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "tools/duomat-cli/uCliArguments.h"

namespace duomat::cli {

// One command of the program. The runner does what every command shares:
// the checks of the line's options, the library's start, --log, the signal
// policy and the exit status.
struct TCommand {
  const char* Path;      // "ingra load", "scan"
  const char* Summary;   // its help
  const char* Examples;  // lines of examples for its help, or ""
  bool NeedsLine;        // takes -c
  bool Addressed;        // asks one module: takes --address and --timeout
  bool Logs;             // sends frames: takes --log
  // Runs many modules' actions at once: any request may belong to a write,
  // and it ends its own run on a second SIGINT.
  bool Many;
  // What it writes ("the Outra module"), or "" for a command that only reads;
  // WritesNow narrows it to the options given (null: always).
  const char* Writes;
  bool (*WritesNow)(const TCliOptions&);
  // Its own options and arguments, bound to `options`.
  void (*AddOptions)(CLI::App& command, TCliOptions& options);
  // Runs it and prints the result; the exit status.
  int (*Run)(const TCliOptions& options);
};

// The groups that hold commands ("ingra", "outra", "module") with their help.
struct TCommandGroup {
  const char* Name;
  const char* Summary;
  const char* Examples;
};

const std::vector<TCommand>& Commands();
const std::vector<TCommandGroup>& CommandGroups();

// "the Outra module" when the command writes with these options, else "".
std::string WriteTarget(const TCommand& command, const TCliOptions& options);

}  // namespace duomat::cli
