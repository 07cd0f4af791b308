#pragma once
// What duomat-cli prints: results as text or JSON, text from the line made safe, logged frames.
#include <nlohmann/json.hpp>

#include <string>

#include "core/uInputRules.h"
#include "core/uOutcome.h"

namespace duomat::cli {

// A usage error of a command: exit 2, nothing sent.
using TCliUsage = TInputError;

// Text: the message (standard output on success, standard error on failure),
// then the values one key=value per line. JSON: exactly one object on
// standard output.
void Print(const TOutcome& outcome, bool json);

// Text from the line made safe for a terminal: control characters (C0, DEL,
// C1) and bytes that are not UTF-8 become escapes (\x1b, \r, \0, \u009b, \xff),
// and a backslash is doubled, so the result always reads back unambiguously.
std::string Printable(const std::string& text);

// Text: the message (standard output when ok, else standard error), then
// key=value lines, every text escaped for the terminal and an address key in
// hex. JSON: one object {"ok", "message", values...} on standard output.
void PrintResult(bool ok, const std::string& message, const nlohmann::ordered_json& values, bool json);

// {"reason": …} when OpenFailureReason knows why the line did not open, else {}.
nlohmann::ordered_json OpenFailureValues(const std::string& connection);

// Called in a catch block: prints the exception in flight (a TCliUsage as a
// usage error) and returns its exit status, 2 for usage, else 1.
int ReportCommandError(bool json);

// One JSON object, text from the line that is not UTF-8 replaced, not thrown at.
std::string JsonLine(const nlohmann::ordered_json& j);

// The log line of one spied frame: "[yyyy-MM-dd hh:mm:ss] => 2A 61 …".
std::string LogLine(const std::string& data, bool sent);

}  // namespace duomat::cli
