#pragma once
// The sink interface for the main window's operator messages.
#include <string>

namespace duomat {

// Where the main window's operator messages go: a modal message box in the
// program, a list a test reads.
class IMessageSink {
 public:
  virtual ~IMessageSink() = default;
  virtual void ShowMessage(const std::string& text) = 0;
};

}  // namespace duomat
