#pragma once
#include <nlohmann/json.hpp>

#include <string>

#include "app/uModuleSettings.h"

namespace duomat::cli {

// What one action produced, printed as key=value lines or as one JSON object.
struct TOutcome {
  bool Ok = false;
  std::string Message;
  nlohmann::ordered_json Values = nlohmann::ordered_json::object();
};

// The settings as a profile: "module", then the module's own keys.
void AddIngra(TOutcome& outcome, const korvan::TIngraRanges& codes, const TIngraRangeList& list);
void AddOutra(TOutcome& outcome, const TOutraSettings& settings);

// Text: the message (standard output on success, standard error on failure),
// then the values one key=value per line. JSON: exactly one object on
// standard output.
void Print(const TOutcome& outcome, bool json);

// Text from the line made safe for a terminal: control characters (C0, DEL,
// C1) and bytes that are not UTF-8 become escapes (\x1b, \r, \0, \u009b, \xff),
// and a backslash is doubled, so the result always reads back unambiguously.
std::string Printable(const std::string& text);

// The log line of one spied frame: "[yyyy-MM-dd hh:mm:ss] => 2A 61 …".
std::string LogLine(const std::string& data, bool sent);

}  // namespace duomat::cli
