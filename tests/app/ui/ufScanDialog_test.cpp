// The "Nástroje" menu and the "Najít moduly" dialog driven against korvan-sim
// on TCP: the menu follows the groups, a scan of a bus finds its modules and
// hands one to a group, "Zastavit" stops, and the window keeps its events flowing.
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

#include <dirent.h>
#include <fstream>
#include <memory>

#include "app/ufMain.h"
#include "app/ufScanDialog.h"
#include "app/ui/TUiTest.h"
#include "core/uLibraryStart.h"
#include "core/uModuleSettings.h"
#include "core/uWindowMemory.h"
#include "support/TSimProcess.h"
#include "support/TWait.h"

using namespace duomat;
using korvan::test::TSimProcess;

namespace {
class TMessageList : public IMessageSink {
 public:
  std::vector<std::string> Texts;
  void ShowMessage(const std::string& text) override { Texts.push_back(text); }
};

size_t ThreadCount() {
  size_t n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (const dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

// The longest gap between the ticks of a 5 ms timer while it lives.
class TGapMeter {
 public:
  TGapMeter() {
    clock_.start();
    QObject::connect(&timer_, &QTimer::timeout, [this] { longest_ = std::max(longest_, clock_.restart()); });
    timer_.start(5);
  }
  qint64 Longest() const { return longest_; }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 longest_ = 0;
};
}  // namespace

class TfScanDialogTest : public QObject {
  Q_OBJECT

  QTemporaryDir config_;
  std::unique_ptr<TSimProcess> sim_;
  std::unique_ptr<TfMain> w_;
  TMessageList messages_;

  std::string Start(std::vector<std::string> options) {
    options.insert(options.end(), {"--tcp", "127.0.0.1:0"});
    sim_ = std::make_unique<TSimProcess>(options);
    if (!sim_->Started()) qFatal("korvan-sim did not start");
    return "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(sim_->TcpPort());
  }
  std::string MemoryFile() const { return config_.filePath("window.conf").toStdString(); }

  // Opens the dialog from the menu with the line and the range filled in.
  TfScanDialog* OpenScan(const std::string& line, const char* from, const char* to) {
    w_->ToolAction("actFindModules")->trigger();
    TfScanDialog* d = w_->ScanDialog();
    if (!d || !d->isVisible()) qFatal("the scan dialog did not open");
    d->findChild<QLineEdit*>("eLine")->setText(QString::fromStdString(line));
    d->findChild<QLineEdit*>("eFrom")->setText(from);
    d->findChild<QLineEdit*>("eTo")->setText(to);
    return d;
  }
  template <class T = QPushButton>
  static T* In(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(name);
    if (!child) qFatal("no control %s", name);
    return child;
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
    QCOMPARE(button->text(), QString("&Nástroje"));
    QCOMPARE(button->geometry(), QRect(8, 8, 113, 25));
    QCOMPARE(button->menu(), w_->ToolsMenu());
    const QStringList group = {"SaveProfile|Uložit nastavení do souboru…", "RestoreProfile|Obnovit nastavení ze souboru…",
                               "CompareProfile|Porovnat se souborem…", "Address|Adresa a rychlost…"};
    QStringList expected = {"actFindModules|Najít moduly…"};
    for (const char* g : {"Ingra", "Outra"})
      for (const QString& item : group) expected << "act" + QString(g) + item;
    expected << "actOutraOutputTest|Test výstupů…";
    QStringList shown;
    for (QAction* a : w_->ToolsMenu()->findChildren<QAction*>())
      if (!a->objectName().isEmpty()) shown << a->objectName() + "|" + a->text();
    QCOMPARE(shown, expected);

    const auto enabled = [this](const char* prefix) {
      int n = 0;
      for (QAction* a : w_->ToolsMenu()->findChildren<QAction*>()) n += a->objectName().startsWith(prefix) && a->isEnabled();
      return n;
    };
    QVERIFY(w_->ToolAction("actFindModules")->isEnabled());
    QCOMPARE(enabled("actIngra") + enabled("actOutra"), 0);
    w_->ConnectOutraAt(Start({"--module", "outra"}), 0x31);
    QCOMPARE(enabled("actOutra"), 5);
    QCOMPARE(enabled("actIngra"), 0);
    In(w_.get(), "btnOutraDisconnect")->click();
    QCOMPARE(enabled("actOutra"), 0);

    // Alt+N opens the menu (it runs its own loop until closed).
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

  void scanFindsTheBusAndOutraTakesTheSecondModule() {
    const std::string line = Start({"--module", "ingra", "--address", "0x20", "--identification", "Ingra IA-4; 1.0",
                                    "--module", "outra", "--address", "0x23", "--identification", "Outra OA-2; 1.0"});
    TfScanDialog* d = OpenScan(line, "1e", "25");
    QCOMPARE(d->windowTitle(), QString("Najít moduly"));
    QCOMPARE(duomat::test::UnnamedFields(d), QStringList());
    QSignalSpy finished(d, &TfScanDialog::ScanFinished);
    qint64 longest = 0;
    {
      TGapMeter gaps;
      In(d, "btnSearch")->click();
      QVERIFY(d->IsScanning() && !In(d, "btnSearch")->isEnabled() && In(d, "btnStop")->isEnabled());
      QVERIFY(finished.wait(10000));
      longest = gaps.Longest();
    }
    QVERIFY2(longest < 50, qPrintable(QString("the event loop stood %1 ms").arg(longest)));
    auto* table = In<QTableWidget>(d, "tblFound");
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, 0)->text(), QString("0x20"));
    QCOMPARE(table->item(1, 0)->text(), QString("0x23"));
    QCOMPARE(table->item(1, 2)->text(), QString("Outra OA-2"));
    QCOMPARE(In<QProgressBar>(d, "pbProgress")->value(), 8);

    table->selectRow(1);
    In(d, "btnUseOutra")->click();
    QVERIFY(w_->OutraRec().IsConnected());
    QCOMPARE(int(w_->OutraRec().GetModuleAddress()), 0x23);
    QVERIFY(!w_->IngraRec().IsConnected());
    In(w_.get(), "btnOutraLoad")->click();
    QCOMPARE(messages_.Texts, std::vector<std::string>{msg::OutraLoaded});
    // Kept for the next start.
    const TWindowMemory kept = ReadWindowMemory(MemoryFile());
    QCOMPARE(kept.Outra.Connection, line);
    QCOMPARE(kept.Outra.Address, 0x23);
  }

  void stopEndsTheScanAtTheNextRequest() {
    TfScanDialog* d = OpenScan(Start({"--module", "outra"}), "00", "FD");
    QSignalSpy finished(d, &TfScanDialog::ScanFinished);
    In(d, "btnSearch")->click();
    auto* progress = In<QProgressBar>(d, "pbProgress");
    QTRY_VERIFY(progress->value() >= 3);
    QElapsedTimer stopping;
    stopping.start();
    In(d, "btnStop")->click();
    QVERIFY(finished.wait(5000));
    // A request in flight runs to its 100 ms time-out; the next is not sent.
    qInfo("stopped after %lld ms", static_cast<long long>(stopping.elapsed()));
    QVERIFY2(stopping.elapsed() < 300, qPrintable(QString::number(stopping.elapsed())));
    QVERIFY(progress->value() < 20);
    QVERIFY(In<QLabel>(d, "lblProgress")->text().startsWith("Zastaveno"));
    QVERIFY(In(d, "btnSearch")->isEnabled() && !In(d, "btnStop")->isEnabled());
  }

  void closingTheWindowMidScanLeavesNoThread() {
    const std::string line = Start({"--module", "outra"});
    const size_t before = ThreadCount();
    TfScanDialog* d = OpenScan(line, "00", "FD");
    In(d, "btnSearch")->click();
    QTRY_VERIFY(In<QProgressBar>(d, "pbProgress")->value() >= 1);
    w_.reset();
    QVERIFY(korvan::test::WaitUntil([&] { return ThreadCount() <= before; }));
  }

  void wrongFieldsStartNoScan() {
    TfScanDialog* d = OpenScan("provider=TCP_CLIENT;host=127.0.0.1;port=1", "30", "2F");
    In(d, "btnSearch")->click();
    QVERIFY(!d->IsScanning());
    QCOMPARE(In<QLabel>(d, "lblProgress")->text(), QString("Adresa „od“ nesmí být větší než „do“."));
  }

  void keptConnectionsComeBackAtStartAndABadFileIsIgnored() {
    QVERIFY(WriteWindowMemory(MemoryFile(), {{"provider=TCP_CLIENT;host=127.0.0.1;port=7", 0x42},
                                             {"provider=NO_SUCH_THING", 0x10}}));
    TfMain kept;
    kept.SetMemoryFile(MemoryFile());
    QCOMPARE(kept.IngraRec().GetConnectionString(), std::string("provider=TCP_CLIENT;host=127.0.0.1;port=7"));
    QCOMPARE(int(kept.IngraRec().GetModuleAddress()), 0x42);
    QCOMPARE(kept.OutraRec().GetConnectionString(), std::string());  // refused as a preset would be
    QCOMPARE(int(kept.OutraRec().GetModuleAddress()), 0x10);

    std::ofstream(MemoryFile(), std::ios::binary) << std::string("\xff\x00\x01ingra.address=\xfe\n", 20);
    TfMain bad;
    bad.SetMemoryFile(MemoryFile());
    QCOMPARE(bad.IngraRec().GetConnectionString(), std::string());
    QCOMPARE(int(bad.IngraRec().GetModuleAddress()), 0x31);
  }
};

QTEST_MAIN(TfScanDialogTest)
#include "ufScanDialog_test.moc"
