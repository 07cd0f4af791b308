#pragma once
// The output loop test: drive the Outra outputs to known values and read them back.
#include <array>
#include <optional>
#include <string>

#include "core/uModuleSettings.h"

namespace duomat {

// "V" for the voltage ranges 1-4, "mA" for the current ranges 5-7.
const char* OutraUnit(int code);

struct TOutputReading {
  int Code = 0;         // the output's own range
  int Raw = 0;          // read back (0x41)
  double Value = 0;     // Raw in the output's range
  int SetRaw = -1;      // what was set (0x40), -1 when not
  TOutraWatchDog WatchDog;  // its value in the output's own range
};

struct TOutputLoopResult {
  int Status = 1;  // 0 done, 1 failed, 2 a value outside its range (nothing written)
  std::string Message;
  std::string Reason;  // why the line did not open, when known
  bool Read = false;  // Outputs hold what the module reported
  std::array<TOutputReading, 2> Outputs{};
};

// On a record set to its address and time-out: connects, reads the ranges and
// watchdogs, converts each given value in its own output's range, sets them
// raw and reads them back; without values only reads.
TOutputLoopResult RunOutputLoop(TKorvanStackDeviceOutraRec& record, const std::string& connection,
                                const std::array<std::optional<double>, 2>& values);

}  // namespace duomat
