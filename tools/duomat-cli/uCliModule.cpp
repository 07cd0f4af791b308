#include "tools/duomat-cli/uCliModule.h"

#include "core/uInputRules.h"
#include "core/uModuleOperations.h"
#include "core/uModuleSettings.h"
#include "core/uOpenFailure.h"
#include "protocol/uKorvan97.h"
#include "tools/duomat-cli/uCliOutput.h"

namespace duomat::cli {

namespace {
using TJson = nlohmann::ordered_json;

TOutcome Run(const TModuleCommand& c, TModuleLine& line, int address, int wanted, int rate, uint16_t a, uint16_t b) {
  if (c.Action == "identify") return IdentifyModule(line, address);
  if (c.Action == "address") return ReadModuleAddress(line, address);
  if (c.Action == "numbers") return ReadModuleNumbers(line, address);
  if (c.Action == "set-address") return ChangeModuleAddress(line, address, wanted);
  if (c.Action == "set-baud") return ChangeModuleRate(line, address, rate);
  return AssignModuleAddress(line, wanted, a, b);
}
}  // namespace

void AddModuleCommand(CLI::App& app, TModuleCommand& c) {
  c.Command = app.add_subcommand(
      "module", "The instructions every Korvan module shares, at --address (default 0x31)");
  c.Command->require_subcommand(1);
  c.Command->add_flag("--json", c.Json, "Print one JSON object instead of text");
  const auto action = [&c](CLI::App* sub) {
    sub->callback([&c, sub] { c.Action = sub->get_name(); });
    return sub;
  };
  action(c.Command->add_subcommand("identify", "The module's identification text"));
  action(c.Command->add_subcommand("address", "The module's address and baud rate (0xF0)"));
  action(c.Command->add_subcommand("numbers", "The module's two words and 32-bit number (0xFA)"));
  action(c.Command->add_subcommand("set-address",
                                   "Move the module to NEW (0-253); refused when NEW is taken"))
      ->add_option("NEW", c.NewAddress, "The new address, decimal or 0x hexadecimal")
      ->required();
  action(c.Command->add_subcommand(
             "set-baud",
             "Switch the module to RATE (110 ... 230400); a serial line follows and verifies it"))
      ->add_option("RATE", c.Rate,
                   "One of 110 300 600 1200 2400 4800 9600 19200 38400 57600 115200 230400")
      ->required();
  CLI::App* assign = action(c.Command->add_subcommand(
      "assign-address",
      "Give the module whose numbers are A,B the address NEW, through the universal address"));
  assign->add_option("NEW", c.NewAddress, "The new address, decimal or 0x hexadecimal")->required();
  assign
      ->add_option("--numbers", c.Numbers, "A,B: the first two numbers that 'module numbers' reads")
      ->required();
}

int RunModuleCommand(const TModuleCommand& c, const std::string& connection,
                     const std::string& addressText, int timeout, bool json) {
  try {
    // Everything that can be checked without the line is checked first.
    // 0xFE reaches whichever module is on the line.
    const int address = static_cast<int>(
        ParseNumber(addressText, "--address", 0, korvan::KorvanUniversalAddress));
    int wanted = -1, rate = 0;
    uint16_t a = 0, b = 0;
    if (c.Action == "set-address" || c.Action == "assign-address")
      wanted = static_cast<int>(ParseNumber(c.NewAddress, "NEW", 0, LastModuleAddress));
    if (c.Action == "set-baud") {
      rate = static_cast<int>(ParseNumber(c.Rate, "RATE", 1, 1000000000));
      if (!IsModuleRate(rate))
        throw TCliUsage("RATE must be one of the modules' rates 110 ... 230400: " + c.Rate);
    }
    if (c.Action == "assign-address") {
      const size_t comma = c.Numbers.find(',');
      if (comma == std::string::npos) throw TCliUsage("--numbers must be A,B: " + c.Numbers);
      a = static_cast<uint16_t>(ParseNumber(c.Numbers.substr(0, comma), "A", 0, 0xFFFF));
      b = static_cast<uint16_t>(ParseNumber(c.Numbers.substr(comma + 1), "B", 0, 0xFFFF));
    }
    if (c.Action == "set-address" && wanted == address) {
      PrintResult(false, "The module is already at " + AddressText(address) + ".", TJson::object(),
                  json);
      return 1;
    }
    TModuleLine line;
    line.Device().SetTimeout(timeout);
    if (!line.Open(connection)) {
      PrintResult(false, msg::OpenFailed, OpenFailureValues(connection), json);
      return 1;
    }
    const TOutcome r = Run(c, line, address, wanted, rate, a, b);
    PrintResult(r.Ok, r.Message, r.Values, json);
    return r.Ok ? 0 : 1;
  } catch (...) {
    return ReportCommandError(json);
  }
}

}  // namespace duomat::cli
