#include "tools/korvan-sim/uSysfsFile.h"

#include <fstream>
#include <stdexcept>

namespace korvan::sim {

void WriteSysfsFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace korvan::sim
