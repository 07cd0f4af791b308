#pragma once
// Writes a simulated device tree safely below a folder others may write to as well.
#include <string>
#include <vector>

namespace korvan::sim {

// Writes a simulated device tree below a folder that other simulators (and
// anyone else) may also write to. Every name below the root is opened
// without following symbolic links and new files and links are created
// exclusively, so a link planted in the tree redirects neither a write nor a
// removal. Paths are relative to the root, with '/' between names.
class TTreeWriter {
 public:
  // Throws std::runtime_error when the root cannot be opened or made.
  explicit TTreeWriter(const std::string& root);
  ~TTreeWriter();
  TTreeWriter(const TTreeWriter&) = delete;
  TTreeWriter& operator=(const TTreeWriter&) = delete;

  // Each throws std::runtime_error with the path and the reason (a symbolic
  // link on the way, a name already taken).
  void MakeDirs(const std::string& path);
  void WriteFile(const std::string& path, const std::string& content);
  void MakeLink(const std::string& target, const std::string& path);

  // A file or link, or a folder when it is empty. Quietly nothing when it is
  // missing, still in use, or behind a symbolic link.
  void Remove(const std::string& path);
  // Removes what this writer made, newest first; shared folders only when empty.
  void RemoveMade();

 private:
  // The first `count` names opened as folders (made when missing with
  // `create`), or -1 with errno set (ELOOP for a link on the way).
  int OpenDir(const std::vector<std::string>& names, size_t count, bool create);
  // The open folder that holds the last name of `path`.
  int OpenParent(const std::string& path, bool create, std::string& leaf);
  [[noreturn]] void Fail(const std::string& path, int error);

  std::string root_;
  int rootFd_ = -1;
  std::vector<std::string> made_;  // in the order made
};

}  // namespace korvan::sim
