#include "comm/uException.h"

#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <memory>

namespace korvan {

void ContractBreach(const char* what) {
  std::fprintf(stderr, "contract breach: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

std::string ClassNameOf(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                    std::free);
  std::string name = (status == 0 && demangled) ? demangled.get() : type.name();
  // Drop every template argument list (a class nested in a template keeps its
  // own name), then the namespaces and enclosing classes.
  std::string plain;
  int depth = 0;
  for (const char c : name) {
    if (c == '<') {
      ++depth;
    } else if (c == '>') {
      if (depth > 0) --depth;
    } else if (depth == 0) {
      plain += c;
    }
  }
  if (const auto colon = plain.rfind("::"); colon != std::string::npos) plain.erase(0, colon + 2);
  return plain;
}

}  // namespace korvan
