#pragma once
#include <string>

namespace korvan::sim {

// One attribute file of a simulated device tree, written whole; throws
// std::runtime_error when it cannot be.
void WriteSysfsFile(const std::string& path, const std::string& content);

}  // namespace korvan::sim
