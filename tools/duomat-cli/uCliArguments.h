#pragma once
// duomat-cli's arguments: every option's value, the rules they are read by, the parser.
#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

#include "core/uInputRules.h"
#include "core/uUiLanguage.h"

namespace duomat::cli {

// A usage error of a command: exit 2, nothing sent.
using TCliUsage = TInputError;

// Every value the command line takes, as typed; the rules below read them.
struct TCliOptions {
  // Options of every command that reaches a module, before or after its name.
  std::string Connection;
  std::string Address = "0x31";
  std::string Timeout = "1000";
  bool Log = false;
  bool Json = false;
  std::string Lang;  // cs or en; empty: the desktop's
  // ingra save RANGE; outra save/output.
  std::string IngraRange;
  std::optional<std::string> Range, Timeout1, Timeout2, Value1, Value2;
  // apply/diff FILE, batch INVENTORY.
  std::string Profile, Inventory;
  bool DryRun = false;
  std::string Jobs = "8";
  // scan.
  std::string From = "0", To = "253", ScanTimeout = "100";
  std::optional<std::string> Baudrates;  // given empty is an error, not "not given"
  bool Quick = false;
  // module set-address/set-baud/assign-address.
  std::string NewAddress, Rate, Numbers;
};

// A module's own address: 0x00 to 0xFD. Throws TCliUsage naming `what`.
int ModuleAddress(const std::string& text, const char* what);
// An address to send to: a module's own, or 0xFE, the universal address that
// whichever module is on the line answers. 0xFF is never one.
int TargetAddress(const std::string& text, const char* what);
// --timeout in ms, 1 to 600000.
int TimeoutOf(const TCliOptions& options);

// The candidate nearest to `word` by edits, or empty when none is near enough
// to be what was meant.
std::string Nearest(const std::string& word, const std::vector<std::string>& candidates);

// The language --lang names among ARGV, or the desktop's (as the window
// chooses it) when none or an unknown one is given; read before parsing so
// that the parser's own errors are in it too.
TUiLanguage CliLanguage(int argc, const char* const* argv);

struct TCommand;

// What is read from the shared options before the library starts, for a
// command that reaches a module: the connection string key by key, the
// address and the time-out. Throws TCliUsage; nothing was sent.
void CheckSharedOptions(const TCommand& command, const TCliOptions& options);

// The whole command line of duomat-cli, made from the command table.
class TCliParser {
 public:
  explicit TCliParser(TCliOptions& options);

  // Parses; the command chosen, or null after a help, a version or a usage
  // error was printed, with `status` its exit status (0 or 2).
  const TCommand* Parse(int argc, const char* const* argv, int& status);
  CLI::App& App() { return app_; }

 private:
  // A usage error that names the unexpected word and what was nearest to it.
  std::string Unexpected(const CLI::ParseError& e);
  std::string Refusal(const CLI::ParseError& e, bool required);
  // "'ingra' needs a command; the commands are: …".
  std::string MissingCommand();
  // The last command or group the words named.
  CLI::App* Deepest();

  CLI::App app_;
  std::vector<std::pair<CLI::App*, const TCommand*>> leaves_;
};

}  // namespace duomat::cli
