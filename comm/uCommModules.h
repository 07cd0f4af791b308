#pragma once
// Start-up and shut-down of the communication framework's process-wide parts.
#include <string>
#include <vector>

namespace korvan {

// The wrapper's provider names, the object destroyer, then the DST switch of
// the program's arguments. A second call does nothing. Nothing is thrown:
// false says a part did not start (no thread for the object destroyer, say).
bool InitializeCommModules(const std::vector<std::string>& arguments = {});
// The reverse: removes the provider names and stops the object destroyer.
void FinalizeCommModules();

}  // namespace korvan
