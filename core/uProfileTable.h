#pragma once
// A module set beside a profile, setting by setting, and a loaded module as the text of a profile file.
#include <string>
#include <vector>

#include "core/uProfile.h"

namespace duomat {

// One setting of the comparison. Differs is what apply would write: the
// same rule (CompareProfile), so that the table and the restore agree.
struct TProfileRow {
  std::string Setting;  // as a change names it: "input 1 range", "watchdog 2 value"
  std::string Module, File;
  bool Differs = false;
};

struct TProfileTable {
  bool Ok = false;
  std::string Message;  // why the module could not be loaded
  std::vector<TProfileRow> Rows;
  size_t Differences() const;
};

// Every setting of the module kind, in the order of CompareProfile's changes.
std::vector<TProfileRow> ProfileRows(const korvan::TIngraRanges& module, const TProfile& file);
std::vector<TProfileRow> ProfileRows(const TOutraSettings& module, const TProfile& file);

// Loads the connected module and sets it beside the profile; nothing is written.
TProfileTable CompareModule(korvan::IIngra& device, const TProfile& file);
TProfileTable CompareModule(korvan::IOutra& device, const TProfile& file);

struct TProfileText {
  bool Ok = false;
  std::string Message;
  std::string Text;  // one line, as `duomat-cli --json MODULE load` prints it
};

// Loads the connected module as a profile file's text.
TProfileText LoadProfileText(korvan::IIngra& device);
TProfileText LoadProfileText(korvan::IOutra& device);

}  // namespace duomat
