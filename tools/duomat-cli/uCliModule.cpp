#include "tools/duomat-cli/uCliModule.h"

#include <algorithm>

#include "app/uModuleSettings.h"
#include "tools/duomat-cli/uCliLine.h"

namespace duomat::cli {

namespace {
using TJson = nlohmann::ordered_json;
constexpr long kLastModuleAddress = 253;  // 0xFE is the universal address, 0xFF invalid

struct TResult {
  bool Ok = false;
  std::string Message;
  TJson Values = TJson::object();
};

TResult Failed(std::string message) {
  return {false, std::move(message), TJson::object()};
}

std::string NotAnswering(int address) {
  return "No module answers at " + AddressText(address) + ".";
}

// Asks for the identification at `address`, leaving the device there.
bool Identify(korvan::TKorvanStackDevice& device, int address, std::string& text) {
  device.SetAdr(static_cast<uint8_t>(address));
  return device.ReadIdentificationText(text);
}

TResult SetAddress(TCliLine& line, int address, int wanted) {
  korvan::TKorvanStackDevice& device = line.Device();
  std::string text, other;
  if (!Identify(device, address, text)) return Failed(NotAnswering(address));
  if (Identify(device, wanted, other))
    return Failed("Another module already answers at " + AddressText(wanted) + ": " + other);
  device.SetAdr(static_cast<uint8_t>(address));
  if (!device.ChangeAddress(static_cast<uint8_t>(wanted)))
    return Failed("The module at " + AddressText(address) + " did not take the address " +
                  AddressText(wanted) + ".");
  if (!Identify(device, wanted, text))
    return Failed("The module took the address " + AddressText(wanted) +
                  " but does not answer there.");
  TResult r{true, AddressText(address) + " -> " + AddressText(wanted), TJson::object()};
  r.Values["old_address"] = address;
  r.Values["new_address"] = wanted;
  r.Values["identification"] = text;
  return r;
}

TResult SetBaud(TCliLine& line, int address, int rate) {
  korvan::TKorvanStackDevice& device = line.Device();
  device.SetAdr(static_cast<uint8_t>(address));
  if (!device.SetAddressAndBaudRate(static_cast<uint8_t>(address), rate))
    return Failed("The module at " + AddressText(address) + " did not take the rate " +
                  std::to_string(rate) + ".");
  TResult r{true, "", TJson::object()};
  r.Values["address"] = address;
  r.Values["baudrate"] = rate;
  if (line.Rate() == 0) {
    // The converter between us and the module keeps its own rate.
    r.Message = "The module now talks at " + std::to_string(rate) +
                " Bd: change the converter's own rate to match; nothing was verified.";
    r.Values["verified"] = false;
    return r;
  }
  std::string text;
  if (!line.SetRate(static_cast<uint32_t>(rate)))
    return Failed("The module took the rate " + std::to_string(rate) +
                  " but the line cannot switch to it.");
  if (!Identify(device, address, text))
    return Failed("The module took the rate " + std::to_string(rate) +
                  " but does not answer at it.");
  r.Message =
      "The module at " + AddressText(address) + " now talks at " + std::to_string(rate) + " Bd.";
  r.Values["verified"] = true;
  r.Values["identification"] = text;
  return r;
}

TResult Run(const TModuleCommand& c, TCliLine& line, int address, int wanted, int rate, uint16_t a,
            uint16_t b) {
  korvan::TKorvanStackDevice& device = line.Device();
  std::string text;
  if (c.Action == "identify") {
    if (!Identify(device, address, text)) return Failed(NotAnswering(address));
    TResult r{true, text, TJson::object()};
    r.Values["address"] = address;
    r.Values["identification"] = text;
    return r;
  }
  if (c.Action == "address") {
    uint8_t adr = 0;
    int baud = 0;
    device.SetAdr(static_cast<uint8_t>(address));
    if (!device.ReadAddressAndBaudRate(adr, baud)) return Failed(NotAnswering(address));
    TResult r{true,
              "The module at " + AddressText(address) + " has the address " + AddressText(adr) +
                  " and the rate " + std::to_string(baud) + " Bd.",
              TJson::object()};
    r.Values["address"] = adr;
    r.Values["baudrate"] = baud;
    return r;
  }
  if (c.Action == "numbers") {
    uint16_t na = 0, nb = 0;
    uint32_t number = 0;
    device.SetAdr(static_cast<uint8_t>(address));
    if (!device.ReadNumbers(na, nb, number)) return Failed(NotAnswering(address));
    TResult r{true, "The numbers of the module at " + AddressText(address) + ".", TJson::object()};
    r.Values["a"] = na;
    r.Values["b"] = nb;
    r.Values["number"] = number;
    return r;
  }
  if (c.Action == "set-address") return SetAddress(line, address, wanted);
  if (c.Action == "set-baud") return SetBaud(line, address, rate);
  // assign-address: through the universal address, to the module with these numbers.
  device.SetAdr(static_cast<uint8_t>(address));
  if (!device.AssignAddress(static_cast<uint8_t>(wanted), a, b))
    return Failed("No module with the numbers " + std::to_string(a) + "," + std::to_string(b) +
                  " took the address " + AddressText(wanted) + ".");
  if (!Identify(device, wanted, text))
    return Failed("The module took the address " + AddressText(wanted) +
                  " but does not answer there.");
  TResult r{true,
            "The module with the numbers " + std::to_string(a) + "," + std::to_string(b) +
                " is now at " + AddressText(wanted) + ".",
            TJson::object()};
  r.Values["new_address"] = wanted;
  r.Values["identification"] = text;
  return r;
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
        ParseCliNumber(addressText, "--address", 0, korvan::KorvanUniversalAddress));
    int wanted = -1, rate = 0;
    uint16_t a = 0, b = 0;
    if (c.Action == "set-address" || c.Action == "assign-address")
      wanted = static_cast<int>(ParseCliNumber(c.NewAddress, "NEW", 0, kLastModuleAddress));
    if (c.Action == "set-baud") {
      rate = static_cast<int>(ParseCliNumber(c.Rate, "RATE", 1, 1000000000));
      if (std::find(korvan::KorvanBaudTable.begin(), korvan::KorvanBaudTable.end(), rate) ==
          korvan::KorvanBaudTable.end())
        throw TCliUsage("RATE must be one of the modules' rates 110 ... 230400: " + c.Rate);
    }
    if (c.Action == "assign-address") {
      const size_t comma = c.Numbers.find(',');
      if (comma == std::string::npos) throw TCliUsage("--numbers must be A,B: " + c.Numbers);
      a = static_cast<uint16_t>(ParseCliNumber(c.Numbers.substr(0, comma), "A", 0, 0xFFFF));
      b = static_cast<uint16_t>(ParseCliNumber(c.Numbers.substr(comma + 1), "B", 0, 0xFFFF));
    }
    if (c.Action == "set-address" && wanted == address) {
      PrintResult(false, "The module is already at " + AddressText(address) + ".", TJson::object(),
                  json);
      return 1;
    }
    TCliLine line;
    line.Device().SetTimeout(timeout);
    if (!line.Open(connection)) {
      PrintResult(false, msg::OpenFailed, TJson::object(), json);
      return 1;
    }
    const TResult r = Run(c, line, address, wanted, rate, a, b);
    PrintResult(r.Ok, r.Message, r.Values, json);
    return r.Ok ? 0 : 1;
  } catch (...) {
    return ReportCommandError(json);
  }
}

}  // namespace duomat::cli
