#include "tools/duomat-cli/uCliOutput.h"

#include <cstdio>
#include <exception>
#include <map>
#include <mutex>

#include "core/uModuleSettings.h"
#include "core/uOpenFailure.h"
#include "core/uText.h"

#include <ctime>

namespace duomat::cli {

namespace {
std::string Fixed2(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", v);
  return text;
}

// One value of a result as a key=value line shows it: text escaped for the
// terminal, a list space-separated, a yes/no for a flag, an address in hex.
std::string TextOf(const std::string& key, const nlohmann::ordered_json& v) {
  if (v.is_null()) return "";
  if (v.is_string()) return Printable(v.get<std::string>());
  if (v.is_boolean()) return v.get<bool>() ? "yes" : "no";
  if (v.is_number_integer() && key.find("address") != std::string::npos) return AddressText(v.get<int>());
  if (v.is_array()) {
    std::string s;
    for (const auto& item : v) s += (s.empty() ? "" : " ") + TextOf(key, item);
    return s;
  }
  return v.dump();
}
}  // namespace

void Print(const TOutcome& outcome, bool json) {
  // The settings messages are made in their Czech source and translated here.
  const std::string message = Tr(msg::Context, outcome.Message.c_str());
  if (json) {
    nlohmann::ordered_json o = {{"ok", outcome.Ok}, {"message", message}};
    for (const auto& [key, value] : outcome.Values.items()) o[key] = value;
    std::printf("%s\n", JsonLine(o).c_str());
    return;
  }
  // Text from the line (the identification) can hold terminal controls.
  // A failure's values (why it failed) go with its message.
  FILE* out = outcome.Ok ? stdout : stderr;
  std::fprintf(out, "%s\n", Printable(message).c_str());
  for (const auto& [key, value] : outcome.Values.items()) {
    if (key == "module") continue;  // the command line names it
    if (key == "watchdogs") {
      int n = 1;
      for (const auto& w : value) {
        const std::string i = std::to_string(n++);
        std::fprintf(out, "watchdog%s=%s\n", i.c_str(), w["enabled"].get<bool>() ? "on" : "off");
        std::fprintf(out, "timeout%s=%d\n", i.c_str(), w["timeout"].get<int>());
        std::fprintf(out, "value%s=%s\n", i.c_str(), Fixed2(w["value"].get<double>()).c_str());
        std::fprintf(out, "raw%s=%d\n", i.c_str(), w["raw"].get<int>());
      }
      continue;
    }
    std::fprintf(out, "%s=%s\n", key.c_str(), TextOf(key, value).c_str());
  }
}

std::string Printable(const std::string& text) {
  static const char* hex = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  for (size_t i = 0; i < text.size();) {
    const unsigned char b = byte(i);
    if (b == '\\') { out += "\\\\"; ++i; continue; }
    if (b >= 0x20 && b < 0x7f) { out += static_cast<char>(b); ++i; continue; }
    switch (b) {
      case 0: out += "\\0"; ++i; continue;
      case '\t': out += "\\t"; ++i; continue;
      case '\n': out += "\\n"; ++i; continue;
      case '\r': out += "\\r"; ++i; continue;
      default: break;
    }
    // A whole UTF-8 sequence stays as it is, but for the C1 controls.
    size_t len = b >= 0xf0 && b < 0xf5 ? 4 : b >= 0xe0 ? 3 : b >= 0xc2 && b < 0xe0 ? 2 : 0;
    if (b >= 0xf5) len = 0;
    bool valid = len > 0 && i + len <= text.size();
    for (size_t k = 1; valid && k < len; ++k) valid = (byte(i + k) & 0xc0) == 0x80;
    if (valid && len == 3 && ((b == 0xe0 && byte(i + 1) < 0xa0) || (b == 0xed && byte(i + 1) >= 0xa0))) valid = false;
    if (valid && len == 4 && ((b == 0xf0 && byte(i + 1) < 0x90) || (b == 0xf4 && byte(i + 1) >= 0x90))) valid = false;
    if (valid && len == 2 && b == 0xc2 && byte(i + 1) < 0xa0) {
      out += "\\u00";
      out += hex[byte(i + 1) >> 4];
      out += hex[byte(i + 1) & 15];
      i += 2;
      continue;
    }
    if (valid) {
      out.append(text, i, len);
      i += len;
      continue;
    }
    out += "\\x";
    out += hex[b >> 4];
    out += hex[b & 15];
    ++i;
  }
  return out;
}

std::string LogLine(const std::string& data, bool sent, const std::string& lineName) {
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  std::strftime(stamp, sizeof stamp, "[%Y-%m-%d %H:%M:%S]", &tm);
  static const char* hex = "0123456789ABCDEF";
  std::string line = std::string(stamp) + (lineName.empty() ? "" : " " + Printable(lineName)) + (sent ? " => " : " <= ");
  for (size_t i = 0; i < data.size(); ++i) {
    const auto b = static_cast<unsigned char>(data[i]);
    if (i) line += ' ';
    line += hex[b >> 4];
    line += hex[b & 15];
  }
  return line;
}

namespace {
std::mutex g_linesMutex;
std::map<const void*, std::string> g_lines;
}  // namespace

void NameLine(const void* line, const std::string& name) {
  std::lock_guard lock(g_linesMutex);
  g_lines[line] = name;
}

std::string LineName(const void* line) {
  std::lock_guard lock(g_linesMutex);
  const auto found = g_lines.find(line);
  return found == g_lines.end() ? std::string() : found->second;
}

std::string JsonLine(const nlohmann::ordered_json& j) {
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

nlohmann::ordered_json OpenFailureValues(const std::string& connection) {
  nlohmann::ordered_json values = nlohmann::ordered_json::object();
  if (const std::string reason = OpenFailureReason(connection); !reason.empty()) values["reason"] = reason;
  return values;
}

std::string RunWithHelp() {
  return Tr(DUOMAT_TR_EN("duomat-cli", "Run with --help for more information."));
}

int PrintUsageError(const std::string& message, bool json, const nlohmann::ordered_json& values) {
  if (json) {
    TOutcome failure = Failure(message);
    failure.Values = values;
    Print(failure, true);
  } else {
    std::fprintf(stderr, "duomat-cli: %s\n", Printable(message).c_str());
  }
  return 2;
}

int ReportCommandError(bool json) {
  try {
    throw;
  } catch (const TInputError& e) {
    return PrintUsageError(e.what(), json);
  } catch (const std::exception& e) {
    Print(Failure(e.what()), json);
  } catch (...) {
    Print(Failure(Tr(DUOMAT_TR_EN("duomat-cli", "unknown error"))), json);
  }
  return 1;
}

}  // namespace duomat::cli
