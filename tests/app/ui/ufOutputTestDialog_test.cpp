// The output test against korvan-sim on TCP: "Odeslat" sets both outputs
// (0x40), the read-back (0x41) is asked twice a second while the dialog is
// open and never after, and the watchdog takes over once nothing is asked.
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QtTest>

#include <memory>
#include <mutex>

#include "app/ufOutputTestDialog.h"
#include "app/ui/TUiTest.h"
#include "comm/uci_ICommunicationInterfaceDataSpy.h"
#include "core/uLibraryStart.h"
#include "protocol/uKorvan97.h"
#include "support/TSimProcess.h"

using namespace duomat;

namespace {
std::mutex g_mutex;
std::vector<korvan::TKorvanFormat97> g_sent;
void SpySent(korvan::ci::ICommunicationInterface*, const std::string& data, uint8_t direction) {
  if (direction != korvan::ci::SpyDirectionSent || korvan::CheckPacket(data) != 0) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_sent.push_back(korvan::ParsePacket(data));
}
std::vector<std::string> Sent(uint8_t code) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<std::string> out;
  for (const auto& f : g_sent)
    if (f.code == code) out.push_back(f.data);
  return out;
}
}  // namespace

class TfOutputTestDialogTest : public QObject {
  Q_OBJECT

  std::unique_ptr<korvan::test::TSimProcess> sim_;
  std::unique_ptr<TKorvanStackDeviceOutraRec> outra_;
  std::unique_ptr<TfOutputTestDialog> d_;

  template <class T>
  T* Get(const char* name) {
    T* child = d_->findChild<T*>(name);
    if (!child) qFatal("no control %s", name);
    return child;
  }

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
    sim_ = std::make_unique<korvan::test::TSimProcess>(
        std::vector<std::string>{"--module", "outra", "--ranges", "1,5", "--tcp", "127.0.0.1:0"});
    QVERIFY(sim_->Started());
    outra_ = std::make_unique<TKorvanStackDeviceOutraRec>();
    outra_->SetConnectionString("provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(sim_->TcpPort()));
    QVERIFY(outra_->Connect());
    // Watchdog 2 sets 12 mA after one second without a request.
    QVERIFY(outra_->Device()->SetWatchDogTimeouts(0, 1));
    QVERIFY(outra_->Device()->SetWatchDogValues(-1, 2048));
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      g_sent.clear();
    }
    d_ = std::make_unique<TfOutputTestDialog>(outra_->Device().get());
    QSignalSpy ready(d_.get(), &TfOutputTestDialog::Ready);
    d_->show();
    QVERIFY(ready.wait(5000));
  }
  void cleanup() {
    d_.reset();
    outra_.reset();
    sim_.reset();
  }

  void sendSetsBothOutputsInTheirOwnRangesAndTheReadBackFollows() {
    // Each output's field takes its own range's limits and unit.
    QCOMPARE(Get<QDoubleSpinBox>("deValue2")->minimum(), 4.0);
    QCOMPARE(Get<QLabel>("lblRange2")->text(), QString("4 - 20 mA"));
    QCOMPARE(test::UnnamedFields(d_.get()).join(", "), QString());
    Get<QSlider>("sldValue1")->setValue(250);  // the slider moves the field
    QCOMPARE(Get<QDoubleSpinBox>("deValue1")->value(), 2.5);
    Get<QDoubleSpinBox>("deValue2")->setValue(20.0);
    QSignalSpy sent(d_.get(), &TfOutputTestDialog::Sent);
    Get<QPushButton>("btnSend")->click();
    QVERIFY(sent.wait(5000));
    // 2.5 of 10 V is raw 1024 (halves to even); 20 mA is the top of 4-20 mA.
    QCOMPARE(Sent(0x40), std::vector<std::string>{std::string("\x01\x04\x00\x02\x0F\xFF", 6)});
    QSignalSpy read(d_.get(), &TfOutputTestDialog::ReadBack);
    QVERIFY(read.wait(2000));
    QVERIFY2(Get<QLabel>("lblRead1")->text().startsWith(QLocale().toString(2.5, 'f', 2)),
             qPrintable(Get<QLabel>("lblRead1")->text()));
  }

  void readBackIsAskedTwiceASecondWhileOpenAndNeverAfterClosing() {
    QTest::qWait(2100);
    const size_t asked = Sent(0x41).size();
    // The first read at opening, then one each 500 ms.
    QVERIFY2(asked >= 4 && asked <= 6, qPrintable(QString::number(asked)));
    d_->close();
    QVERIFY(!d_->Polling());
    QTest::qWait(1100);
    QVERIFY(Sent(0x41).size() <= asked + 1);  // at most the one already on its way
  }

  void withoutReadBackTheWatchdogTakesOverAndTheNextReadShowsIt() {
    Get<QDoubleSpinBox>("deValue2")->setValue(4.0);
    QSignalSpy sent(d_.get(), &TfOutputTestDialog::Sent);
    Get<QPushButton>("btnSend")->click();
    QVERIFY(sent.wait(5000));
    // Each read-back is a request the module hears: it holds the watchdog off.
    QTest::qWait(1300);
    QVERIFY(Get<QLabel>("lblWatchDog2")->text().contains(" z 1 s"));
    Get<QCheckBox>("chbPoll")->setChecked(false);
    QTest::qWait(1300);
    QVERIFY2(Get<QLabel>("lblWatchDog2")->text().startsWith("převzal"), qPrintable(Get<QLabel>("lblWatchDog2")->text()));
    QSignalSpy read(d_.get(), &TfOutputTestDialog::ReadBack);
    Get<QCheckBox>("chbPoll")->setChecked(true);
    QVERIFY(read.wait(2000));
    QVERIFY2(Get<QLabel>("lblRead2")->text().startsWith(QLocale().toString(12.0, 'f', 2)),
             qPrintable(Get<QLabel>("lblRead2")->text()));
  }
};

QTEST_MAIN(TfOutputTestDialogTest)
#include "ufOutputTestDialog_test.moc"
