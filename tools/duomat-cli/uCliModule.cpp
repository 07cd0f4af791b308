#include "tools/duomat-cli/uCliModule.h"

#include "core/uInputRules.h"
#include "core/uModuleOperations.h"
#include "core/uModuleSettings.h"
#include "core/uOpenFailure.h"
#include "core/uText.h"
#include "tools/duomat-cli/uCliOutput.h"

namespace duomat::cli {

namespace {
TOutcome Run(const std::string& action, TModuleLine& line, int address, int wanted, int rate, uint16_t a,
             uint16_t b) {
  if (action == "identify") return IdentifyModule(line, address);
  if (action == "address") return ReadModuleAddress(line, address);
  if (action == "numbers") return ReadModuleNumbers(line, address);
  if (action == "set-address") return ChangeModuleAddress(line, address, wanted);
  if (action == "set-baud") return ChangeModuleRate(line, address, rate);
  return AssignModuleAddress(line, wanted, a, b);
}
}  // namespace

void AddNewAddress(CLI::App& c, TCliOptions& o) {
  c.add_option("NEW", o.NewAddress, "The new address 0x00-0xFD, decimal or 0x hexadecimal")->type_name("ADDR")->required();
}

void AddModuleRate(CLI::App& c, TCliOptions& o) {
  c.add_option("RATE", o.Rate, "One of 110 300 600 1200 2400 4800 9600 19200 38400 57600 115200 230400")
      ->type_name("BAUD")
      ->required();
}

void AddAssignAddress(CLI::App& c, TCliOptions& o) {
  AddNewAddress(c, o);
  c.add_option("--numbers", o.Numbers, "A,B: the first two numbers that 'module numbers' reads")
      ->type_name("A,B")
      ->required();
}

int RunModuleCommand(const std::string& action, const TCliOptions& o) {
  // Everything that can be checked without the line is checked first.
  const int address = TargetAddress(o.Address, "--address");
  int wanted = -1, rate = 0;
  uint16_t a = 0, b = 0;
  if (action == "set-address" || action == "assign-address") wanted = ModuleAddress(o.NewAddress, "NEW");
  if (action == "set-baud") {
    rate = static_cast<int>(ParseNumber(o.Rate, "RATE", 1, 1000000000));
    if (!IsModuleRate(rate))
      throw TCliUsage(Tr(
          DUOMAT_TR_EN("duomat-cli", "RATE must be one of the modules' rates 110 ... 230400: %1"),
          o.Rate));
  }
  if (action == "assign-address") {
    const size_t comma = o.Numbers.find(',');
    if (comma == std::string::npos)
      throw TCliUsage(Tr(DUOMAT_TR_EN("duomat-cli", "--numbers must be A,B: %1"), o.Numbers));
    a = static_cast<uint16_t>(ParseNumber(o.Numbers.substr(0, comma), "A", 0, 0xFFFF));
    b = static_cast<uint16_t>(ParseNumber(o.Numbers.substr(comma + 1), "B", 0, 0xFFFF));
  }
  if (action == "set-address" && wanted == address) {
    Print(Failure(Tr(DUOMAT_TR_EN("ModuleOperations", "The module is already at %1."),
                     AddressText(address))),
          o.Json);
    return 1;
  }
  TModuleLine line;
  line.Device().SetTimeout(TimeoutOf(o));
  if (!line.Open(o.Connection)) {
    Print(TOutcome{false, msg::OpenFailed, OpenFailureValues(o.Connection)}, o.Json);
    return 1;
  }
  const TOutcome r = Run(action, line, address, wanted, rate, a, b);
  Print(r, o.Json);
  return r.Ok ? 0 : 1;
}

}  // namespace duomat::cli
