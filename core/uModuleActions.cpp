#include "core/uModuleActions.h"

#include <algorithm>

#include "core/uInputRules.h"
#include "core/uProfile.h"
#include "core/uText.h"

namespace duomat {

namespace {
// A cancel taken while loading, before the first write, ends the action there.
constexpr const char* kNothingWritten =
    DUOMAT_NOOP_EN("ModuleActions", "Interrupted before anything was written.");

// A load that failed because another kind of module answered says so after the message.
std::string WithOtherModule(bool ok, const std::string& message, const TConnectResult& c, TModuleKind expected) {
  const std::string other = ok ? std::string() : OtherModuleMessage(c.Identification, expected);
  // Translated here: the printer cannot look up the settings message inside a longer text.
  return other.empty() ? message : Tr(msg::Context, message.c_str()) + " " + other;
}

// The message, and why the line did not open when that is known; a line
// that opened but where no module answered gets what to try next.
TOutcome NotConnected(const TConnectResult& c) {
  TOutcome out = Failure(c.Message);
  if (!c.Reason.empty()) out.Values["reason"] = c.Reason;
  if (c.Message == msg::IngraNotAnswering || c.Message == msg::OutraNotAnswering)
    out.Values["hint"] = Tr(DUOMAT_TR_EN("ModuleActions",
                                         "check the module's address (--address) and the line's baud rate, or find "
                                         "the module with duomat-cli scan"));
  return out;
}

// Why an Ingra save cannot take the range: the module offers only its own kind.
TOutcome RangeNotOffered(const TIngraRangeList& list, int wantedCode) {
  TOutcome out = Failure(msg::IngraSaveFailed);
  if (list.Tag < 0) {
    out.Values["reason"] =
        Tr(DUOMAT_TR_EN("ModuleActions", "the module reports a range code this program does not know"));
    return out;
  }
  std::string offered;
  for (const std::string& item : list.Items) offered += (offered.empty() ? "" : ", ") + item;
  out.Values["reason"] =
      list.Tag == 0
          ? Tr(DUOMAT_TR_EN("ModuleActions", "this is a voltage module: it offers only %1, not %2"), offered,
               IngraRangeText(wantedCode))
          : Tr(DUOMAT_TR_EN("ModuleActions", "this is a current module: it offers only %1, not %2"), offered,
               IngraRangeText(wantedCode));
  return out;
}

TOutcome Identified(const TConnectResult& c) {
  TOutcome out{true, c.Identification, {}};
  out.Values["identification"] = c.Identification;
  return out;
}
}  // namespace

TOutcome RunIngraAction(TKorvanStackDeviceIngraRec& record, const std::string& connection, TModuleAction action,
                        int wantedCode, const TCancel& cancelled) {
  const TConnectResult c = ConnectIngra(record, connection);
  if (!c.Ok) return NotConnected(c);
  if (action == TModuleAction::Identify) return Identified(c);
  const TIngraLoadResult loaded = LoadIngra(*record.Device());
  if (action == TModuleAction::Load || !loaded.Ok) {
    TOutcome out{loaded.Ok, WithOtherModule(loaded.Ok, loaded.Message, c, TModuleKind::Ingra), {}};
    if (loaded.Ok) AddIngraProfile(out.Values, loaded.Codes, loaded.List);
    return out;
  }
  if (cancelled()) return Failure(Tr("ModuleActions", kNothingWritten));
  // An operator can pick only what the loaded list offers.
  TIngraRangeList list = loaded.List;
  list.Selected = list.IndexOf(IngraRangeText(wantedCode));
  if (list.Selected < 0) return RangeNotOffered(list, wantedCode);
  korvan::TIngraRanges saved{};
  const TSaveResult s = SaveIngra(*record.Device(), list, &saved);
  TOutcome out{s.Ok, s.Message, {}};
  if (s.Ok) AddIngraProfile(out.Values, saved, IngraRangeListFor(saved[0]));
  return out;
}

TOutcome RunOutraAction(TKorvanStackDeviceOutraRec& record, const std::string& connection, TModuleAction action,
                        const TOutraChanges& changes, const TCancel& cancelled) {
  const TConnectResult c = ConnectOutra(record, connection);
  if (!c.Ok) return NotConnected(c);
  if (action == TModuleAction::Identify) return Identified(c);
  const TOutraLoadResult loaded = LoadOutra(*record.Device());
  if (action == TModuleAction::Load || !loaded.Ok) {
    TOutcome out{loaded.Ok, WithOtherModule(loaded.Ok, loaded.Message, c, TModuleKind::Outra), {}};
    if (loaded.Ok) AddOutraProfile(out.Values, loaded.Settings);
    return out;
  }
  // What the window would show after loading, with the operator's changes.
  TOutraSaveRequest request;
  request.Code = changes.Code.value_or(loaded.Settings.Code1);
  const TOutraLimits limits = OutraRangeLimits(request.Code);
  const char* names[2] = {"--value1", "--value2"};
  for (size_t i = 0; i < 2; ++i) {
    const TOutraWatchDog& w = loaded.Settings.WatchDogs[i];
    request.Enabled[i] = changes.Timeouts[i] ? *changes.Timeouts[i] > 0 : w.Enabled;
    request.Timeout[i] = changes.Timeouts[i].value_or(w.Timeout);
    if (changes.Values[i]) {
      CheckOutraValue(*changes.Values[i], request.Code, names[i]);  // the module's own range, when none was given
      request.Value[i] = *changes.Values[i];
    } else {
      // A kept value follows the field's limits, as the window's edit field would.
      request.Value[i] = std::min(std::max(w.Value, limits.Minimum), limits.Maximum);
    }
  }
  if (cancelled()) return Failure(Tr("ModuleActions", kNothingWritten));
  TOutraSettings saved;
  const TSaveResult s = SaveOutra(*record.Device(), request, &saved);
  TOutcome out{s.Ok, s.Message, {}};
  if (s.Ok) AddOutraProfile(out.Values, saved);
  return out;
}

}  // namespace duomat
