#pragma once
// Profiles: a module's settings kept in a file, compared with a module and written into one.
#include <nlohmann/json.hpp>

#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/uModuleSettings.h"
#include "core/uProgress.h"

// A profile is the JSON object that loading a module gives (see
// AddIngraProfile); the window and the command line read, compare and write
// it with the window's rules.
namespace duomat {

enum class TModuleKind { Ingra, Outra };
const char* ModuleName(TModuleKind kind);

// A profile that cannot be used; the message names the field.
struct TProfileError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct TProfile {
  TModuleKind Module = TModuleKind::Ingra;
  korvan::TIngraRanges IngraCodes{};  // Ingra
  std::array<int, 2> Codes{};         // Outra: ranges, then per watchdog
  std::array<int, 2> Timeouts{};      // seconds, 0 = off
  std::array<int, 2> Raws{};          // the 12-bit watchdog values
};

// The JSON of a text; TProfileError when it is not JSON, holds a NUL byte or
// anything after the value, has a key twice in one object or nests deeper
// than a profile or an inventory can.
nlohmann::json ParseJsonText(const std::string& text);

// The JSON of a regular file, or of standard input for "-"; TProfileError
// when it cannot be read, is no regular file, is larger than 1 MiB or is
// refused by ParseJsonText (the message leaves the name to the caller).
nlohmann::json ReadJsonFile(const std::string& path);

// Checks the whole profile for the expected module before anything is sent.
TProfile ParseProfile(const nlohmann::json& j, TModuleKind expected);

// One setting that differs: module value (From) and profile value (To).
struct TChange {
  std::string Setting;
  nlohmann::ordered_json From, To;
  std::string Text;  // "watchdog 1 timeout: 0 -> 60"
  int FromRaw = -1, ToRaw = -1;  // watchdog values only
};

// What differs between a module's settings and a profile, in the order the
// settings are listed (ranges, time-outs, values); what apply writes.
std::vector<TChange> CompareProfile(const korvan::TIngraRanges& module, const TProfile& profile);
std::vector<TChange> CompareProfile(const TOutraSettings& module, const TProfile& profile);

enum class TProfileAction { Apply, DryRun, Diff };

// What apply, dry run or diff found and did. Exit: 0 matches, 1 a request
// failed or the read-back differs, 2 the profile cannot be written to this
// module, 3 differences found (dry run, diff).
struct TProfileResult {
  bool Ok = false;
  bool Changed = false;
  bool Verified = false;
  int Exit = 1;
  std::string Message;
  std::vector<TChange> Changes;
};

// On a connected device: load, compare and, for Apply, write only what
// differs (Ingra: 0xE4 then 0x1A; Outra: ranges, time-outs, values), then
// load again and compare. A cancel before the first write ends it there.
TProfileResult RunProfile(korvan::IIngra& device, const TProfile& profile, TProfileAction action,
                          const TCancel& cancelled = {});
TProfileResult RunProfile(korvan::IOutra& device, const TProfile& profile, TProfileAction action,
                          const TCancel& cancelled = {});

// The result's JSON fields (without "ok" and "message").
void AddProfileResult(nlohmann::ordered_json& j, const TProfileResult& r, TProfileAction action);

// When the module's identification names the other kind of module: "The
// module on this line is Ingra, not Outra." Else empty: the identification
// is the module's own text and may name neither.
std::string OtherModuleMessage(const std::string& identification, TModuleKind expected);

// The settings as a profile: "module", then the module's own keys.
void AddIngraProfile(nlohmann::ordered_json& values, const korvan::TIngraRanges& codes, const TIngraRangeList& list);
void AddOutraProfile(nlohmann::ordered_json& values, const TOutraSettings& settings);

}  // namespace duomat
