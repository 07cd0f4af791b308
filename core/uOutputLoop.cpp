#include "core/uOutputLoop.h"

#include <cstdio>

#include "core/uText.h"

namespace duomat {

const char* OutraUnit(int code) { return code >= 1 && code <= 4 ? "V" : code >= 5 && code <= 7 ? "mA" : ""; }

TOutputLoopResult RunOutputLoop(TKorvanStackDeviceOutraRec& record, const std::string& connection,
                                const std::array<std::optional<double>, 2>& values) {
  TOutputLoopResult r;
  const TConnectResult c = ConnectOutra(record, connection);
  if (!c.Ok) {
    r.Message = c.Message;
    r.Reason = c.Reason;
    return r;
  }
  korvan::IOutra& device = *record.Device();
  uint8_t codes[2] = {0, 0};
  int timeouts[2] = {0, 0}, defaults[2] = {0, 0};
  if (!device.GetRanges(codes[0], codes[1])) {
    r.Message = msg::OutraLoadFailed;
    return r;
  }
  // Each output in its own range, converted as the window converts watchdog
  // values; a value outside it ends the test before anything more is asked.
  for (size_t i = 0; i < 2; ++i) {
    TOutputReading& o = r.Outputs[i];
    o.Code = codes[i];
    if (!values[i]) continue;
    const TOutraLimits l = OutraRangeLimits(codes[i]);
    if (!(l.Maximum > l.Minimum) || *values[i] < l.Minimum || *values[i] > l.Maximum) {
      char text[200];
      std::snprintf(text, sizeof text,
                    "--value%zu must lie within output %zu's range %s, from %g to %g: %g; nothing was written", i + 1,
                    i + 1, OutraRangeText(codes[i]).c_str(), l.Minimum, l.Maximum, *values[i]);
      r.Status = 2;
      r.Message = text;
      return r;
    }
    o.SetRaw = OutraValueToRaw(*values[i], codes[i]);
  }
  if (!device.GetWatchDogTimeouts(timeouts[0], timeouts[1]) || !device.GetWatchDogValues(defaults[0], defaults[1])) {
    r.Message = msg::OutraLoadFailed;
    return r;
  }
  for (size_t i = 0; i < 2; ++i)
    r.Outputs[i].WatchDog = {timeouts[i] > 0, timeouts[i], OutraRawToValue(defaults[i], codes[i]), defaults[i]};
  const bool set = r.Outputs[0].SetRaw >= 0 || r.Outputs[1].SetRaw >= 0;
  if (set && !device.SetOutputs(r.Outputs[0].SetRaw, r.Outputs[1].SetRaw, true)) {
    r.Message = Tr(DUOMAT_TR_EN("OutputLoop", "Setting the outputs failed."));
    return r;
  }
  int read[2] = {0, 0};
  if (!device.GetOutputs(read[0], read[1], true)) {
    r.Message =
        set ? Tr(DUOMAT_TR_EN("OutputLoop", "The outputs were set but could not be read back."))
            : Tr(DUOMAT_TR_EN("OutputLoop", "Reading the outputs failed."));
    return r;
  }
  r.Read = true;
  r.Status = 0;
  r.Message = set ? Tr(DUOMAT_TR_EN("OutputLoop", "Outputs set and read back."))
                  : Tr(DUOMAT_TR_EN("OutputLoop", "Outputs read."));
  for (size_t i = 0; i < 2; ++i) {
    TOutputReading& o = r.Outputs[i];
    o.Raw = read[i];
    o.Value = OutraRawToValue(read[i], o.Code);
    if (o.SetRaw >= 0 && o.Raw != o.SetRaw) {
      r.Status = 1;
      r.Message = Tr(DUOMAT_TR_EN("OutputLoop", "Output %1 reads back raw %2, not %3."), i + 1,
                     o.Raw, o.SetRaw);
    }
  }
  return r;
}

}  // namespace duomat
