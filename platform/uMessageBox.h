#pragma once
// How the library shows a diagnostic to the operator, and the handler a program installs for it.
#include <functional>
#include <string>

namespace korvan {

// Diagnostics that the library shows to the operator ("SIG stack overload").
// By default the text goes to standard error; a program with a user interface
// installs a handler that shows it there. The handler must not block the
// calling thread on the user: it may be a receive thread.
using TLibraryMessageHandler = std::function<void(const std::string& text)>;

// Installs the handler (an empty one restores the default) and returns the previous one.
TLibraryMessageHandler SetLibraryMessageHandler(TLibraryMessageHandler handler);

// Shows one diagnostic through the installed handler; never throws.
void ShowLibraryMessage(const std::string& text);

}  // namespace korvan
