#pragma once
// The system's exception base, the class name of a type, and the fatal contract breach.
#include <stdexcept>
#include <string>
#include <typeinfo>

namespace korvan {

// The unqualified class name of a type ("TKorvanStack" for korvan::TKorvanStack).
std::string ClassNameOf(const std::type_info& type);

// A breach of a contract that no caller can recover from (a thread object
// destroyed by its own thread): the text goes to standard error and the
// process ends, in every build.
[[noreturn]] void ContractBreach(const char* what);

// Base of every exception the system names; reports carry its class name.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string ClassName() const { return ClassNameOf(typeid(*this)); }
};

}  // namespace korvan
