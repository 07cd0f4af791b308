#include "core/uProfileTable.h"

#include <algorithm>
#include <cstdio>

#include "core/uOutputLoop.h"

namespace duomat {

namespace {
std::string RangeShown(int code, std::string (*text)(int)) {
  const std::string t = text(code);
  return t.empty() ? std::to_string(code) : t;
}

std::string ValueShown(double value, int code) {
  char text[48];
  std::snprintf(text, sizeof text, "%.2f %s", value, OutraUnit(code));
  return text;
}

std::string TimeoutShown(int seconds) { return std::to_string(seconds) + " s"; }

std::vector<TProfileRow> Marked(std::vector<TProfileRow> rows, const std::vector<TChange>& changes) {
  for (TProfileRow& row : rows)
    row.Differs = std::any_of(changes.begin(), changes.end(), [&](const TChange& c) { return c.Setting == row.Setting; });
  return rows;
}

TProfileText Text(bool loadedOk, const std::string& message, const nlohmann::ordered_json& profile) {
  TProfileText t{loadedOk, message, {}};
  if (!loadedOk) return t;
  nlohmann::ordered_json j = {{"ok", true}, {"message", message}};
  for (const auto& [key, value] : profile.items()) j[key] = value;
  t.Text = j.dump() + "\n";
  return t;
}
}  // namespace

size_t TProfileTable::Differences() const {
  return static_cast<size_t>(std::count_if(Rows.begin(), Rows.end(), [](const TProfileRow& r) { return r.Differs; }));
}

std::vector<TProfileRow> ProfileRows(const korvan::TIngraRanges& module, const TProfile& file) {
  std::vector<TProfileRow> rows;
  for (size_t i = 0; i < 4; ++i)
    rows.push_back({"input " + std::to_string(i + 1) + " range", RangeShown(module[i], IngraRangeText),
                    RangeShown(file.IngraCodes[i], IngraRangeText)});
  return Marked(std::move(rows), CompareProfile(module, file));
}

std::vector<TProfileRow> ProfileRows(const TOutraSettings& module, const TProfile& file) {
  std::vector<TProfileRow> rows;
  const int codes[2] = {module.Code1, module.Code2};
  for (size_t i = 0; i < 2; ++i)
    rows.push_back({"output " + std::to_string(i + 1) + " range", RangeShown(codes[i], OutraRangeText),
                    RangeShown(file.Codes[i], OutraRangeText)});
  for (size_t i = 0; i < 2; ++i)
    rows.push_back({"watchdog " + std::to_string(i + 1) + " timeout", TimeoutShown(module.WatchDogs[i].Timeout),
                    TimeoutShown(file.Timeouts[i])});
  // Both values in output 1's range, as loading shows them and a profile keeps them.
  for (size_t i = 0; i < 2; ++i)
    rows.push_back({"watchdog " + std::to_string(i + 1) + " value", ValueShown(module.WatchDogs[i].Value, codes[0]),
                    ValueShown(OutraRawToValue(file.Raws[i], file.Codes[0]), file.Codes[0])});
  return Marked(std::move(rows), CompareProfile(module, file));
}

TProfileTable CompareModule(korvan::IIngra& device, const TProfile& file) {
  const TIngraLoadResult loaded = LoadIngra(device);
  if (!loaded.Ok) return {false, loaded.Message, {}};
  return {true, loaded.Message, ProfileRows(loaded.Codes, file)};
}

TProfileTable CompareModule(korvan::IOutra& device, const TProfile& file) {
  const TOutraLoadResult loaded = LoadOutra(device);
  if (!loaded.Ok) return {false, loaded.Message, {}};
  return {true, loaded.Message, ProfileRows(loaded.Settings, file)};
}

TProfileText LoadProfileText(korvan::IIngra& device) {
  const TIngraLoadResult loaded = LoadIngra(device);
  nlohmann::ordered_json profile;
  if (loaded.Ok) AddIngraProfile(profile, loaded.Codes, loaded.List);
  return Text(loaded.Ok, loaded.Message, profile);
}

TProfileText LoadProfileText(korvan::IOutra& device) {
  const TOutraLoadResult loaded = LoadOutra(device);
  nlohmann::ordered_json profile;
  if (loaded.Ok) AddOutraProfile(profile, loaded.Settings);
  return Text(loaded.Ok, loaded.Message, profile);
}

}  // namespace duomat
