#pragma once
// What duomat-cli prints: results as text or JSON, text from the line made safe, logged frames.
#include <nlohmann/json.hpp>

#include <string>

#include "core/uInputRules.h"
#include "core/uOutcome.h"

namespace duomat::cli {

// The one way a result is printed. Text: the message (standard output on
// success, standard error on failure), then the values one key=value per
// line: text escaped for the terminal, lists space-separated, flags yes/no,
// an address key in hex, each watchdog in four lines, "module" left out.
// JSON: exactly one object {"ok", "message", values...} on standard output,
// text that is not UTF-8 replaced.
void Print(const TOutcome& outcome, bool json);

// The context of the command line's own texts.
inline constexpr const char* kCliContext = "duomat-cli";

// "Run with --help for more information." under a usage error.
std::string RunWithHelp();

// A usage error (nothing sent): "duomat-cli: MESSAGE" on standard error, or
// with --json the failure object with `values` added; returns 2.
int PrintUsageError(const std::string& message, bool json,
                    const nlohmann::ordered_json& values = nlohmann::ordered_json::object());

// Text from the line made safe for a terminal: control characters (C0, DEL,
// C1) and bytes that are not UTF-8 become escapes (\x1b, \r, \0, \u009b, \xff),
// and a backslash is doubled, so the result always reads back unambiguously.
std::string Printable(const std::string& text);

// {"reason": …} when OpenFailureReason knows why the line did not open, else {}.
nlohmann::ordered_json OpenFailureValues(const std::string& connection);

// Called in a catch block: prints the exception in flight (a TInputError as a
// usage error) and returns its exit status, 2 for usage, else 1.
int ReportCommandError(bool json);

// One JSON object, text from the line that is not UTF-8 replaced, not thrown at.
std::string JsonLine(const nlohmann::ordered_json& j);

// The log line of one spied frame: "[yyyy-MM-dd hh:mm:ss] => 2A 61 …", or
// with the line's name "[yyyy-MM-dd hh:mm:ss] NAME => 2A 61 …".
std::string LogLine(const std::string& data, bool sent, const std::string& line = "");

// Where several lines run at once (batch), each line's name by its
// interface, so that the log says which line a frame is on. Any thread.
void NameLine(const void* line, const std::string& name);
std::string LineName(const void* line);

}  // namespace duomat::cli
