#pragma once
// Shows the library's diagnostics on the user-interface thread, without holding up a receive thread.
#include <functional>
#include <string>

class QObject;

namespace duomat {

// Shows the library's diagnostics ("SIG stack overload") on the thread of
// `uiObject`: directly when raised there, queued from any other thread, so
// a receive thread never waits for the operator.
void InstallLibraryMessageHook(QObject* uiObject, std::function<void(const std::string& text)> show);
// Back to standard error; before `uiObject` goes.
void RemoveLibraryMessageHook();

}  // namespace duomat
