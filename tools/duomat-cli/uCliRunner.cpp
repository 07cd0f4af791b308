#include "tools/duomat-cli/uCliRunner.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/translations/uTextCatalog.h"
#include "comm/uci_ICommunicationInterfaceDataSpy.h"
#include "core/uLibraryStart.h"
#include "core/uText.h"
#include "tools/duomat-cli/uCliCommands.h"
#include "tools/duomat-cli/uCliInterrupt.h"
#include "tools/duomat-cli/uCliOutput.h"

namespace duomat::cli {

namespace {
constexpr int kExitFailed = 1;

bool g_colour = false;

void LogTraffic(korvan::ci::ICommunicationInterface* sender, const std::string& data, uint8_t direction) {
  if (data.empty()) return;  // a read that found nothing
  const bool sent = direction == korvan::ci::SpyDirectionSent;
  const std::string line = LogLine(data, sent, LineName(sender));
  if (g_colour)
    std::fprintf(stderr, "%s%s\033[0m\n", sent ? "\033[33m" : "\033[36m", line.c_str());
  else
    std::fprintf(stderr, "%s\n", line.c_str());
}

// The data spy while a command runs, when --log asks for it.
class TTrafficLog {
 public:
  explicit TTrafficLog(bool on) : on_(on) {
    if (!on_) return;
    g_colour = isatty(STDERR_FILENO) != 0;
    korvan::ci::SetDataSpyHandler(korvan::ci::TDataSpyHandler::Bind<&LogTraffic>());
  }
  ~TTrafficLog() {
    if (on_) korvan::ci::SetDataSpyHandler(korvan::ci::TDataSpyHandler());
  }
  TTrafficLog(const TTrafficLog&) = delete;
  TTrafficLog& operator=(const TTrafficLog&) = delete;

 private:
  bool on_;
};

// An apply's result always says whether the module changed, so that a script can rely on the key.
nlohmann::ordered_json UsageValues(const TCommand& command) {
  const std::string path = command.Path;
  if (path.size() > 6 && path.compare(path.size() - 6, 6, " apply") == 0) return {{"changed", false}};
  return nlohmann::ordered_json::object();
}

std::string CannotStart(const char* why) {
  return Tr(
      DUOMAT_TR_EN("duomat-cli", "cannot start: the system gave no thread or descriptor (%1)"),
      why);
}

int RunCommand(const TCommand& command, const TCliOptions& o) {
  try {
    return command.Run(o);
  } catch (const TCliUsage& e) {
    return PrintUsageError(e.what(), o.Json, UsageValues(command));
  } catch (...) {
    return ReportCommandError(o.Json);
  }
}
}  // namespace

int RunCommandLine(int argc, const char* const* argv) {
  // The language first, before any thread and before the parser speaks.
  InstallCoreCatalog(CliLanguage(argc, argv));
  TCliOptions o;
  int status = 2;
  const TCommand* command = nullptr;
  try {
    TCliParser parser(o);
    command = parser.Parse(argc, argv, status);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "duomat-cli: %s\n", e.what());
    return 2;
  }
  if (command == nullptr) return status;
  try {
    CheckSharedOptions(*command, o);
  } catch (const TCliUsage& e) {
    if (o.Connection.empty() && command->NeedsLine) {
      std::fprintf(stderr, "duomat-cli: %s\n%s\n", e.what(), RunWithHelp().c_str());
      return 2;
    }
    return PrintUsageError(e.what(), o.Json, UsageValues(*command));
  }

  const std::string target = WriteTarget(*command, o);
  TInterruptPolicy signals({target, !command->Many, !command->Many});
  if (!command->Logs) {
    // Without the library: what fails here is the system refusing a thread or descriptor.
    try {
      return TInterruptPolicy::ExitStatus(command->Run(o));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "duomat-cli: %s\n", CannotStart(e.what()).c_str());
      return kExitFailed;
    }
  }
  try {
    std::vector<std::string> arguments(argv, argv + argc);
    if (!duomat::StartLibrary(arguments))
      throw std::runtime_error(Tr(DUOMAT_TR_EN("duomat-cli", "the library did not start")));
  } catch (const std::exception& e) {
    duomat::StopLibrary();
    std::fprintf(stderr, "duomat-cli: %s\n", CannotStart(e.what()).c_str());
    return kExitFailed;
  }
  int rc = kExitFailed;
  {
    TTrafficLog log(o.Log);
    rc = RunCommand(*command, o);
  }
  duomat::StopLibrary();
  return TInterruptPolicy::ExitStatus(rc);
}

}  // namespace duomat::cli
