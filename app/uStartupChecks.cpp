#include "app/uStartupChecks.h"

#include <QCoreApplication>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

#include "app/ufMain.h"
#include "transports/uConnectionStringCheck.h"

namespace duomat {

namespace {
bool Set(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

void FatalToExit(QtMsgType type, const QMessageLogContext&, const QString& text) {
  std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
  if (type != QtFatalMsg) return;
  std::fprintf(stderr, "duomat: the windows cannot be shown here; without a display, use duomat-cli\n");
  std::fflush(stderr);
  std::_Exit(1);
}
}  // namespace

std::string MissingDisplay(const std::vector<std::string>& arguments) {
  if (Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM")) return {};
  for (const std::string& a : arguments)
    if (a == "-platform" || a == "--platform" || a.rfind("-platform=", 0) == 0) return {};
  return "no display: DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are unset. Start duomat in a desktop "
         "session (or with -platform offscreen), or use duomat-cli, which needs none.";
}

void ExitOnQtFatal() { qInstallMessageHandler(&FatalToExit); }
void DisarmQtFatal() { qInstallMessageHandler(nullptr); }

std::string PresetConnections(TfMain& window, const TProgramOptions& options) {
  std::string refused;
  const auto preset = [&](const char* option, const std::string& connection, auto& record) {
    if (connection.empty()) return;
    const std::string problem = korvan::transport::CheckConnectionString(connection);
    if (problem.empty()) {
      record.SetConnectionString(connection);
      return;
    }
    std::fprintf(stderr, "duomat: %s: %s; not used\n", option, problem.c_str());
    refused += std::string(refused.empty() ? "" : "\n") + option + ": " + problem;
  };
  preset("--ingra", options.Ingra, window.IngraRec());
  preset("--outra", options.Outra, window.OutraRec());
  if (refused.empty()) return {};
  return QCoreApplication::translate("duomat::PresetConnections", "Připojovací řetězec z příkazové řádky nebyl použit:")
             .toStdString() +
         "\n" + refused;
}

}  // namespace duomat
