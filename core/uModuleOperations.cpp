#include "core/uModuleOperations.h"

#include "core/uInputRules.h"
#include "core/uText.h"
#include "protocol/uKorvan97.h"

namespace duomat {

namespace {
// No answer at `address`: silence, or several modules answering at once.
TOutcome NotAnswering(int address, bool collided = false) {
  if (!collided)
    return Failure(
        Tr(DUOMAT_TR_EN("ModuleOperations", "No module answers at %1."), AddressText(address)));
  TOutcome r = Failure(Tr(DUOMAT_TR_EN("ModuleOperations",
                                       "Several modules answer at %1: their answers collide. Give "
                                       "each its own address (module assign-address)."),
                          AddressText(address)));
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
             Tr(DUOMAT_TR_EN("ModuleOperations",
                             "The module at %1 has the address %2 and the rate %3 Bd."),
                AddressText(address), AddressText(adr), baud),
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
  TOutcome r{true,
             Tr(DUOMAT_TR_EN("ModuleOperations", "The numbers of the module at %1."),
                AddressText(address)),
             {}};
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
    if (address == wanted)
      return Failure(Tr(DUOMAT_TR_EN("ModuleOperations", "The module is already at %1."),
                        AddressText(address)));
  }
  std::string text, other;
  bool collided = false;
  if (!line.Identify(address, text, &collided)) return NotAnswering(address, collided);
  if (line.Identify(wanted, other))
    return Failure(Tr(DUOMAT_TR_EN("ModuleOperations", "Another module already answers at %1: %2"),
                      AddressText(wanted), other));
  device.SetAdr(static_cast<uint8_t>(address));
  if (!device.ChangeAddress(static_cast<uint8_t>(wanted)))
    return Failure(
        Tr(DUOMAT_TR_EN("ModuleOperations", "The module at %1 did not take the address %2."),
           AddressText(address), AddressText(wanted)));
  if (!line.Identify(wanted, text))
    return Failure(Tr(DUOMAT_TR_EN("ModuleOperations",
                                   "The module took the address %1 but does not answer there."),
                      AddressText(wanted)));
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
    return Failure(
        Tr(DUOMAT_TR_EN("ModuleOperations", "The module at %1 did not take the rate %2."),
           AddressText(address), rate));
  TOutcome r{true, "", {}};
  r.Values["address"] = address;
  r.Values["baudrate"] = rate;
  if (line.Rate() == 0) {
    // The converter between us and the module keeps its own rate.
    r.Message = Tr(DUOMAT_TR_EN("ModuleOperations",
                                "The module now talks at %1 Bd: change the converter's own rate to "
                                "match; nothing was verified."),
                   rate);
    r.Values["verified"] = false;
    return r;
  }
  std::string text;
  if (!line.SetRate(static_cast<uint32_t>(rate)))
    return Failure(Tr(DUOMAT_TR_EN("ModuleOperations",
                                   "The module took the rate %1 but the line cannot switch to it."),
                      rate));
  if (!line.Identify(address, text))
    return Failure(Tr(
        DUOMAT_TR_EN("ModuleOperations", "The module took the rate %1 but does not answer at it."),
        rate));
  r.Message = Tr(DUOMAT_TR_EN("ModuleOperations", "The module at %1 now talks at %2 Bd."),
                 AddressText(address), rate);
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
      return Failure(Tr(
          DUOMAT_TR_EN("ModuleOperations", "The module with the numbers %1,%2 is already at %3."),
          a, b, AddressText(wanted)));
    return Failure(Tr(DUOMAT_TR_EN("ModuleOperations", "Another module already answers at %1: %2"),
                      AddressText(wanted), text));
  }
  // Every module on the line hears the universal address; only the one with these numbers takes it.
  device.SetAdr(korvan::KorvanUniversalAddress);
  if (!device.AssignAddress(static_cast<uint8_t>(wanted), a, b))
    return Failure(Tr(
        DUOMAT_TR_EN("ModuleOperations", "No module with the numbers %1,%2 took the address %3."),
        a, b, AddressText(wanted)));
  if (!line.Identify(wanted, text))
    return Failure(Tr(DUOMAT_TR_EN("ModuleOperations",
                                   "The module took the address %1 but does not answer there."),
                      AddressText(wanted)));
  TOutcome r{true,
             Tr(DUOMAT_TR_EN("ModuleOperations", "The module with the numbers %1,%2 is now at %3."),
                a, b, AddressText(wanted)),
             {}};
  r.Values["new_address"] = wanted;
  r.Values["identification"] = text;
  return r;
}

}  // namespace duomat
