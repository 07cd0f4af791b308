// The profile dialog against korvan-sim on TCP: saved, compared after the
// module was changed from outside, restored writing only the difference, with
// the window's event loop kept free; the frames on the line through the data spy.
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

#include <fstream>
#include <memory>
#include <mutex>

#include "app/ufProfileDialog.h"
#include "app/ui/TUiTest.h"
#include "comm/uci_ICommunicationInterfaceDataSpy.h"
#include "core/uLibraryStart.h"
#include "protocol/uKorvan97.h"
#include "support/TSimProcess.h"
#include "support/TTempDir.h"

using namespace duomat;

namespace {
std::mutex g_mutex;
std::vector<korvan::TKorvanFormat97> g_sent;
void SpySent(korvan::ci::ICommunicationInterface*, const std::string& data, uint8_t direction) {
  if (direction != korvan::ci::SpyDirectionSent || korvan::CheckPacket(data) != 0) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_sent.push_back(korvan::ParsePacket(data));
}
// The instructions sent that write a setting (0xC0 ranges, 0xC2 time-outs, 0xC4 values), with their data.
std::vector<std::pair<int, std::string>> Writes() {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<std::pair<int, std::string>> out;
  for (const auto& f : g_sent)
    if (f.code == 0xC0 || f.code == 0xC2 || f.code == 0xC4) out.emplace_back(f.code, f.data);
  return out;
}
void ClearSent() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_sent.clear();
}
size_t SentCount() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_sent.size();
}
}  // namespace

class TfProfileDialogTest : public QObject {
  Q_OBJECT

  std::unique_ptr<korvan::test::TSimProcess> sim_;
  std::unique_ptr<TKorvanStackDeviceOutraRec> outra_;
  std::unique_ptr<korvan::test::TTempDir> dir_;

  std::string Connection() const { return "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(sim_->TcpPort()); }
  QString Path() const { return QString::fromStdString(dir_->Path() + "/outra.json"); }

  // Runs the dialog until its first step has ended.
  std::unique_ptr<TfProfileDialog> Open(TProfileTask task, const TProfile& profile = {}) {
    auto d = std::make_unique<TfProfileDialog>(task, TModuleKind::Outra, nullptr, outra_->Device().get(), Path(), profile);
    QSignalSpy done(d.get(), &TfProfileDialog::StepDone);
    d->show();
    if (!done.wait(10000)) qFatal("the dialog's first step did not end");
    return d;
  }

  static QStringList Differing(TfProfileDialog& d) {
    auto* table = d.findChild<QTableWidget*>("tblSettings");
    QStringList rows;
    for (int r = 0; r < table->rowCount(); ++r)
      if (table->item(r, 0)->data(Qt::UserRole).toBool())
        rows << table->item(r, 1)->text() + " -> " + table->item(r, 2)->text();
    return rows;
  }

  static QString Status(TfProfileDialog& d) { return d.findChild<QLabel*>("lblStatus")->text(); }

 private slots:
  void initTestCase() {
    StartLibrary();
    korvan::ci::SetDataSpyHandler(korvan::ci::TDataSpyHandler::Bind<&SpySent>());
  }
  void cleanupTestCase() {
    korvan::ci::SetDataSpyHandler({});
    StopLibrary();
  }
  void init() {
    // Every answer late, so that a request on the window's thread would show in its event loop.
    sim_ = std::make_unique<korvan::test::TSimProcess>(
        std::vector<std::string>{"--module", "outra", "--delay", "60", "--tcp", "127.0.0.1:0"});
    QVERIFY(sim_->Started());
    dir_ = std::make_unique<korvan::test::TTempDir>("duomat-profile");
    outra_ = std::make_unique<TKorvanStackDeviceOutraRec>();
    outra_->SetConnectionString(Connection());
    QVERIFY(outra_->Connect());
    ClearSent();
  }
  void cleanup() {
    outra_.reset();
    sim_.reset();
    dir_.reset();
  }

  void savedThenChangedOutsideThenRestoredWritingOnlyTheDifference() {
    auto save = Open(TProfileTask::Save);
    QVERIFY2(Status(*save).contains("outra.json"), qPrintable(Status(*save)));
    save.reset();
    QString message;
    const std::optional<TProfile> profile = ReadProfileFile(Path(), TModuleKind::Outra, message);
    QVERIFY2(profile, qPrintable(message));

    // Another program on its own connection turns watchdog 1 on.
    {
      TKorvanStackDeviceOutraRec other;
      other.SetConnectionString(Connection());
      QVERIFY(other.Connect());
      QVERIFY(other.Device()->SetWatchDogTimeouts(45, -1));
    }

    auto compare = Open(TProfileTask::Compare, *profile);
    QCOMPARE(Differing(*compare), QStringList{"45 s -> 0 s"});
    compare.reset();

    ClearSent();
    auto restore = Open(TProfileTask::Restore, *profile);
    QCOMPARE(Differing(*restore), QStringList{"45 s -> 0 s"});
    QVERIFY(Writes().empty());
    QSignalSpy changed(restore.get(), &TfProfileDialog::SettingsChanged);
    QSignalSpy done(restore.get(), &TfProfileDialog::StepDone);
    // The event loop's longest pause while the operator confirms and the module is written and read back.
    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    QTimer beat;
    connect(&beat, &QTimer::timeout, [&] {
      longest = std::max(longest, clock.elapsed() - last);
      last = clock.elapsed();
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->button(QMessageBox::Yes)->click();
    });
    clock.start();
    beat.start(5);
    restore->findChild<QPushButton*>("btnWrite")->click();
    QVERIFY(done.wait(10000));
    beat.stop();
    QVERIFY2(longest < 50, qPrintable(QString("the event loop stood %1 ms").arg(longest)));
    // One time-out written, for output 1 only; then read back and found matching.
    QCOMPARE(Writes(), (std::vector<std::pair<int, std::string>>{{0xC2, std::string("\x01\x00\x00\x00", 4)}}));
    QCOMPARE(changed.count(), 1);
    QVERIFY(Differing(*restore).isEmpty());
    QVERIFY2(Status(*restore).contains("odpovídá"), qPrintable(Status(*restore)));
    QVERIFY(!restore->findChild<QPushButton*>("btnWrite")->isEnabled());
  }

  void aBadFileNamesTheFieldAndNothingIsSent() {
    const QString path = QString::fromStdString(dir_->Path() + "/bad.json");
    std::ofstream(path.toStdString())
        << R"({"module":"outra","codes":[1,1],"watchdogs":[{"timeout":0,"value":0},{"timeout":"60","value":0}]})";
    QString message;
    QVERIFY(!ReadProfileFile(path, TModuleKind::Outra, message));
    QVERIFY2(message.contains("watchdogs[1].timeout"), qPrintable(message));
    QVERIFY(!ReadProfileFile(path, TModuleKind::Ingra, message));
    QVERIFY2(message.contains("module"), qPrintable(message));
    QCOMPARE(SentCount(), size_t(0));
  }

  void closingWhileLoadingWaitsForTheAnswerAndWritesNothing() {
    auto d = std::make_unique<TfProfileDialog>(TProfileTask::Save, TModuleKind::Outra, nullptr,
                                               outra_->Device().get(), Path(), TProfile{});
    QSignalSpy done(d.get(), &TfProfileDialog::StepDone);
    d->show();
    QVERIFY(d->Busy());
    d->reject();
    QVERIFY(d->isVisible());  // until the request on the line has answered
    QVERIFY(done.wait(10000));
    QVERIFY(!d->isVisible());
    d.reset();
    QVERIFY(Writes().empty());
  }
};

QTEST_MAIN(TfProfileDialogTest)
#include "ufProfileDialog_test.moc"
