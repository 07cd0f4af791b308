// The "Nástroje" menu and the "Najít moduly" dialog against korvan-sim on TCP:
// the menu follows the groups, a scan of a bus hands a module to a group,
// "Zastavit" stops, and the window's events keep flowing meanwhile.
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

#include "app/ufMain.h"
#include "app/ufScanDialog.h"
#include "app/ui/TUiTest.h"
#include "core/uLibraryStart.h"
#include "core/uModuleSettings.h"
#include "core/uWindowMemory.h"
#include "support/TSimProcess.h"
#include "support/TWait.h"

using namespace duomat;

namespace {
struct TMessageList : IMessageSink {
  std::vector<std::string> Texts;
  void ShowMessage(const std::string& text) override { Texts.push_back(text); }
};
}  // namespace

class TfScanDialogTest : public QObject {
  Q_OBJECT

  QTemporaryDir config_;
  std::unique_ptr<korvan::test::TSimProcess> sim_;
  std::unique_ptr<TfMain> w_;
  TMessageList messages_;

  std::string Start(std::vector<std::string> options) {
    options.insert(options.end(), {"--tcp", "127.0.0.1:0"});
    sim_ = std::make_unique<korvan::test::TSimProcess>(options);
    if (!sim_->Started()) qFatal("korvan-sim did not start");
    return "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(sim_->TcpPort());
  }
  std::string MemoryFile() const { return config_.filePath("window.conf").toStdString(); }
  template <class T = QPushButton>
  static T* In(QWidget* parent, const char* name) {
    if (T* child = parent->findChild<T*>(name)) return child;
    qFatal("no control %s", name);
  }
  // The dialog, opened from the menu, scanning the line from `from` to `to`.
  TfScanDialog* Scan(const std::string& line, const char* from, const char* to) {
    w_->ToolAction("actFindModules")->trigger();
    TfScanDialog* d = w_->ScanDialog();
    In<QLineEdit>(d, "eLine")->setText(QString::fromStdString(line));
    In<QLineEdit>(d, "eFrom")->setText(from);
    In<QLineEdit>(d, "eTo")->setText(to);
    In(d, "btnSearch")->click();
    return d;
  }

 private slots:
  void initTestCase() { duomat::StartLibrary(); }
  void cleanupTestCase() { duomat::StopLibrary(); }
  void init() {
    messages_ = {};
    w_ = std::make_unique<TfMain>();
    w_->SetMessageSink(&messages_);
    w_->SetMemoryFile(MemoryFile());
  }
  void cleanup() {
    w_.reset();
    sim_.reset();
    QFile::remove(config_.filePath("window.conf"));
  }

  void toolsMenuFollowsTheGroups() {
    auto* button = In(w_.get(), "btnTools");
    QCOMPARE(button->text() + QString::number(button->x()), QString("&Nástroje8"));
    const auto items = [this](bool enabledOnly) {
      QStringList names;
      for (QAction* a : w_->ToolsMenu()->findChildren<QAction*>())
        if (!a->objectName().isEmpty() && (a->isEnabled() || !enabledOnly))
          names << a->objectName() + (enabledOnly ? "" : " " + a->text());
      return names.join(enabledOnly ? " " : "|");
    };
    QCOMPARE(items(false), "actFindModules Najít moduly…|actIngraSaveProfile Uložit nastavení do souboru…|"
                           "actIngraRestoreProfile Obnovit nastavení ze souboru…|actIngraCompareProfile Porovnat se "
                           "souborem…|actIngraAddress Adresa a rychlost…|actOutraSaveProfile Uložit nastavení do "
                           "souboru…|actOutraRestoreProfile Obnovit nastavení ze souboru…|actOutraCompareProfile "
                           "Porovnat se souborem…|actOutraAddress Adresa a rychlost…|actOutraOutputTest Test výstupů…");
    QCOMPARE(items(true), QString("actFindModules"));
    w_->ConnectOutraAt(Start({"--module", "outra"}), 0x31);
    QCOMPARE(items(true), "actFindModules actOutraSaveProfile actOutraRestoreProfile actOutraCompareProfile "
                          "actOutraAddress actOutraOutputTest");
    In(w_.get(), "btnOutraDisconnect")->click();
    QCOMPARE(items(true), QString("actFindModules"));

    // Alt+N opens the menu, which runs its own loop until closed.
    w_->show();
    QVERIFY(QTest::qWaitForWindowActive(w_.get()));
    bool opened = false;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
      if (!w_->ToolsMenu()->isVisible()) return;
      opened = true;
      w_->ToolsMenu()->close();
    });
    closer.start(5);
    QTest::keyClick(w_.get(), Qt::Key_N, Qt::AltModifier);
    QTRY_VERIFY(opened);
  }

  // Each item of a connected group opens its dialog (closed again at once).
  void menuItemsOpenTheirDialogs() {
    w_->ConnectOutraAt(Start({"--module", "outra"}), 0x31);
    w_->show();
    for (const char* name : {"actOutraOutputTest", "actOutraAddress", "actOutraRestoreProfile"}) {
      QString opened;
      QTimer::singleShot(200, this, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
          opened = modal->metaObject()->className();
          modal->close();
        }
      });
      w_->ToolAction(name)->trigger();
      QVERIFY2(!opened.isEmpty(), name);
      QVERIFY2(opened != "duomat::TfMain", qPrintable(opened));
    }
    QVERIFY(w_->OutraRec().IsConnected());  // the address dialog gave the line back
  }

  void scanFindsTheBusAndOutraTakesTheSecondModule() {
    const std::string line = Start({"--module", "ingra", "--address", "0x20", "--identification", "Ingra IA-4; 1.0",
                                    "--module", "outra", "--address", "0x23", "--identification", "Outra OA-2; 1.0"});
    // The longest gap between the ticks of a 5 ms timer while the scan runs.
    QElapsedTimer clock;
    qint64 longest = 0;
    QTimer ticks;
    connect(&ticks, &QTimer::timeout, this, [&] { longest = std::max(longest, clock.restart()); });
    clock.start();
    ticks.start(5);
    TfScanDialog* d = Scan(line, "1e", "25");
    QVERIFY(QSignalSpy(d, &TfScanDialog::ScanFinished).wait(10000));
    ticks.stop();
    QVERIFY2(longest < 50, qPrintable(QString("the event loop stood %1 ms").arg(longest)));
    QCOMPARE(d->windowTitle(), QString("Najít moduly"));
    QCOMPARE(duomat::test::UnnamedFields(d), QStringList());
    auto* table = In<QTableWidget>(d, "tblFound");
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, 0)->text() + table->item(1, 0)->text() + table->item(1, 2)->text(),
             QString("0x200x23Outra OA-2"));

    table->selectRow(1);
    In(d, "btnUseOutra")->click();
    QVERIFY(w_->OutraRec().IsConnected() && !w_->IngraRec().IsConnected());
    QCOMPARE(int(w_->OutraRec().GetModuleAddress()), 0x23);
    In(w_.get(), "btnOutraLoad")->click();
    QCOMPARE(messages_.Texts, std::vector<std::string>{msg::OutraLoaded});
    const TWindowMemory kept = ReadWindowMemory(MemoryFile());  // for the next start
    QCOMPARE(kept.Outra.Connection + " " + std::to_string(kept.Outra.Address), line + " 35");
  }

  // "Zastavit" ends even a request that waits out a 3 s time-out.
  void stopEndsTheScanWithinATenthOfASecond() {
    const std::string line = Start({"--module", "outra"});
    w_->ToolAction("actFindModules")->trigger();
    w_->ScanDialog()->SetRequestTimeout(3000);
    TfScanDialog* d = Scan(line, "00", "FD");
    QSignalSpy finished(d, &TfScanDialog::ScanFinished);
    QTest::qWait(300);  // the question to 0x00 waits for its answer
    QElapsedTimer stopping;
    stopping.start();
    In(d, "btnStop")->click();
    QVERIFY(finished.wait(5000));
    qInfo("stopped after %lld ms", static_cast<long long>(stopping.elapsed()));
    QVERIFY2(stopping.elapsed() < 100, qPrintable(QString::number(stopping.elapsed())));
    QVERIFY(In<QLabel>(d, "lblProgress")->text().startsWith("Zastaveno"));
    QCOMPARE(In<QTableWidget>(d, "tblFound")->rowCount(), 0);
  }

  void closingTheWindowMidScanLeavesNoThread() {
    const std::string line = Start({"--module", "outra"});
    const size_t before = duomat::test::ThreadCount();
    TfScanDialog* d = Scan(line, "00", "FD");
    QTRY_VERIFY(In<QProgressBar>(d, "pbProgress")->value() >= 1);
    w_.reset();
    QVERIFY(korvan::test::WaitUntil([&] { return duomat::test::ThreadCount() <= before; }));
  }

  void keptConnectionsComeBackAtStart() {
    QVERIFY(WriteWindowMemory(MemoryFile(), {{"provider=TCP_CLIENT;host=127.0.0.1;port=7", 0x42},
                                             {"provider=NO_SUCH_THING", 0x10}}));
    TfMain kept;
    kept.SetMemoryFile(MemoryFile());
    QCOMPARE(kept.IngraRec().GetConnectionString() + " " + std::to_string(kept.IngraRec().GetModuleAddress()),
             std::string("provider=TCP_CLIENT;host=127.0.0.1;port=7 66"));
    // The outra's string is refused as a preset would be; its address is taken.
    QCOMPARE(kept.OutraRec().GetConnectionString() + std::to_string(kept.OutraRec().GetModuleAddress()), "16");
  }
};

QTEST_MAIN(TfScanDialogTest)
#include "ufScanDialog_test.moc"
