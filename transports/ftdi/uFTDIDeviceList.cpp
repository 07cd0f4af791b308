#include "transports/ftdi/uFTDIDeviceList.h"

#include <cstring>
#include <vector>

#include "transports/ftdi/uFTD2XX.h"

namespace korvan::transport {

namespace {
enum class TText { Description, SerialNumber };

int CopyDetail(int index, TText which, char* buffer, int& length) {
  if (index < 0) return FT_DEVICE_NOT_FOUND;
  uint32_t flags = 0, type = 0, id = 0, location = 0;
  FT_HANDLE handle = nullptr;
  char serial[FT_DETAIL_TEXT_SIZE] = {}, description[FT_DETAIL_TEXT_SIZE] = {};
  const FT_STATUS status = D2XX().FT_GetDeviceInfoDetail(static_cast<uint32_t>(index), &flags, &type, &id, &location,
                                                         serial, description, &handle);
  if (status != FT_OK) return static_cast<int>(status);
  const char* text = which == TText::Description ? description : serial;
  const int size = static_cast<int>(strnlen(text, FT_DETAIL_TEXT_SIZE)) + 1;
  if (!buffer || length < size) {
    length = size;
    return FTDIBufferTooSmall;
  }
  std::memcpy(buffer, text, static_cast<size_t>(size));
  length = size - 1;
  return 0;
}

bool DetailText(int index, TText which, int capacity, std::string& text) {
  std::vector<char> buffer(static_cast<size_t>(capacity));
  int length = capacity;
  text.clear();
  if (CopyDetail(index, which, buffer.data(), length) != 0) return false;
  text.assign(buffer.data(), static_cast<size_t>(length));
  return true;
}
}  // namespace

int FTDIDeviceCount() {
  uint32_t count = 0;
  if (D2XX().FT_CreateDeviceInfoList(&count) != FT_OK) return -1;
  return static_cast<int>(count);
}

int FTDIDeviceDescription(int index, char* buffer, int& length) {
  return CopyDetail(index, TText::Description, buffer, length);
}

int FTDIDeviceSerialNumber(int index, char* buffer, int& length) {
  return CopyDetail(index, TText::SerialNumber, buffer, length);
}

bool FTDIDeviceDescriptionText(int index, std::string& text) {
  return DetailText(index, TText::Description, FTDIDescriptionCapacity, text);
}

bool FTDIDeviceSerialNumberText(int index, std::string& text) {
  return DetailText(index, TText::SerialNumber, FTDISerialNumberCapacity, text);
}

std::vector<TFTDIListedDevice> FTDIDevices() {
  std::vector<TFTDIListedDevice> devices;
  const int count = FTDIDeviceCount();
  for (int i = 0; i < count; ++i) {
    TFTDIListedDevice d;
    if (FTDIDeviceSerialNumberText(i, d.SerialNumber) && FTDIDeviceDescriptionText(i, d.Description))
      devices.push_back(d);
  }
  return devices;
}

}  // namespace korvan::transport
