#include "tools/duomat-cli/uCliOutput.h"

#include <cstdio>
#include <ctime>

namespace duomat::cli {

namespace {
std::string Fixed2(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", v);
  return text;
}

std::string TextOf(const nlohmann::ordered_json& v) {
  if (v.is_null()) return "";
  if (v.is_string()) return v.get<std::string>();
  if (v.is_boolean()) return v.get<bool>() ? "on" : "off";
  if (v.is_array()) {
    std::string s;
    for (const auto& item : v) s += (s.empty() ? "" : " ") + TextOf(item);
    return s;
  }
  return v.dump();
}
}  // namespace

void AddIngra(TOutcome& outcome, const korvan::TIngraRanges& codes, const TIngraRangeList& list) {
  outcome.Values["codes"] = nlohmann::ordered_json::array({codes[0], codes[1], codes[2], codes[3]});
  const int code = list.SelectedCode();
  outcome.Values["range"] = code < 0 ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(IngraRangeText(code));
}

void AddOutra(TOutcome& outcome, const TOutraSettings& s) {
  outcome.Values["codes"] = nlohmann::ordered_json::array({s.Code1, s.Code2});
  const std::string range = OutraRangeText(s.Code1);
  outcome.Values["range"] = range.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(range);
  nlohmann::ordered_json watchdogs = nlohmann::ordered_json::array();
  for (const TOutraWatchDog& w : s.WatchDogs)
    watchdogs.push_back({{"enabled", w.Enabled}, {"timeout", w.Timeout}, {"value", w.Value}, {"raw", w.Raw}});
  outcome.Values["watchdogs"] = watchdogs;
}

void Print(const TOutcome& outcome, bool json) {
  if (json) {
    nlohmann::ordered_json o = {{"ok", outcome.Ok}, {"message", outcome.Message}};
    for (const auto& [key, value] : outcome.Values.items()) o[key] = value;
    std::printf("%s\n", o.dump().c_str());
    return;
  }
  std::fprintf(outcome.Ok ? stdout : stderr, "%s\n", outcome.Message.c_str());
  for (const auto& [key, value] : outcome.Values.items()) {
    if (key == "watchdogs") {
      int n = 1;
      for (const auto& w : value) {
        const std::string i = std::to_string(n++);
        std::printf("watchdog%s=%s\n", i.c_str(), w["enabled"].get<bool>() ? "on" : "off");
        std::printf("timeout%s=%d\n", i.c_str(), w["timeout"].get<int>());
        std::printf("value%s=%s\n", i.c_str(), Fixed2(w["value"].get<double>()).c_str());
        std::printf("raw%s=%d\n", i.c_str(), w["raw"].get<int>());
      }
      continue;
    }
    std::printf("%s=%s\n", key.c_str(), TextOf(value).c_str());
  }
}

std::string LogLine(const std::string& data, bool sent) {
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  std::strftime(stamp, sizeof stamp, "[%Y-%m-%d %H:%M:%S]", &tm);
  static const char* hex = "0123456789ABCDEF";
  std::string line = std::string(stamp) + (sent ? " => " : " <= ");
  for (size_t i = 0; i < data.size(); ++i) {
    const auto b = static_cast<unsigned char>(data[i]);
    if (i) line += ' ';
    line += hex[b >> 4];
    line += hex[b & 15];
  }
  return line;
}

}  // namespace duomat::cli
