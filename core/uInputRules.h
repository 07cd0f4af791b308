#pragma once
// The rules for what an operator types: numbers, addresses, rates and physical values.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace duomat {

// Input that breaks a rule; nothing was sent. The message names the field.
struct TInputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The last address a module can have: 0xFE is the universal address, 0xFF none.
constexpr long LastModuleAddress = 253;

// Decimal, or hexadecimal after 0x; a leading zero does not make it octal,
// and a blank before or after it is no part of a number.
// Throws TInputError naming `what` when the text is not a whole number from lo to hi.
long ParseNumber(const std::string& text, const char* what, long lo, long hi);

// A physical value; a Czech decimal comma is taken as a point. Throws TInputError.
double ParseValue(const std::string& text, const char* what);

// Throws TInputError when `value` lies outside the Outra range `code`.
void CheckOutraValue(double value, int code, const char* what);

// "0x31".
std::string AddressText(int address);

// True for a rate the modules know (110 ... 230400).
bool IsModuleRate(long rate);

// "all" (any letter case) or R1,R2,… of the modules' rates, each once;
// throws TInputError naming `what`, also for an empty text.
std::vector<uint32_t> ParseRates(const std::string& text, const char* what);

}  // namespace duomat
