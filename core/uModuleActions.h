#pragma once
// One module action from connecting to its result, by the window's rules: identify, load or save.
#include <array>
#include <optional>
#include <string>

#include "core/uModuleSettings.h"
#include "core/uOutcome.h"
#include "core/uProgress.h"

namespace duomat {

enum class TModuleAction { Identify, Load, Save };

// An Outra save: what the operator gave; the rest keeps the module's setting.
struct TOutraChanges {
  std::optional<int> Code;
  std::array<std::optional<int>, 2> Timeouts;
  std::array<std::optional<double>, 2> Values;
};

// The record is set to its address and time-out. Load and save give the
// settings as a profile (AddIngraProfile); a cancel after loading ends a save
// before anything is written. A value outside the module's own range throws
// TInputError before anything is written.
TOutcome RunIngraAction(TKorvanStackDeviceIngraRec& record, const std::string& connection, TModuleAction action,
                        int wantedCode = -1, const TCancel& cancelled = {});
TOutcome RunOutraAction(TKorvanStackDeviceOutraRec& record, const std::string& connection, TModuleAction action,
                        const TOutraChanges& changes = {}, const TCancel& cancelled = {});

}  // namespace duomat
