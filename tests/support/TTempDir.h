#pragma once
// A test's temporary folder.
#include <string>

namespace korvan::test {

// A new empty folder /tmp/PREFIX-XXXXXX, removed with all it holds when the
// object goes.
class TTempDir {
 public:
  explicit TTempDir(const std::string& prefix);
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace korvan::test
