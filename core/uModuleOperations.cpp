#include "core/uModuleOperations.h"

#include "core/uInputRules.h"
#include "protocol/uKorvan97.h"

namespace duomat {

namespace {
// No answer at `address`: silence, or several modules answering at once.
TOutcome NotAnswering(int address, bool collided = false) {
  if (!collided) return Failure("No module answers at " + AddressText(address) + ".");
  TOutcome r = Failure("Several modules answer at " + AddressText(address) +
                       ": their answers collide. Give each its own address (module assign-address).");
  r.Values["collision"] = true;
  return r;
}
}  // namespace

TOutcome IdentifyModule(TModuleLine& line, int address) {
  std::string text;
  bool collided = false;
  if (!line.Identify(address, text, &collided)) return NotAnswering(address, collided);
  TOutcome r{true, text, {}};
  r.Values["address"] = address;
  r.Values["identification"] = text;
  return r;
}

TOutcome ReadModuleAddress(TModuleLine& line, int address) {
  uint8_t adr = 0;
  int baud = 0;
  bool collided = false;
  if (!line.Ask(address, [&](korvan::TKorvanStackDevice& d) { return d.ReadAddressAndBaudRate(adr, baud); },
                &collided))
    return NotAnswering(address, collided);
  TOutcome r{true,
             "The module at " + AddressText(address) + " has the address " + AddressText(adr) + " and the rate " +
                 std::to_string(baud) + " Bd.",
             {}};
  r.Values["address"] = adr;
  r.Values["baudrate"] = baud;
  return r;
}

TOutcome ReadModuleNumbers(TModuleLine& line, int address) {
  uint16_t na = 0, nb = 0;
  uint32_t number = 0;
  bool collided = false;
  if (!line.Ask(address, [&](korvan::TKorvanStackDevice& d) { return d.ReadNumbers(na, nb, number); }, &collided))
    return NotAnswering(address, collided);
  TOutcome r{true, "The numbers of the module at " + AddressText(address) + ".", {}};
  r.Values["a"] = na;
  r.Values["b"] = nb;
  r.Values["number"] = number;
  return r;
}

TOutcome ChangeModuleAddress(TModuleLine& line, int address, int wanted) {
  korvan::TKorvanStackDevice& device = line.Device();
  if (address == korvan::KorvanUniversalAddress) {
    // Whichever module is on the line: its own address is what it leaves.
    uint8_t own = 0;
    int baud = 0;
    device.SetAdr(korvan::KorvanUniversalAddress);
    if (!device.ReadAddressAndBaudRate(own, baud)) return NotAnswering(address);
    address = own;
    if (address == wanted) return Failure("The module is already at " + AddressText(address) + ".");
  }
  std::string text, other;
  bool collided = false;
  if (!line.Identify(address, text, &collided)) return NotAnswering(address, collided);
  if (line.Identify(wanted, other))
    return Failure("Another module already answers at " + AddressText(wanted) + ": " + other);
  device.SetAdr(static_cast<uint8_t>(address));
  if (!device.ChangeAddress(static_cast<uint8_t>(wanted)))
    return Failure("The module at " + AddressText(address) + " did not take the address " + AddressText(wanted) + ".");
  if (!line.Identify(wanted, text))
    return Failure("The module took the address " + AddressText(wanted) + " but does not answer there.");
  TOutcome r{true, AddressText(address) + " -> " + AddressText(wanted), {}};
  r.Values["old_address"] = address;
  r.Values["new_address"] = wanted;
  r.Values["identification"] = text;
  return r;
}

TOutcome ChangeModuleRate(TModuleLine& line, int address, int rate) {
  korvan::TKorvanStackDevice& device = line.Device();
  device.SetAdr(static_cast<uint8_t>(address));
  if (!device.SetAddressAndBaudRate(static_cast<uint8_t>(address), rate))
    return Failure("The module at " + AddressText(address) + " did not take the rate " + std::to_string(rate) + ".");
  TOutcome r{true, "", {}};
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
    return Failure("The module took the rate " + std::to_string(rate) + " but the line cannot switch to it.");
  if (!line.Identify(address, text))
    return Failure("The module took the rate " + std::to_string(rate) + " but does not answer at it.");
  r.Message = "The module at " + AddressText(address) + " now talks at " + std::to_string(rate) + " Bd.";
  r.Values["verified"] = true;
  r.Values["identification"] = text;
  return r;
}

TOutcome AssignModuleAddress(TModuleLine& line, int wanted, uint16_t a, uint16_t b) {
  korvan::TKorvanStackDevice& device = line.Device();
  std::string text;
  if (line.Identify(wanted, text)) {
    uint16_t na = 0, nb = 0;
    uint32_t number = 0;
    if (device.ReadNumbers(na, nb, number) && na == a && nb == b)
      return Failure("The module with the numbers " + std::to_string(a) + "," + std::to_string(b) + " is already at " +
                     AddressText(wanted) + ".");
    return Failure("Another module already answers at " + AddressText(wanted) + ": " + text);
  }
  // Every module on the line hears the universal address; only the one with these numbers takes it.
  device.SetAdr(korvan::KorvanUniversalAddress);
  if (!device.AssignAddress(static_cast<uint8_t>(wanted), a, b))
    return Failure("No module with the numbers " + std::to_string(a) + "," + std::to_string(b) + " took the address " +
                   AddressText(wanted) + ".");
  if (!line.Identify(wanted, text))
    return Failure("The module took the address " + AddressText(wanted) + " but does not answer there.");
  TOutcome r{true,
             "The module with the numbers " + std::to_string(a) + "," + std::to_string(b) + " is now at " +
                 AddressText(wanted) + ".",
             {}};
  r.Values["new_address"] = wanted;
  r.Values["identification"] = text;
  return r;
}

}  // namespace duomat
