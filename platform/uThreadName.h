#pragma once
// Thread labels for debuggers and ps.
#include <string>

namespace korvan {

// Labels the calling thread for debuggers and ps; the kernel keeps 15 characters.
void NameThread(const std::string& name);

// The calling thread's label as the kernel holds it.
std::string CurrentThreadName();

}  // namespace korvan
