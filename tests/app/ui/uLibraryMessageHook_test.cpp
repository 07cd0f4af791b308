// The library's diagnostics reach the user-interface thread, queued when
// they come from another thread.
#include <QtTest>
#include <thread>

#include "app/uLibraryMessageHook.h"
#include "platform/uMessageBox.h"

class TLibraryMessageHookTest : public QObject {
  Q_OBJECT

 private slots:
  void showsOnTheUiThreadWhereverRaised() {
    std::vector<std::pair<std::string, bool>> shown;  // text, on the UI thread
    QObject ui;
    duomat::InstallLibraryMessageHook(&ui, [&](const std::string& text) {
      shown.emplace_back(text, QThread::currentThread() == ui.thread());
    });
    korvan::ShowLibraryMessage("direct");
    std::thread([] { korvan::ShowLibraryMessage("SIG stack overload"); }).join();
    QCOMPARE(shown.size(), size_t(1));  // the other thread did not wait for it
    QTRY_COMPARE(shown.size(), size_t(2));
    QCOMPARE(shown[1], std::make_pair(std::string("SIG stack overload"), true));
    duomat::RemoveLibraryMessageHook();
  }
};

QTEST_MAIN(TLibraryMessageHookTest)
#include "uLibraryMessageHook_test.moc"
