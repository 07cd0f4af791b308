#pragma once
// The scan dialog's fields as a scan request, and a found module as a connection.
#include <cstdint>
#include <string>

#include "core/uModuleScan.h"

namespace duomat {

// As the operator typed them: addresses in hexadecimal without "0x", rates
// "R1,R2,…" (empty: the line's own rate).
struct TScanFields {
  std::string From = "00", To = "FD";
  bool AllRates = false;
  std::string Rates;
  bool Quick = false;
};

enum class TScanFieldError { None, From, To, Order, Rates };

// The request the fields ask for; on a line without a rate the rates are not
// looked at. Nothing in `request` is set when a field is wrong.
TScanFieldError ScanRequestOf(const TScanFields& fields, bool lineHasRate, TScanRequest& request);

// A hexadecimal address of one or two digits (0 to FD), or -1.
int ParseHexAddress(const std::string& text);

// The line's connection string at the rate a module answered at: "baudrate"
// replaced or added on a line with a rate, the string unchanged otherwise.
std::string ConnectionAtRate(const std::string& connection, uint32_t rate);

}  // namespace duomat
