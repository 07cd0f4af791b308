#pragma once
#include <string>
#include <vector>

namespace korvan {

// The library's process-wide modules, set up explicitly in this order: the
// provider registry, the transports' factories, the object destroyer, the device list, then the DST
// switch of the program's arguments. The program's start-up code and the
// test fixtures call it; a second call does nothing. Nothing is thrown: false
// says a part did not start (no thread for the object destroyer, say); what
// did start works, and lines that need what is missing fail to open.
bool InitializeModules(const std::vector<std::string>& arguments = {});
// The reverse: removes the providers and stops the object destroyer.
void FinalizeModules();

}  // namespace korvan
