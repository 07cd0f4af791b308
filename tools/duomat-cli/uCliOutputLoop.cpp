#include "tools/duomat-cli/uCliOutputLoop.h"

#include <array>
#include <cstdio>

#include "core/uInputRules.h"
#include "core/uOutputLoop.h"
#include "core/uText.h"
#include "tools/duomat-cli/uCliOutput.h"

namespace duomat::cli {

namespace {
using ojson = nlohmann::ordered_json;

std::string Shown(double value, int code) {
  char text[48];
  std::snprintf(text, sizeof text, "%.2f %s", value, OutraUnit(code));
  return text;
}

// A number as %g writes it.
std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

int Finish(const TOutcome& outcome, int status, bool json) {
  if (json || status != 2) {
    Print(outcome, json);
  } else {
    std::fprintf(stderr, "duomat-cli: %s\n", Tr(msg::Context, outcome.Message.c_str()).c_str());
  }
  return status;
}
}  // namespace

int OutputTestCommand(const std::string& connection, uint8_t address, int timeout,
                      const std::optional<std::string>& value1, const std::optional<std::string>& value2,
                      bool json) {
  const std::optional<std::string>* given[2] = {&value1, &value2};
  std::array<std::optional<double>, 2> values;
  for (size_t i = 0; i < 2; ++i) {
    if (!*given[i]) continue;
    const std::string name = "--value" + std::to_string(i + 1);
    try {
      values[i] = ParseValue(**given[i], name.c_str());
      // A value no range takes needs no module to be refused.
      const TOutraLimits any = OutraAnyRangeLimits();
      if (*values[i] < any.Minimum || *values[i] > any.Maximum) {
        throw TInputError(Tr(
            DUOMAT_TR_EN("duomat-cli",
                         "%1 must lie within an output range, from %2 to %3: %4; nothing was sent"),
            name, Number(any.Minimum), Number(any.Maximum), Number(*values[i])));
      }
    } catch (const TInputError& e) {
      return Finish(Failure(e.what()), 2, json);
    }
  }

  TKorvanStackDeviceOutraRec record;
  record.Device()->SetAdr(address);
  record.Device()->SetTimeout(timeout);
  const TOutputLoopResult r = RunOutputLoop(record, connection, values);
  if (!r.Read) {
    TOutcome failure = Failure(r.Message);
    if (!r.Reason.empty()) failure.Values["reason"] = r.Reason;
    return Finish(failure, r.Status, json);
  }

  TOutcome out{r.Status == 0, r.Message, {}};
  ojson outputs = ojson::array();
  std::string text;
  for (size_t i = 0; i < 2; ++i) {
    const TOutputReading& o = r.Outputs[i];
    const std::string n = std::to_string(i + 1);
    ojson j = {{"output", i + 1}, {"range", OutraRangeText(o.Code)}, {"value", o.Value}, {"unit", OutraUnit(o.Code)},
               {"raw", o.Raw}, {"set", o.SetRaw >= 0}};
    text +=
        Tr(DUOMAT_TR_EN("duomat-cli", "output %1: %2 (raw %3)"), n, Shown(o.Value, o.Code), o.Raw) +
        "\n";
    const TOutraWatchDog& w = o.WatchDog;
    j["watchdog"] = {{"enabled", w.Enabled}, {"timeout", w.Timeout}, {"value", w.Value}, {"raw", w.Raw}};
    if (w.Timeout > 0)
      text += Tr(DUOMAT_TR_EN("duomat-cli",
                              "watchdog %1: after %2 s without a command the module returns output "
                              "%1 to %3 (raw %4)"),
                 n, w.Timeout, Shown(w.Value, o.Code), w.Raw) +
              "\n";
    outputs.push_back(std::move(j));
  }
  if (json) {
    out.Values["outputs"] = std::move(outputs);
    Print(out, true);
  } else {
    std::fprintf(out.Ok ? stdout : stderr, "%s\n", Tr(msg::Context, out.Message.c_str()).c_str());
    std::fputs(text.c_str(), stdout);
  }
  return out.Ok ? 0 : 1;
}

}  // namespace duomat::cli
