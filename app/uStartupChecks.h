#pragma once
// What the program settles before its window opens: a display, Qt's fatal errors, preset connections.
#include <string>
#include <vector>

#include "app/uProgramOptions.h"

namespace duomat {

class TfMain;

// Why no window can open, or empty: without DISPLAY, WAYLAND_DISPLAY,
// QT_QPA_PLATFORM and a -platform option Qt would end in a fatal error and a
// core dump.
std::string MissingDisplay(const std::vector<std::string>& arguments);

// Until Disarm, a fatal error of Qt (a display that cannot be opened, a
// platform plugin that cannot be loaded) ends the program with its message
// and status 1 instead of an abort.
void ExitOnQtFatal();
void DisarmQtFatal();

// Presets the records' connection strings from --ingra and --outra. A string
// that breaks the strict rule is not used; the text for the operator says
// which and why (empty when all were used).
std::string PresetConnections(TfMain& window, const TProgramOptions& options);

}  // namespace duomat
