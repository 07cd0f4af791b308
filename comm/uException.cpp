#include "comm/uException.h"

#include <cstdlib>
#include <cxxabi.h>
#include <memory>

namespace korvan {

std::string ClassNameOf(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                    std::free);
  std::string name = (status == 0 && demangled) ? demangled.get() : type.name();
  // Drop template arguments, then the namespaces.
  if (const auto lt = name.find('<'); lt != std::string::npos) name.erase(lt);
  if (const auto colon = name.rfind("::"); colon != std::string::npos) name.erase(0, colon + 2);
  return name;
}

}  // namespace korvan
