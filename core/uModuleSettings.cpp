#include "core/uModuleSettings.h"

#include <cfenv>
#include <algorithm>
#include <cmath>

#include "core/uModuleText.h"
#include "core/uOpenFailure.h"

namespace duomat {

namespace {
// Nearest integer, an exact half going to the even one.
long RoundHalfEven(double x) {
  const int mode = std::fegetround();
  std::fesetround(FE_TONEAREST);
  const long r = std::lrint(x);
  std::fesetround(mode);
  return r;
}

template <class TRecord>
TConnectResult ConnectRecord(TRecord& record, const std::string& connectionString, const char* notAnswering) {
  TConnectResult result;
  record.Disconnect();
  record.SetConnectionString(connectionString);
  if (!record.Connect()) {
    result.Message = msg::OpenFailed;
    result.Failure = DiagnoseOpenFailure(connectionString);
    result.Reason = OpenFailureText(result.Failure);
    return result;
  }
  if (!record.Device()->ReadIdentificationText(result.Identification)) {
    record.Disconnect();
    result.Message = notAnswering;
    return result;
  }
  result.Identification = ModuleText(result.Identification);
  result.Ok = true;
  return result;
}

int CodeFromText(const std::string& text, int first, int last, std::string (*textOf)(int)) {
  for (int code = first; code <= last; ++code)
    if (text == textOf(code)) return code;
  if (text.size() == 1 && text[0] >= '0' && text[0] <= '9') {
    const int code = text[0] - '0';
    if (code >= first && code <= last) return code;
  }
  return -1;
}
}  // namespace

TConnectResult ConnectIngra(TKorvanStackDeviceIngraRec& record, const std::string& connectionString) {
  return ConnectRecord(record, connectionString, msg::IngraNotAnswering);
}

TConnectResult ConnectOutra(TKorvanStackDeviceOutraRec& record, const std::string& connectionString) {
  return ConnectRecord(record, connectionString, msg::OutraNotAnswering);
}

// ---- Ingra -----------------------------------------------------------------

std::string IngraRangeText(int code) {
  switch (code) {
    case 0: return "0 - 10 V";
    case 1: return "4 - 20 mA";
    case 2: return "0 - 20 mA";
    default: return {};
  }
}

int IngraRangeCode(const std::string& text) { return CodeFromText(text, 0, 2, &IngraRangeText); }

int TIngraRangeList::IndexOf(const std::string& text) const {
  for (size_t i = 0; i < Items.size(); ++i)
    if (Items[i] == text) return static_cast<int>(i);
  return -1;
}

TIngraRangeList IngraRangeListFor(int codeOfInput1) {
  TIngraRangeList list;
  if (codeOfInput1 == 0) {
    list.Items = {IngraRangeText(0)};
    list.Tag = 0;
    list.Selected = 0;
  } else if (codeOfInput1 == 1 || codeOfInput1 == 2) {
    list.Items = {IngraRangeText(1), IngraRangeText(2)};
    list.Tag = 1;
    list.Selected = codeOfInput1 - 1;
  }
  return list;
}

namespace {
bool GetIngraRanges(korvan::IIngra& device, korvan::TIngraRanges& codes) {
  return device.GetRanges(codes) || device.GetRanges(codes);
}
}  // namespace

TIngraLoadResult LoadIngra(korvan::IIngra& device) {
  TIngraLoadResult result;
  result.Ok = GetIngraRanges(device, result.Codes);
  if (result.Ok) result.List = IngraRangeListFor(result.Codes[0]);
  result.Message = result.Ok ? msg::IngraLoaded : msg::IngraLoadFailed;
  return result;
}

bool IngraKindKept(int moduleCode, int code) { return (moduleCode == 0) == (code == 0); }

bool WriteIngraRanges(korvan::IIngra& device, const korvan::TIngraRanges& ranges) {
  return device.SetRanges(ranges) || device.SetRanges(ranges);
}

TSaveResult SaveIngra(korvan::IIngra& device, const TIngraRangeList& list, korvan::TIngraRanges* saved) {
  TSaveResult result{false, msg::IngraSaveFailed};
  if (list.Tag < 0 || list.Selected < 0) return result;
  korvan::TIngraRanges current{};
  if (!GetIngraRanges(device, current)) return result;
  const int code = list.Selected + list.Tag;
  if (!IngraKindKept(current[0], code)) return result;
  const korvan::TIngraRanges ranges = {static_cast<uint8_t>(code), static_cast<uint8_t>(code),
                                       static_cast<uint8_t>(code), static_cast<uint8_t>(code)};
  if (!WriteIngraRanges(device, ranges)) return result;
  if (saved) *saved = ranges;
  return {true, msg::IngraSaved};
}

// ---- Outra -----------------------------------------------------------------

const std::vector<std::string>& OutraRangeTexts() {
  static const std::vector<std::string> texts = {"0 - 10 V",  "0 - 5 V",   "-10 - 10 V", "-5 - 5 V",
                                                 "4 - 20 mA", "0 - 20 mA", "0 - 24 mA"};
  return texts;
}

std::string OutraRangeText(int code) {
  return code >= 1 && code <= 7 ? OutraRangeTexts()[static_cast<size_t>(code - 1)] : std::string();
}

int OutraRangeCode(const std::string& text) { return CodeFromText(text, 1, 7, &OutraRangeText); }

TOutraLimits OutraRangeLimits(int code) {
  switch (code) {
    case 1: return {0, 10};
    case 2: return {0, 5};
    case 3: return {-10, 10};
    case 4: return {-5, 5};
    case 5: return {4, 20};
    case 6: return {0, 20};
    case 7: return {0, 24};
    default: return {0, 0};
  }
}

TOutraLimits OutraAnyRangeLimits() {
  TOutraLimits any{0, 0};
  for (int code = 1; code <= 7; ++code) {
    any.Minimum = std::min(any.Minimum, OutraRangeLimits(code).Minimum);
    any.Maximum = std::max(any.Maximum, OutraRangeLimits(code).Maximum);
  }
  return any;
}

double OutraRawToValue(int raw, int code) {
  const TOutraLimits l = OutraRangeLimits(code);
  const double physical = raw / static_cast<double>(OutraRawMax) * (l.Maximum - l.Minimum) + l.Minimum;
  return RoundHalfEven(physical * 100) / 100.0;
}

int OutraValueToRaw(double value, int code) {
  const TOutraLimits l = OutraRangeLimits(code);
  if (!(l.Maximum > l.Minimum)) return 0;
  return static_cast<int>(RoundHalfEven((value - l.Minimum) / (l.Maximum - l.Minimum) * OutraRawMax));
}

TOutraLoadResult LoadOutra(korvan::IOutra& device) {
  TOutraLoadResult result;
  result.Message = msg::OutraLoadFailed;
  TOutraSettings& s = result.Settings;
  int timeouts[2] = {0, 0}, values[2] = {0, 0};
  if (!device.GetRanges(s.Code1, s.Code2)) return result;
  if (!device.GetWatchDogTimeouts(timeouts[0], timeouts[1])) return result;
  if (!device.GetWatchDogValues(values[0], values[1])) return result;
  for (int i = 0; i < 2; ++i) {
    TOutraWatchDog& w = s.WatchDogs[static_cast<size_t>(i)];
    w.Enabled = timeouts[i] > 0;
    w.Timeout = timeouts[i];
    w.Raw = values[i];
    w.Value = OutraRawToValue(values[i], s.Code1);  // both shown in output 1's range
  }
  result.Ok = true;
  result.Message = msg::OutraLoaded;
  return result;
}

TSaveResult SaveOutra(korvan::IOutra& device, const TOutraSaveRequest& request, TOutraSettings* saved) {
  TSaveResult failed{false, msg::OutraSaveFailed};
  TOutraSettings s;
  s.Code1 = s.Code2 = static_cast<uint8_t>(request.Code);
  for (size_t i = 0; i < 2; ++i) {
    TOutraWatchDog& w = s.WatchDogs[i];
    w.Enabled = request.Enabled[i];
    w.Timeout = request.Enabled[i] ? request.Timeout[i] : 0;
    w.Raw = OutraValueToRaw(request.Value[i], request.Code);
    w.Value = OutraRawToValue(w.Raw, request.Code);
  }
  if (!device.SetRanges(request.Code, request.Code)) return failed;
  if (!device.SetWatchDogTimeouts(s.WatchDogs[0].Timeout, s.WatchDogs[1].Timeout)) return failed;
  if (!device.SetWatchDogValues(s.WatchDogs[0].Raw, s.WatchDogs[1].Raw)) return failed;
  if (saved) *saved = s;
  return {true, msg::OutraSaved};
}

}  // namespace duomat
