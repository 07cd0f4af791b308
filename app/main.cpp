// duomat: the main window for configuring the Ingra and Outra modules.
#include <QIcon>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/uApplication.h"
#include "app/uDataSpyChain.h"
#include "app/uGuard.h"
#include "app/uLibraryMessageHook.h"
#include "app/uMessageBoxSink.h"
#include "app/uProgramOptions.h"
#include "app/uQtTranslation.h"
#include "app/uSignalCloser.h"
#include "app/uStartupChecks.h"
#include "app/ufCILog.h"
#include "app/ufConnectionDialog.h"
#include "app/ufMain.h"
#include "core/uLibraryStart.h"
#include "core/uWindowMemory.h"
#include "platform/uTerminalForwarder.h"

using namespace duomat;

namespace {
// The real dialog behind the main window's seam.
class TConnectionDialogSeam : public IConnectionDialog {
 public:
  explicit TConnectionDialogSeam(TfConnectionDialog& dialog) : dialog_(dialog) {}
  bool Execute(std::string& connectionString) override { return dialog_.Execute(connectionString); }
  bool ExecuteWithAddress(std::string& connectionString, int& address) override {
    return dialog_.Execute(connectionString, address);
  }

 private:
  TfConnectionDialog& dialog_;
};
}  // namespace

int main(int argc, char** argv) {
  // DST and the program's own switches are looked for in the arguments as
  // given, before Qt takes its own options out.
  const std::vector<std::string> arguments(argv, argv + argc);
  const TProgramOptions options = ParseProgramOptions(arguments);
  if (!options.Error.empty()) {
    std::fprintf(stderr, "duomat: %s\nTry 'duomat --help'.\n", options.Error.c_str());
    return 2;
  }
  if (options.Help) {
    std::fputs(ProgramHelpText(), stdout);
    return 0;
  }
  if (options.Version) {
    std::printf("duomat %s\n", DUOMAT_VERSION);
    return 0;
  }

  if (const std::string missing = MissingDisplay(arguments); !missing.empty()) {
    std::fprintf(stderr, "duomat: %s\n", missing.c_str());
    return 1;
  }

  if (!duomat::StartLibrary(arguments)) {
    duomat::StopLibrary();
    std::fprintf(stderr, "duomat: cannot start: the system gave no thread or descriptor\n");
    return 1;
  }
  int rc = 1;
  {
    ExitOnQtFatal();
    TApplication app(argc, argv);
    DisarmQtFatal();
    TApplication::setApplicationName("duomat");
    // No display name: Qt would append it to every caption ("Confirm — Duomat").
    TApplication::setApplicationVersion(DUOMAT_VERSION);
    TApplication::setDesktopFileName("cz.duomat.Duomat");  // the menu entry, for the window's icon
    TApplication::setWindowIcon(QIcon::fromTheme("duomat"));
    InstallUiLanguage(app, options.Language.value_or(DesktopUiLanguage()));

    auto fMain = std::make_unique<TfMain>();
    auto fConnectionDialog = std::make_unique<TfConnectionDialog>();
    TConnectionDialogSeam dialogSeam(*fConnectionDialog);
    // DST's forwarder, if any, keeps its traffic when the log window takes the spy.
    const korvan::ci::TDataSpyHandler forwarder = korvan::ci::GetDataSpyHandler();
    auto fCiLog = std::make_unique<TfCiLog>();
    if (forwarder) ChainDataSpyHandler(forwarder);
    fMain->SetConnectionDialog(&dialogSeam);
    fMain->SetShowLog([log = fCiLog.get()](const std::string& guid) { log->ShowLog(guid); });
    // The kept connections first: a preset on the command line wins over them.
    fMain->SetMemoryFile(WindowMemoryPath());
    const std::string refused = PresetConnections(*fMain, options);

    InstallLibraryMessageHook(&app, [window = fMain.get()](const std::string& text) {
      TMessageBoxSink sink(window);
      RunGuarded(sink, [&] { sink.ShowMessage(text); });
    });
    TSignalCloser closer(fMain.get());
    // The log window may still be open: closing the main window ends the program.
    QObject::connect(fMain.get(), &TfMain::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    fMain->show();
    if (!refused.empty())
      QTimer::singleShot(0, fMain.get(), [&] { TMessageBoxSink(fMain.get()).ShowMessage(refused); });
    rc = app.exec();

    // Both records disconnect first, so that no receive thread can still reach
    // the log window's spy handler; then the windows go.
    fMain->FormDestroy();
    RemoveLibraryMessageHook();
    UnchainDataSpyHandler();
    fCiLog.reset();
    fConnectionDialog.reset();
    fMain.reset();
  }
  duomat::StopLibrary();
  if (const uint64_t dropped = korvan::TerminalDroppedCount())
    std::fprintf(stderr, "duomat: %llu frames were not forwarded: the terminal did not keep up\n",
                 static_cast<unsigned long long>(dropped));
  return rc;
}
