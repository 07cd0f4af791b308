#pragma once
#include <string>

namespace korvan::test {

// A temporary folder for fake converters: DIR/sys as DUOMAT_SYSFS_ROOT,
// DIR/dev as DUOMAT_DEV_DIR, and the given D2XX library (none by default)
// loaded into the access layer. Undone on destruction.
class TFtdiDir {
 public:
  explicit TFtdiDir(const std::string& library = std::string());
  ~TFtdiDir();
  TFtdiDir(const TFtdiDir&) = delete;
  TFtdiDir& operator=(const TFtdiDir&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace korvan::test
