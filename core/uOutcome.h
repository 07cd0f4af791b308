#pragma once
// What one module action produced: success, the operator's message and the values behind it.
#include <nlohmann/json.hpp>

#include <string>

namespace duomat {

// The values keep their order, so that a program prints them as they were added.
struct TOutcome {
  bool Ok = false;
  std::string Message;
  nlohmann::ordered_json Values = nlohmann::ordered_json::object();
};

inline TOutcome Failure(std::string message) { return TOutcome{false, std::move(message), {}}; }

}  // namespace duomat
