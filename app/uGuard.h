#pragma once
// Running a window handler so that an escaping exception is shown and the program carries on.
#include <string>

#include "app/uiMessageSink.h"

namespace duomat {

// The text of the exception being handled; call it inside a catch block.
std::string EscapedExceptionText();

// Runs a window handler. An exception that escapes it is shown, as a desktop
// toolkit's default handler does, and the program carries on.
template <class F>
void RunGuarded(IMessageSink& sink, F&& handler) noexcept {
  try {
    handler();
  } catch (...) {
    try {
      sink.ShowMessage(EscapedExceptionText());
    } catch (...) {
    }
  }
}

}  // namespace duomat
