// Report descriptors come from the device: any bytes must parse without
// harm, and a valid result must stay within what a report can hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "transports/hid/uHidReportDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const korvan::transport::THidReportLengths r = korvan::transport::ParseHidReportDescriptor(data, size);
  const int limit = 16384 + 1;
  if (!r.Valid && (r.InputReportLength || r.OutputReportLength || r.FeatureReportLength)) std::abort();
  if (r.InputReportLength < 0 || r.InputReportLength > limit) std::abort();
  if (r.OutputReportLength < 0 || r.OutputReportLength > limit) std::abort();
  if (r.FeatureReportLength < 0 || r.FeatureReportLength > limit) std::abort();
  return 0;
}
