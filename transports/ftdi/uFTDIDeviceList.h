#pragma once
// The list of FTDI USB converters present, by serial number.
#include <string>
#include <vector>

namespace korvan::transport {

// The USB converter list that the connection dialog and duomat-cli show,
// on the D2XX access layer (the library's converters, then those only the
// kernel driver sees).

// The number of converters, or -1 when the list cannot be made.
int FTDIDeviceCount();

// Copies device `index`'s description (or serial number) with its
// terminating zero into `buffer`, which holds `length` bytes. Returns 0 on
// success, with `length` set to the text's length; otherwise a nonzero code:
// the library's status, or FTDIBufferTooSmall with `length` set to the size
// needed (text and zero).
int FTDIDeviceDescription(int index, char* buffer, int& length);
int FTDIDeviceSerialNumber(int index, char* buffer, int& length);

constexpr int FTDIBufferTooSmall = 5;  // the library's "insufficient resources"
// The capacities the connection dialog asks with.
constexpr int FTDIDescriptionCapacity = 128;
constexpr int FTDISerialNumberCapacity = 256;

// The same as texts: false (and empty) on failure.
bool FTDIDeviceDescriptionText(int index, std::string& text);
bool FTDIDeviceSerialNumberText(int index, std::string& text);

// Every converter of a fresh list, in its order (for listings such as
// duomat-cli ports).
struct TFTDIListedDevice {
  std::string SerialNumber;
  std::string Description;
};
std::vector<TFTDIListedDevice> FTDIDevices();

}  // namespace korvan::transport
