#pragma once
// The Outra module's device: its interface, the output range codes and the device object.
#include <cstdint>

#include "protocol/uKorvanStackDevice.h"

namespace korvan {

// Output range codes 1 to 7 ("0 - 10 V" … "0 - 24 mA").
constexpr uint8_t OutraMinRange = 1;
constexpr uint8_t OutraMaxRange = 7;
constexpr int OutraMaxWatchDogTimeout = 86400;  // seconds; 0 means off
constexpr int OutraMaxRawValue = 4095;           // 12-bit output value
constexpr int OutraMaxValue = 10000;             // outputs in physical units

// Operations taking two values leave an output out when its value is -1.
class IOutra : public virtual IKorvanStackDevice {
 public:
  virtual bool SetOutputs(int value1, int value2, bool raw) = 0;
  virtual bool GetOutputs(int& value1, int& value2, bool raw) = 0;
  virtual bool SetRange(int output, int code) = 0;
  virtual bool SetRanges(int code1, int code2) = 0;
  virtual bool GetRanges(uint8_t& code1, uint8_t& code2) = 0;
  virtual bool SetWatchDogTimeouts(int timeout1, int timeout2) = 0;
  virtual bool GetWatchDogTimeouts(int& timeout1, int& timeout2) = 0;
  virtual bool SetWatchDogValue(int output, int value) = 0;
  virtual bool SetWatchDogValues(int value1, int value2) = 0;
  virtual bool GetWatchDogValues(int& value1, int& value2) = 0;
};

// The Outra module: two analog outputs, their range and a watchdog per output.
class TOutra : public TKorvanStackDevice, public virtual IOutra {
 public:
  using TKorvanStackDevice::TKorvanStackDevice;

  bool SetOutputs(int value1, int value2, bool raw) override;
  bool GetOutputs(int& value1, int& value2, bool raw) override;
  bool SetRange(int output, int code) override;
  bool SetRanges(int code1, int code2) override;
  bool GetRanges(uint8_t& code1, uint8_t& code2) override;
  bool SetWatchDogTimeouts(int timeout1, int timeout2) override;
  bool GetWatchDogTimeouts(int& timeout1, int& timeout2) override;
  bool SetWatchDogValue(int output, int value) override;
  bool SetWatchDogValues(int value1, int value2) override;
  bool GetWatchDogValues(int& value1, int& value2) override;
};

}  // namespace korvan
