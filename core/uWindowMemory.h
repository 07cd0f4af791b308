#pragma once
// What the window keeps between starts: each group's connection string and module address.
#include <string>

namespace duomat {

struct TRememberedGroup {
  std::string Connection;  // empty: none kept
  int Address = -1;        // -1: none kept
};

struct TWindowMemory {
  TRememberedGroup Ingra, Outra;
};

// $XDG_CONFIG_HOME/duomat/window.conf (a relative XDG_CONFIG_HOME counts as
// unset), else ~/.config/duomat/window.conf; empty without either.
std::string WindowMemoryPath();

// "key=value" lines; whatever is missing or malformed is left out, never an error.
TWindowMemory ParseWindowMemory(const std::string& text);
std::string WindowMemoryText(const TWindowMemory& memory);

// A file that is missing, unreadable, too big or bad gives what it can, or nothing.
TWindowMemory ReadWindowMemory(const std::string& path);
// Creates the folder, writes a temporary file and renames it into place, so
// a crash never leaves half a file; false when any step failed.
bool WriteWindowMemory(const std::string& path, const TWindowMemory& memory);

}  // namespace duomat
