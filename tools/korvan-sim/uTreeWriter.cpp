#include "tools/korvan-sim/uTreeWriter.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace korvan::sim {

namespace {
std::vector<std::string> Names(const std::string& path) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t slash = path.find('/', start);
    const std::string name = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (!name.empty() && name != ".") names.push_back(name);
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return names;
}

bool IsLink(int dirFd, const std::string& name) {
  struct stat st{};
  return fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}
}  // namespace

TTreeWriter::TTreeWriter(const std::string& root) : root_(root) {
  // The root itself is the caller's choice; only what lies below it is guarded.
  std::error_code ignored;
  std::filesystem::create_directories(root, ignored);
  rootFd_ = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (rootFd_ < 0) throw std::runtime_error("cannot open " + root + ": " + std::strerror(errno));
}

TTreeWriter::~TTreeWriter() { ::close(rootFd_); }

void TTreeWriter::Fail(const std::string& path, int error) {
  if (error == ELOOP)
    throw std::runtime_error("refusing to write through a symbolic link in " + root_ + "/" + path);
  throw std::runtime_error("cannot create " + root_ + "/" + path + ": " + std::strerror(error));
}

int TTreeWriter::OpenDir(const std::vector<std::string>& names, size_t count, bool create) {
  int fd = ::dup(rootFd_);
  std::string walked;
  for (size_t i = 0; i < count && fd >= 0; ++i) {
    const std::string& name = names[i];
    walked += (walked.empty() ? "" : "/") + name;
    if (create && ::mkdirat(fd, name.c_str(), 0755) == 0) made_.push_back(walked);
    const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int error = next < 0 && IsLink(fd, name) ? ELOOP : errno;
    ::close(fd);
    fd = next;
    errno = error;
  }
  return fd;
}

int TTreeWriter::OpenParent(const std::string& path, bool create, std::string& leaf) {
  const std::vector<std::string> names = Names(path);
  if (names.empty()) {
    errno = EINVAL;
    return -1;
  }
  leaf = names.back();
  return OpenDir(names, names.size() - 1, create);
}

void TTreeWriter::MakeDirs(const std::string& path) {
  const std::vector<std::string> names = Names(path);
  const int fd = OpenDir(names, names.size(), true);
  if (fd < 0) Fail(path, errno);
  ::close(fd);
}

void TTreeWriter::WriteFile(const std::string& path, const std::string& content) {
  std::string leaf;
  const int parent = OpenParent(path, true, leaf);
  if (parent < 0) Fail(path, errno);
  const int fd = ::openat(parent, leaf.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  const int error = fd < 0 && IsLink(parent, leaf) ? ELOOP : errno;
  ::close(parent);
  if (fd < 0) Fail(path, error);
  made_.push_back(path);
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int e = errno;
      ::close(fd);
      Fail(path, e);
    }
    done += static_cast<size_t>(n);
  }
  ::close(fd);
}

void TTreeWriter::MakeLink(const std::string& target, const std::string& path) {
  std::string leaf;
  const int parent = OpenParent(path, true, leaf);
  if (parent < 0) Fail(path, errno);
  const int result = ::symlinkat(target.c_str(), parent, leaf.c_str());
  const int error = errno;
  ::close(parent);
  if (result != 0) Fail(path, error);
  made_.push_back(path);
}

void TTreeWriter::Remove(const std::string& path) {
  std::string leaf;
  const int parent = OpenParent(path, false, leaf);
  if (parent < 0) return;
  // unlinkat never follows the last name; a folder goes only when empty.
  if (::unlinkat(parent, leaf.c_str(), 0) != 0 && (errno == EISDIR || errno == EPERM))
    ::unlinkat(parent, leaf.c_str(), AT_REMOVEDIR);
  ::close(parent);
}

void TTreeWriter::RemoveMade() {
  for (auto it = made_.rbegin(); it != made_.rend(); ++it) Remove(*it);
  made_.clear();
}

}  // namespace korvan::sim
