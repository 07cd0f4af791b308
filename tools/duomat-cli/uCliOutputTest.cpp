#include "tools/duomat-cli/uCliOutputTest.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/uModuleSettings.h"
#include "tools/duomat-cli/uCliOutput.h"

namespace duomat::cli {

namespace {
using ojson = nlohmann::ordered_json;

const char* Unit(int code) { return code >= 1 && code <= 4 ? "V" : code >= 5 && code <= 7 ? "mA" : ""; }

std::string Shown(double value, int code) {
  char text[48];
  std::snprintf(text, sizeof text, "%.2f %s", value, Unit(code));
  return text;
}

std::optional<double> Number(const std::string& text) {
  std::string t = text;
  for (char& c : t)
    if (c == ',') c = '.';  // a Czech decimal comma is fine too
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (t.empty() || *end != '\0' || !std::isfinite(v)) return std::nullopt;
  return v;
}

int Finish(const TOutcome& outcome, int status, bool json) {
  if (json || status != 2) {
    Print(outcome, json);
  } else {
    std::fprintf(stderr, "duomat-cli: %s\n", outcome.Message.c_str());
  }
  return status;
}
}  // namespace

int OutputTestCommand(const std::string& connection, uint8_t address, int timeout,
                      const std::optional<std::string>& value1, const std::optional<std::string>& value2,
                      bool json) {
  const std::optional<std::string>* given[2] = {&value1, &value2};
  std::optional<double> values[2];
  for (size_t i = 0; i < 2; ++i) {
    if (!*given[i]) continue;
    values[i] = Number(**given[i]);
    if (!values[i])
      return Finish({false, "--value" + std::to_string(i + 1) + " is not a number: " + **given[i], {}}, 2, json);
  }

  TKorvanStackDeviceOutraRec record;
  record.Device()->SetAdr(address);
  record.Device()->SetTimeout(timeout);
  const TConnectResult c = ConnectOutra(record, connection);
  if (!c.Ok) return Finish({false, c.Message, {}}, 1, json);
  korvan::IOutra& device = *record.Device();
  uint8_t codes[2] = {0, 0};
  int timeouts[2] = {0, 0}, defaults[2] = {0, 0};
  if (!device.GetRanges(codes[0], codes[1]) || !device.GetWatchDogTimeouts(timeouts[0], timeouts[1]) ||
      !device.GetWatchDogValues(defaults[0], defaults[1]))
    return Finish({false, msg::OutraLoadFailed, {}}, 1, json);

  // Each output in its own range, converted as the window converts watchdog values.
  int raws[2] = {-1, -1};
  for (size_t i = 0; i < 2; ++i) {
    if (!values[i]) continue;
    const TOutraLimits l = OutraRangeLimits(codes[i]);
    if (!(l.Maximum > l.Minimum) || *values[i] < l.Minimum || *values[i] > l.Maximum) {
      char text[200];
      std::snprintf(text, sizeof text, "--value%zu must lie within output %zu's range %s, from %g to %g: %g; nothing was written",
                    i + 1, i + 1, OutraRangeText(codes[i]).c_str(), l.Minimum, l.Maximum, *values[i]);
      return Finish({false, text, {}}, 2, json);
    }
    raws[i] = OutraValueToRaw(*values[i], codes[i]);
  }
  const bool set = raws[0] >= 0 || raws[1] >= 0;
  if (set && !device.SetOutputs(raws[0], raws[1], true))
    return Finish({false, "Setting the outputs failed.", {}}, 1, json);
  int read[2] = {0, 0};
  if (!device.GetOutputs(read[0], read[1], true))
    return Finish({false, set ? "The outputs were set but could not be read back." : "Reading the outputs failed.", {}},
                  1, json);

  TOutcome out{true, set ? "Outputs set and read back." : "Outputs read.", {}};
  ojson outputs = ojson::array();
  std::string text;
  for (size_t i = 0; i < 2; ++i) {
    const std::string n = std::to_string(i + 1);
    const double value = OutraRawToValue(read[i], codes[i]);
    ojson o = {{"output", i + 1}, {"range", OutraRangeText(codes[i])}, {"value", value}, {"unit", Unit(codes[i])},
               {"raw", read[i]}, {"set", raws[i] >= 0}};
    text += "output " + n + ": " + Shown(value, codes[i]) + " (raw " + std::to_string(read[i]) + ")\n";
    if (raws[i] >= 0 && read[i] != raws[i]) {
      out.Ok = false;
      out.Message = "Output " + n + " reads back raw " + std::to_string(read[i]) + ", not " + std::to_string(raws[i]) + ".";
    }
    const double fallback = OutraRawToValue(defaults[i], codes[i]);
    o["watchdog"] = {{"enabled", timeouts[i] > 0}, {"timeout", timeouts[i]}, {"value", fallback}, {"raw", defaults[i]}};
    if (timeouts[i] > 0)
      text += "watchdog " + n + ": after " + std::to_string(timeouts[i]) + " s without a command the module returns output " +
              n + " to " + Shown(fallback, codes[i]) + " (raw " + std::to_string(defaults[i]) + ")\n";
    outputs.push_back(std::move(o));
  }
  if (json) {
    out.Values["outputs"] = std::move(outputs);
    Print(out, true);
  } else {
    std::fprintf(out.Ok ? stdout : stderr, "%s\n", out.Message.c_str());
    std::fputs(text.c_str(), stdout);
  }
  return out.Ok ? 0 : 1;
}

}  // namespace duomat::cli
