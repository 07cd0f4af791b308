#pragma once
// The instructions every Korvan module shares: identify, address and rate, serial numbers, and changing them.
#include <cstdint>
#include <string>

#include "core/uModuleLine.h"
#include "core/uOutcome.h"

namespace duomat {

// Each asks the module at `address` on the open line. Values: "address",
// "old_address", "new_address", "baudrate", "identification", "a", "b",
// "number", "verified", as each operation has them.
TOutcome IdentifyModule(TModuleLine& line, int address);
TOutcome ReadModuleAddress(TModuleLine& line, int address);
TOutcome ReadModuleNumbers(TModuleLine& line, int address);

// Refused when another module answers at `wanted`; confirmed at the new
// address. At the universal address, the module on the line is asked its own.
TOutcome ChangeModuleAddress(TModuleLine& line, int address, int wanted);
// A serial line follows and confirms the new rate; a line without a rate
// (a converter in between) is left to the operator.
TOutcome ChangeModuleRate(TModuleLine& line, int address, int rate);
// Through the universal address: the module whose numbers are a, b takes
// `wanted`; refused when a module already answers there.
TOutcome AssignModuleAddress(TModuleLine& line, int wanted, uint16_t a, uint16_t b);

}  // namespace duomat
