#include "core/uWindowMemory.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "core/uInputRules.h"

namespace duomat {

namespace {
constexpr std::streamsize MaxFileSize = 64 * 1024;  // the real file is a few hundred bytes

TRememberedGroup* GroupOf(TWindowMemory& memory, const std::string& name) {
  if (name == "ingra") return &memory.Ingra;
  if (name == "outra") return &memory.Outra;
  return nullptr;
}

bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    if (mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return false;
  return true;
}
}  // namespace

std::string WindowMemoryPath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return std::string(xdg) + "/duomat/window.conf";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.config/duomat/window.conf";
  return {};
}

TWindowMemory ParseWindowMemory(const std::string& text) {
  TWindowMemory memory;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t eq = line.find('='), dot = line.find('.');
    if (eq == std::string::npos || dot == std::string::npos || dot > eq) continue;
    TRememberedGroup* group = GroupOf(memory, line.substr(0, dot));
    if (!group) continue;
    const std::string key = line.substr(dot + 1, eq - dot - 1), value = line.substr(eq + 1);
    if (key == "connection") {
      group->Connection = value;
    } else if (key == "address") {
      try {
        group->Address = static_cast<int>(ParseNumber(value, "address", 0, LastModuleAddress));
      } catch (const TInputError&) {
        group->Address = -1;
      }
    }
  }
  return memory;
}

std::string WindowMemoryText(const TWindowMemory& memory) {
  std::string text;
  const auto add = [&text](const char* name, const TRememberedGroup& g) {
    // A line break would split the entry; such a string cannot be a connection anyway.
    if (!g.Connection.empty() && g.Connection.find_first_of("\r\n") == std::string::npos)
      text += std::string(name) + ".connection=" + g.Connection + "\n";
    if (g.Address >= 0 && g.Address <= LastModuleAddress) text += std::string(name) + ".address=" + AddressText(g.Address) + "\n";
  };
  add("ingra", memory.Ingra);
  add("outra", memory.Outra);
  return text;
}

TWindowMemory ReadWindowMemory(const std::string& path) {
  if (path.empty()) return {};
  std::ifstream file(path, std::ios::binary);
  if (!file) return {};
  std::string text(static_cast<size_t>(MaxFileSize) + 1, '\0');
  file.read(text.data(), MaxFileSize + 1);
  if (file.bad() || file.gcount() > MaxFileSize) return {};
  text.resize(static_cast<size_t>(file.gcount()));
  return ParseWindowMemory(text);
}

bool WriteWindowMemory(const std::string& path, const TWindowMemory& memory) {
  if (path.empty() || !MakeFolders(path)) return false;
  const std::string temporary = path + ".new";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file << WindowMemoryText(memory);
    file.flush();
    if (!file) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace duomat
