#pragma once
// Start-up and shut-down of the device protocol with the framework below it.
#include <string>
#include <vector>

namespace korvan {

// The communication framework's modules (comm/uCommModules.h), then the
// process-wide device list. The transports are not registered here: the
// program's start-up (core/uLibraryStart.h) does that. A second call does
// nothing; nothing is thrown: false says a part did not start, and what did
// start works.
bool InitializeModules(const std::vector<std::string>& arguments = {});
// The reverse: removes the providers and stops the object destroyer.
void FinalizeModules();

}  // namespace korvan
