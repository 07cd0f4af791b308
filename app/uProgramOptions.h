#pragma once
// The duomat program's command line: its own switches, their parser and the help text.
#include <optional>
#include <string>
#include <vector>

#include "core/uUiLanguage.h"

namespace duomat {

// The program's own switches. Anything else (Qt's options, DST) is left to
// those who look for it.
struct TProgramOptions {
  bool Help = false;
  bool Version = false;
  std::string Ingra;  // preset connection strings; empty when not given
  std::string Outra;
  std::optional<TUiLanguage> Language;  // --lang; none: the desktop's
  std::string Error;  // a switch without its value, or with one it does not take
};

TProgramOptions ParseProgramOptions(const std::vector<std::string>& arguments);

const char* ProgramHelpText();

}  // namespace duomat
