#include "core/uProfile.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "core/uText.h"

namespace duomat {

using json = nlohmann::json;
using ojson = nlohmann::ordered_json;

namespace {
// Deeper than any profile or inventory needs; refused before a value that deep exists.
constexpr int kMaxDepth = 16;

void CheckKeys(const json& j, std::initializer_list<const char*> known, const char* what) {
  for (const auto& [key, value] : j.items()) {
    bool found = false;
    for (const char* k : known) found = found || key == k;
    if (found) continue;
    std::string list;
    for (const char* k : known) list += (list.empty() ? "" : ", ") + std::string(k);
    throw TProfileError(
        Tr(DUOMAT_TR_EN("Profile", "%1 is not a key of %2 (%3)"), json(key).dump(), what, list));
  }
}

// Reads up to one byte more than the bound, so that a larger input is seen.
std::string ReadBounded(int fd, size_t bound) {
  std::string text(bound + 1, '\0');
  size_t have = 0;
  while (have < text.size()) {
    const ssize_t n = read(fd, text.data() + have, text.size() - have);
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw TProfileError(Tr(DUOMAT_TR_EN("Profile", "cannot be read")));
    have += static_cast<size_t>(n);
  }
  text.resize(have);
  return text;
}
}  // namespace


const char* ModuleName(TModuleKind kind) { return kind == TModuleKind::Ingra ? "ingra" : "outra"; }

namespace {

// A field's problem: the message's template names FIELD as %1, then ARGS.
template <class... A>
[[noreturn]] void Bad(const std::string& field, const char* context, const char* source,
                      const A&... args) {
  throw TProfileError(Tr(context, source, field, args...));
}

int IntegerField(const json& v, const std::string& field, int lo, int hi) {
  if (!v.is_number_integer() || v.get<long long>() < lo || v.get<long long>() > hi)
    Bad(field, DUOMAT_TR_EN("Profile", "%1 must be a whole number from %2 to %3: %4"), lo, hi,
        v.dump());
  return static_cast<int>(v.get<long long>());
}

// A number as %g writes it.
std::string G(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::string Fixed2(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", v);
  return text;
}

// The code's text, or the code itself when it has none.
ojson RangeOf(int code, std::string (*text)(int)) {
  const std::string t = text(code);
  return t.empty() ? ojson(code) : ojson(t);
}

std::string Shown(const ojson& v) { return v.is_string() ? v.get<std::string>() : v.dump(); }

void ParseIngra(const json& j, TProfile& p) {
  const auto codes = j.find("codes");
  const auto range = j.find("range");
  const bool hasRange = range != j.end() && !range->is_null();
  if (codes == j.end() && !hasRange)
    Bad("codes", DUOMAT_TR_EN("Profile", "%1 is missing (four range codes, or a range)"));
  if (codes != j.end()) {
    if (!codes->is_array() || codes->size() != 4)
      Bad("codes", DUOMAT_TR_EN("Profile", "%1 must be a list of four range codes: %2"),
          codes->dump());
    for (size_t i = 0; i < 4; ++i)
      p.IngraCodes[i] = static_cast<uint8_t>(IntegerField((*codes)[i], "codes[" + std::to_string(i) + "]", 0, 2));
    for (size_t i = 1; i < 4; ++i)
      if ((p.IngraCodes[i] == 0) != (p.IngraCodes[0] == 0))
        Bad("codes", DUOMAT_TR_EN("Profile",
                                  "%1 mixes the voltage range (0) with current ranges (1, 2): a "
                                  "module is one kind or the other"));
  }
  if (hasRange) {
    const int code = range->is_string() ? IngraRangeCode(range->get<std::string>()) : -1;
    if (code < 0)
      Bad("range",
          DUOMAT_TR_EN("Profile", "%1 must be \"0 - 10 V\", \"4 - 20 mA\" or \"0 - 20 mA\": %2"),
          range->dump());
    if (codes == j.end())
      p.IngraCodes.fill(static_cast<uint8_t>(code));
    else if (code != p.IngraCodes[0])
      Bad("range", DUOMAT_TR_EN("Profile", "%1 %2 disagrees with codes[0] %3"), range->dump(),
          p.IngraCodes[0]);
  }
}

void ParseOutra(const json& j, TProfile& p) {
  const auto codes = j.find("codes");
  const auto range = j.find("range");
  const bool hasRange = range != j.end() && !range->is_null();
  if (codes == j.end() && !hasRange)
    Bad("codes", DUOMAT_TR_EN("Profile", "%1 is missing (two range codes, or a range)"));
  if (codes != j.end()) {
    if (!codes->is_array() || codes->size() != 2)
      Bad("codes", DUOMAT_TR_EN("Profile", "%1 must be a list of two range codes: %2"),
          codes->dump());
    for (size_t i = 0; i < 2; ++i) p.Codes[i] = IntegerField((*codes)[i], "codes[" + std::to_string(i) + "]", 1, 7);
  }
  if (hasRange) {
    const int code = range->is_string() ? OutraRangeCode(range->get<std::string>()) : -1;
    if (code < 0)
      Bad("range",
          DUOMAT_TR_EN("Profile",
                       "%1 must be one of the range texts \"0 - 10 V\" … \"0 - 24 mA\": %2"),
          range->dump());
    if (codes == j.end())
      p.Codes = {code, code};
    else if (code != p.Codes[0])
      Bad("range", DUOMAT_TR_EN("Profile", "%1 %2 disagrees with codes[0] %3"), range->dump(),
          p.Codes[0]);
  }
  const auto watchdogs = j.find("watchdogs");
  if (watchdogs == j.end()) Bad("watchdogs", DUOMAT_TR_EN("Profile", "%1 is missing"));
  if (!watchdogs->is_array() || watchdogs->size() != 2)
    Bad("watchdogs", DUOMAT_TR_EN("Profile", "%1 must be a list of two watchdogs"));
  // Values are in output 1's range, as loading shows them.
  const TOutraLimits limits = OutraRangeLimits(p.Codes[0]);
  for (size_t i = 0; i < 2; ++i) {
    const json& w = (*watchdogs)[i];
    const std::string at = "watchdogs[" + std::to_string(i) + "]";
    if (!w.is_object()) Bad(at, DUOMAT_TR_EN("Profile", "%1 must be an object"));
    try {
      CheckKeys(w, {"enabled", "timeout", "value", "raw"},
                Tr(DUOMAT_TR_EN("Profile", "a watchdog")).c_str());
    } catch (const TProfileError& e) {
      throw TProfileError(at + ": " + e.what());
    }
    const auto enabled = w.find("enabled"), timeout = w.find("timeout"), value = w.find("value"), raw = w.find("raw");
    if (enabled != w.end() && !enabled->is_boolean())
      Bad(at + ".enabled", DUOMAT_TR_EN("Profile", "%1 must be true or false"));
    if (timeout == w.end() && (enabled == w.end() || enabled->get<bool>()))
      Bad(at + ".timeout", DUOMAT_TR_EN("Profile", "%1 is missing"));
    p.Timeouts[i] = timeout == w.end() ? 0 : IntegerField(*timeout, at + ".timeout", 0, korvan::OutraMaxWatchDogTimeout);
    if (enabled != w.end() && enabled->get<bool>() != (p.Timeouts[i] > 0))
      Bad(at + ".enabled", DUOMAT_TR_EN("Profile", "%1 disagrees with the time-out %2 (0 is off)"),
          p.Timeouts[i]);
    if (value == w.end() && raw == w.end())
      Bad(at + ".value", DUOMAT_TR_EN("Profile", "%1 is missing"));
    if (raw != w.end()) p.Raws[i] = IntegerField(*raw, at + ".raw", 0, OutraRawMax);
    if (value == w.end()) continue;
    if (!value->is_number() || !std::isfinite(value->get<double>()))
      Bad(at + ".value", DUOMAT_TR_EN("Profile", "%1 must be a number: %2"), value->dump());
    const double v = value->get<double>();
    if (v < limits.Minimum || v > limits.Maximum) {
      Bad(at + ".value",
          DUOMAT_TR_EN("Profile", "%1 must lie within the range %2, from %3 to %4: %5"),
          OutraRangeText(p.Codes[0]), G(limits.Minimum), G(limits.Maximum), G(v));
    }
    if (raw == w.end())
      p.Raws[i] = OutraValueToRaw(v, p.Codes[0]);
    else if (std::fabs(OutraRawToValue(p.Raws[i], p.Codes[0]) - v) >= 0.005)
      Bad(at + ".value", DUOMAT_TR_EN("Profile", "%1 %2 and raw %3 disagree (raw %3 is %4 in %5)"),
          Fixed2(v), p.Raws[i], Fixed2(OutraRawToValue(p.Raws[i], p.Codes[0])),
          OutraRangeText(p.Codes[0]));
  }
}

// ---- Comparing ---------------------------------------------------------------

// SETTING names it in JSON; SHOWN in the user's language.
TChange Change(std::string setting, const std::string& shown, ojson from, ojson to) {
  TChange c{std::move(setting), std::move(from), std::move(to), {}};
  c.Text = shown + ": " + Shown(c.From) + " -> " + Shown(c.To);
  return c;
}

std::vector<TChange> Compare(const korvan::TIngraRanges& module, const TProfile& p) {
  std::vector<TChange> changes;
  for (size_t i = 0; i < 4; ++i)
    if (module[i] != p.IngraCodes[i])
      changes.push_back(Change("input " + std::to_string(i + 1) + " range",
                               Tr(DUOMAT_TR_EN("Profile", "input %1 range"), i + 1),
                               RangeOf(module[i], IngraRangeText),
                               RangeOf(p.IngraCodes[i], IngraRangeText)));
  return changes;
}

std::vector<TChange> Compare(const TOutraSettings& module, const TProfile& p) {
  std::vector<TChange> changes;
  const int codes[2] = {module.Code1, module.Code2};
  for (size_t i = 0; i < 2; ++i)
    if (codes[i] != p.Codes[i])
      changes.push_back(Change("output " + std::to_string(i + 1) + " range",
                               Tr(DUOMAT_TR_EN("Profile", "output %1 range"), i + 1),
                               RangeOf(codes[i], OutraRangeText),
                               RangeOf(p.Codes[i], OutraRangeText)));
  for (size_t i = 0; i < 2; ++i)
    if (module.WatchDogs[i].Timeout != p.Timeouts[i])
      changes.push_back(Change("watchdog " + std::to_string(i + 1) + " timeout",
                               Tr(DUOMAT_TR_EN("Profile", "watchdog %1 timeout"), i + 1),
                               module.WatchDogs[i].Timeout, p.Timeouts[i]));
  for (size_t i = 0; i < 2; ++i) {
    const TOutraWatchDog& w = module.WatchDogs[i];
    if (w.Raw == p.Raws[i]) continue;
    const double to = OutraRawToValue(p.Raws[i], p.Codes[0]);
    const std::string shown = Tr(DUOMAT_TR_EN("Profile", "watchdog %1 value"), i + 1);
    TChange c = Change("watchdog " + std::to_string(i + 1) + " value", shown, w.Value, to);
    c.Text = Tr(DUOMAT_TR_EN("Profile", "%1: %2 -> %3 (raw %4 -> %5)"), shown, Fixed2(w.Value),
                Fixed2(to), w.Raw, p.Raws[i]);
    c.FromRaw = w.Raw;
    c.ToRaw = p.Raws[i];
    changes.push_back(std::move(c));
  }
  return changes;
}

bool Has(const std::vector<TChange>& changes, const std::string& prefix, const std::string& suffix) {
  for (const TChange& c : changes)
    if (c.Setting.rfind(prefix, 0) == 0 && c.Setting.size() >= suffix.size() &&
        c.Setting.compare(c.Setting.size() - suffix.size(), suffix.size(), suffix) == 0)
      return true;
  return false;
}

std::string Joined(const std::vector<TChange>& changes) {
  std::string s;
  for (const TChange& c : changes) s += (s.empty() ? "" : "; ") + c.Text;
  return s;
}

// "1 setting", "4 settings".
std::string SettingsCount(size_t n) {
  return n == 1 ? Tr(DUOMAT_TR_EN("Profile", "1 setting"))
                : Tr(DUOMAT_TR_EN("Profile", "%1 settings"), n);
}

// After the differences are known: what dry run and diff report.
TProfileResult Report(std::vector<TChange> changes, TProfileAction action) {
  TProfileResult r;
  r.Ok = true;
  r.Exit = changes.empty() ? 0 : 3;
  r.Changed = action == TProfileAction::DryRun && !changes.empty();
  const std::string n = SettingsCount(changes.size());
  if (action == TProfileAction::Diff)
    r.Message = changes.empty()
                    ? Tr(DUOMAT_TR_EN("Profile", "The module matches the profile."))
                    : Tr(DUOMAT_TR_EN("Profile", "The module differs from the profile in %1."), n);
  else
    r.Message = changes.empty()
                    ? Tr(DUOMAT_TR_EN("Profile",
                                      "The module matches the profile; nothing would be written."))
                    : Tr(DUOMAT_TR_EN("Profile", "%1 would be written; nothing was written."), n);
  r.Changes = std::move(changes);
  return r;
}

TProfileResult Failed(std::string message, std::vector<TChange> changes = {}, bool changed = false) {
  TProfileResult r;
  r.Message = std::move(message);
  r.Changes = std::move(changes);
  r.Changed = changed;
  return r;
}

// The read-back after writing.
template <class TLoad>
TProfileResult Verify(std::vector<TChange> written, TLoad load) {
  const auto [ok, left] = load();
  if (!ok)
    return Failed(
        Tr(DUOMAT_TR_EN("Profile", "The settings were written but could not be read back.")),
        std::move(written), true);
  if (!left.empty())
    return Failed(
        Tr(DUOMAT_TR_EN("Profile", "Read back, the module still differs from the profile: %1."),
           Joined(left)),
        std::move(written), true);
  TProfileResult r;
  r.Ok = r.Changed = r.Verified = true;
  r.Exit = 0;
  r.Message = Tr(DUOMAT_TR_EN("Profile", "%1 written; the module matches the profile."),
                 SettingsCount(written.size()));
  r.Changes = std::move(written);
  return r;
}

TProfileResult NothingToWrite() {
  TProfileResult r;
  r.Ok = r.Verified = true;
  r.Exit = 0;
  r.Message =
      Tr(DUOMAT_TR_EN("Profile", "The module already matches the profile; nothing was written."));
  return r;
}

}  // namespace

// ---- Reading and checking --------------------------------------------------

json ParseJsonText(const std::string& text) {
  // The JSON reader takes a NUL byte for the end: whatever followed would be ignored.
  if (text.find('\0') != std::string::npos)
    throw TProfileError(Tr(DUOMAT_TR_EN("Profile", "holds a NUL byte")));
  std::vector<std::set<std::string>> keys;  // of every object open at this point
  const auto check = [&](int depth, json::parse_event_t event, json& parsed) {
    switch (event) {
      case json::parse_event_t::object_start:
      case json::parse_event_t::array_start:
        if (depth >= kMaxDepth)
          throw TProfileError(
              Tr(DUOMAT_TR_EN("Profile", "is nested deeper than %1 levels"), kMaxDepth));
        if (event == json::parse_event_t::object_start) keys.emplace_back();
        break;
      case json::parse_event_t::key:
        if (!keys.empty() && !keys.back().insert(parsed.get<std::string>()).second)
          throw TProfileError(
              Tr(DUOMAT_TR_EN("Profile", "has the key %1 twice in one object"), parsed.dump()));
        break;
      case json::parse_event_t::object_end:
        if (!keys.empty()) keys.pop_back();
        break;
      default:
        break;
    }
    return true;
  };
  json j = json::parse(text, check, false);
  if (j.is_discarded()) throw TProfileError(Tr(DUOMAT_TR_EN("Profile", "is not JSON")));
  return j;
}

json ReadJsonFile(const std::string& path) {
  // Bounded, so that a device or a huge file cannot exhaust the program;
  // only a regular file, so that a FIFO cannot keep it waiting.
  constexpr size_t kMaxBytes = 1 << 20;
  std::string text;
  if (path == "-") {
    text = ReadBounded(STDIN_FILENO, kMaxBytes);
  } else {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw TProfileError(Tr(DUOMAT_TR_EN("Profile", "cannot be read")));
    struct stat st {};
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    try {
      if (!regular) throw TProfileError(Tr(DUOMAT_TR_EN("Profile", "is not a regular file")));
      text = ReadBounded(fd, kMaxBytes);
    } catch (...) {
      close(fd);
      throw;
    }
    close(fd);
  }
  if (text.size() > kMaxBytes)
    throw TProfileError(Tr(DUOMAT_TR_EN("Profile", "is larger than 1 MiB")));
  return ParseJsonText(text);
}

TProfile ParseProfile(const json& j, TModuleKind expected) {
  if (!j.is_object())
    throw TProfileError(Tr(DUOMAT_TR_EN("Profile", "the profile is not a JSON object")));
  const auto module = j.find("module");
  if (module == j.end())
    Bad("module", DUOMAT_TR_EN("Profile", "%1 is missing (\"ingra\" or \"outra\")"));
  if (!module->is_string() || (*module != "ingra" && *module != "outra"))
    Bad("module", DUOMAT_TR_EN("Profile", "%1 must be \"ingra\" or \"outra\": %2"), module->dump());
  if (*module != ModuleName(expected))
    Bad("module", DUOMAT_TR_EN("Profile", "%1 is %2, not %3"), module->get<std::string>(),
        ModuleName(expected));
  // "ok" and "message" too, so that what loading prints is a profile.
  if (expected == TModuleKind::Ingra)
    CheckKeys(j, {"module", "codes", "range", "ok", "message"},
              Tr(DUOMAT_TR_EN("Profile", "an Ingra profile")).c_str());
  else
    CheckKeys(j, {"module", "codes", "range", "watchdogs", "ok", "message"},
              Tr(DUOMAT_TR_EN("Profile", "an Outra profile")).c_str());
  TProfile p;
  p.Module = expected;
  if (expected == TModuleKind::Ingra)
    ParseIngra(j, p);
  else
    ParseOutra(j, p);
  return p;
}

std::vector<TChange> CompareProfile(const korvan::TIngraRanges& module, const TProfile& profile) {
  return Compare(module, profile);
}
std::vector<TChange> CompareProfile(const TOutraSettings& module, const TProfile& profile) {
  return Compare(module, profile);
}

// ---- Running ---------------------------------------------------------------

TProfileResult RunProfile(korvan::IIngra& device, const TProfile& p, TProfileAction action, const TCancel& cancelled) {
  const TIngraLoadResult loaded = LoadIngra(device);
  if (!loaded.Ok) return Failed(loaded.Message);
  std::vector<TChange> changes = Compare(loaded.Codes, p);
  // The window never turns a voltage module into a current one, or back:
  // what apply refuses, dry run and diff refuse alike.
  const int kind = loaded.Codes[0];
  if (!changes.empty() && kind > 2)
    return Failed(
        Tr(DUOMAT_TR_EN("Profile",
                        "The module reports the unknown range code %1; nothing was written."),
           kind));
  if (!changes.empty() && !IngraKindKept(kind, p.IngraCodes[0])) {
    TProfileResult r =
        Failed(p.IngraCodes[0] == 0
                   ? Tr(DUOMAT_TR_EN("Profile",
                                     "codes: the profile's voltage ranges cannot be written to a "
                                     "current module; nothing was written."))
                   : Tr(DUOMAT_TR_EN("Profile",
                                     "codes: the profile's current ranges cannot be written to a "
                                     "voltage module; nothing was written.")));
    r.Exit = 2;
    return r;
  }
  if (action != TProfileAction::Apply) return Report(std::move(changes), action);
  if (changes.empty()) return NothingToWrite();
  // Planned changes are not shown as if they had been made.
  if (cancelled())
    return Failed(Tr(DUOMAT_TR_EN("ModuleActions", "Interrupted before anything was written.")));
  if (!WriteIngraRanges(device, p.IngraCodes))
    return Failed(Tr(DUOMAT_TR_EN("Profile", "%1 Writing the ranges failed."),
                     Tr(msg::Context, msg::IngraSaveFailed)),
                  std::move(changes));
  return Verify(std::move(changes), [&] {
    const TIngraLoadResult again = LoadIngra(device);
    return std::make_pair(again.Ok, again.Ok ? Compare(again.Codes, p) : std::vector<TChange>{});
  });
}

TProfileResult RunProfile(korvan::IOutra& device, const TProfile& p, TProfileAction action, const TCancel& cancelled) {
  const TOutraLoadResult loaded = LoadOutra(device);
  if (!loaded.Ok) return Failed(loaded.Message);
  std::vector<TChange> changes = Compare(loaded.Settings, p);
  if (action != TProfileAction::Apply) return Report(std::move(changes), action);
  if (changes.empty()) return NothingToWrite();
  if (cancelled())
    return Failed(Tr(DUOMAT_TR_EN("ModuleActions", "Interrupted before anything was written.")));
  // The window's order: the ranges, then the time-outs, then the values;
  // here only the outputs that differ, and no retry.
  const TOutraSettings& m = loaded.Settings;
  const auto failed = [&](const std::string& what) {
    return Failed(
        Tr(DUOMAT_TR_EN("Profile", "%1 Writing the %2 failed; the module may be partly changed."),
           Tr(msg::Context, msg::OutraSaveFailed), what),
        changes, true);
  };
  if (Has(changes, "output", "range") && !device.SetRanges(static_cast<uint8_t>(p.Codes[0]), static_cast<uint8_t>(p.Codes[1])))
    return failed(Tr(DUOMAT_TR_EN("Profile", "ranges")));
  int t[2] = {-1, -1}, v[2] = {-1, -1};
  for (size_t i = 0; i < 2; ++i) {
    if (m.WatchDogs[i].Timeout != p.Timeouts[i]) t[i] = p.Timeouts[i];
    if (m.WatchDogs[i].Raw != p.Raws[i]) v[i] = p.Raws[i];
  }
  if ((t[0] >= 0 || t[1] >= 0) && !device.SetWatchDogTimeouts(t[0], t[1]))
    return failed(Tr(DUOMAT_TR_EN("Profile", "watchdog time-outs")));
  if (!device.SetWatchDogValues(v[0], v[1]))
    return failed(Tr(DUOMAT_TR_EN("Profile", "watchdog values")));
  return Verify(std::move(changes), [&] {
    const TOutraLoadResult again = LoadOutra(device);
    return std::make_pair(again.Ok, again.Ok ? Compare(again.Settings, p) : std::vector<TChange>{});
  });
}

void AddProfileResult(ojson& j, const TProfileResult& r, TProfileAction action) {
  ojson list = ojson::array();
  for (const TChange& c : r.Changes) {
    ojson item = {{"setting", c.Setting}, {"from", c.From}, {"to", c.To}};
    if (c.FromRaw >= 0) {
      item["from_raw"] = c.FromRaw;
      item["to_raw"] = c.ToRaw;
    }
    list.push_back(std::move(item));
  }
  if (action == TProfileAction::Diff) {
    j["matches"] = r.Ok && r.Changes.empty();
    j["differences"] = std::move(list);
    return;
  }
  j["changed"] = r.Changed;
  j["verified"] = r.Verified;
  if (action == TProfileAction::DryRun) j["dry_run"] = true;
  j["changes"] = std::move(list);
}

std::string OtherModuleMessage(const std::string& identification, TModuleKind expected) {
  std::string name = identification.substr(0, identification.find(';'));
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const bool ingra = name.find("ingra") != std::string::npos, outra = name.find("outra") != std::string::npos;
  if (ingra == outra || ingra == (expected == TModuleKind::Ingra)) return {};
  return expected == TModuleKind::Ingra
             ? Tr(DUOMAT_TR_EN("Profile", "The module on this line is Outra, not Ingra."))
             : Tr(DUOMAT_TR_EN("Profile", "The module on this line is Ingra, not Outra."));
}

void AddIngraProfile(ojson& values, const korvan::TIngraRanges& codes, const TIngraRangeList& list) {
  values["module"] = "ingra";  // so that the object is a profile
  values["codes"] = ojson::array({codes[0], codes[1], codes[2], codes[3]});
  const int code = list.SelectedCode();
  values["range"] = code < 0 ? ojson(nullptr) : ojson(IngraRangeText(code));
}

void AddOutraProfile(ojson& values, const TOutraSettings& s) {
  values["module"] = "outra";
  values["codes"] = ojson::array({s.Code1, s.Code2});
  const std::string range = OutraRangeText(s.Code1);
  values["range"] = range.empty() ? ojson(nullptr) : ojson(range);
  ojson watchdogs = ojson::array();
  for (const TOutraWatchDog& w : s.WatchDogs)
    watchdogs.push_back({{"enabled", w.Enabled}, {"timeout", w.Timeout}, {"value", w.Value}, {"raw", w.Raw}});
  values["watchdogs"] = watchdogs;
}

}  // namespace duomat
