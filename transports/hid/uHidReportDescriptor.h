#pragma once
// Report lengths read from a HID report descriptor.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace korvan::transport {

// What the report descriptor says about a device's report lengths.
struct THidReportLengths {
  bool Valid = false;          // the descriptor parsed to its end
  bool UsesReportIds = false;  // every report starts with its ID byte
  // The longest report of each direction in bytes, including one leading
  // report-ID byte whether the device numbers its reports or not (0 when the
  // device has no report of that direction).
  int InputReportLength = 0;
  int OutputReportLength = 0;
  int FeatureReportLength = 0;
};

// Walks the descriptor's items (short and long), keeping the global state
// (report size, count and ID, push and pop) and adding size × count bits to
// the report its main items Input, Output and Feature belong to. A broken
// descriptor (a truncated item, report ID 0, a pop without push, sizes the
// kernel also refuses) gives Valid false and no lengths.
THidReportLengths ParseHidReportDescriptor(const uint8_t* data, size_t size);
inline THidReportLengths ParseHidReportDescriptor(std::string_view bytes) {
  return ParseHidReportDescriptor(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace korvan::transport
