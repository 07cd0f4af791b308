#include "support/TTempDir.h"

#include <cstdlib>
#include <filesystem>

namespace korvan::test {

TTempDir::TTempDir(const std::string& prefix) {
  std::string pattern = "/tmp/" + prefix + "-XXXXXX";
  if (mkdtemp(pattern.data())) path_ = pattern;
}

TTempDir::~TTempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace korvan::test
