// The address and rate dialog on a pseudo-terminal with two modules of
// korvan-sim on it: reads, refuses a taken address, moves the module, assigns
// the other one's address by its serial numbers and moves the line's rate.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QtTest>

#include <memory>

#include "app/ufAddressDialog.h"
#include "app/ui/TUiTest.h"
#include "core/uLibraryStart.h"
#include "support/TSimProcess.h"

using namespace duomat;
using korvan::test::TPortDir;
using korvan::test::TSimProcess;

class TfAddressDialogTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TPortDir> ports_;
  std::unique_ptr<TSimProcess> sim_;
  std::unique_ptr<TfAddressDialog> d_;

  template <class T = QWidget>
  T* Get(const char* name) {
    T* child = d_->findChild<T*>(name);
    if (!child) qFatal("no control %s", name);
    return child;
  }
  QString Text(const char* label) { return Get<QLabel>(label)->text(); }

  // Presses the button and waits for the step it starts.
  void Press(const char* button) {
    QSignalSpy done(d_.get(), &TfAddressDialog::StepDone);
    Get<QPushButton>(button)->click();
    QVERIFY2(done.wait(10000), button);
  }

 private slots:
  void initTestCase() { StartLibrary(); }
  void cleanupTestCase() { StopLibrary(); }
  void init() {
    ports_ = std::make_unique<TPortDir>();
    qputenv("DUOMAT_DEV_DIR", QByteArray::fromStdString(ports_->Path()));
    sim_ = std::make_unique<TSimProcess>(std::vector<std::string>{
        "--module", "outra", "--address", "0x31", "--numbers", "1,2,3", "--baud", "9600", "--module", "ingra",
        "--address", "0x32", "--numbers", "4,5,6", "--baud", "9600", "--link", ports_->Link(1)});
    QVERIFY(sim_->Started());
    d_ = std::make_unique<TfAddressDialog>(TModuleKind::Outra, "provider=SERIAL_PORT;comport=1;baudrate=9600", 0x31);
    QSignalSpy done(d_.get(), &TfAddressDialog::StepDone);
    d_->show();
    QVERIFY(done.wait(10000));
  }
  void cleanup() {
    d_.reset();
    sim_.reset();
    ports_.reset();
  }

  void readsThenChangesAddressAssignsByNumbersAndMovesTheRate() {
    QCOMPARE(Text("lblAddressValue"), QString("0x31"));
    QCOMPARE(Text("lblRateValue"), QString("9600 Bd"));
    QCOMPARE(Text("lblNumbersValue"), QString("1, 2 (3)"));
    QVERIFY(Text("lblIdentificationValue").startsWith("Outra"));
    QCOMPARE(test::UnnamedFields(d_.get()).join(", "), QString());

    Get<QSpinBox>("seNewAddress")->setValue(0x32);  // the Ingra's
    Press("btnChangeAddress");
    QVERIFY2(Text("lblStatus").startsWith("Neprovedeno"), qPrintable(Text("lblStatus")));
    QCOMPARE(d_->Address(), 0x31);

    Get<QSpinBox>("seNewAddress")->setValue(0x35);
    Press("btnChangeAddress");
    QCOMPARE(d_->Address(), 0x35);
    QCOMPARE(Text("lblAddressValue"), QString("0x35"));

    // The Ingra, found by its numbers through the universal address.
    Get<QSpinBox>("seNumberA")->setValue(4);
    Get<QSpinBox>("seNumberB")->setValue(5);
    Get<QSpinBox>("seAssignAddress")->setValue(0x40);
    Press("btnAssign");
    QVERIFY2(Text("lblStatus").contains("0x40"), qPrintable(Text("lblStatus")));
    QCOMPARE(d_->Address(), 0x35);  // the group's module stays where it is

    auto* rates = Get<QComboBox>("cbbRate");
    rates->setCurrentIndex(rates->findData(19200));
    Press("btnChangeRate");
    QCOMPARE(Text("lblRateValue"), QString("19200 Bd"));
    QCOMPARE(d_->Connection(), std::string("provider=SERIAL_PORT;comport=1;baudrate=19200"));
  }

  void fromTheMenuTheGroupFollowsTheRateAndConnectsAgain() {
    d_.reset();  // the fixture's dialog lets go of the line
    TKorvanStackDeviceOutraRec outra;
    outra.SetConnectionString("provider=SERIAL_PORT;comport=1;baudrate=9600");
    QVERIFY(outra.Connect());
    // The operator: once the module is read, moves it to 19200 Bd; once that is done, closes.
    int steps = 0;
    QTimer operatorHand;
    connect(&operatorHand, &QTimer::timeout, [&] {
      auto* d = qobject_cast<TfAddressDialog*>(QApplication::activeModalWidget());
      if (!d || d->Busy()) return;
      if (steps++ > 0) return d->reject();
      auto* rates = d->findChild<QComboBox*>("cbbRate");
      rates->setCurrentIndex(rates->findData(19200));
      d->findChild<QPushButton*>("btnChangeRate")->click();
    });
    operatorHand.start(10);
    std::string followed;
    OpenAddressDialog(TModuleKind::Outra, nullptr, nullptr, &outra, 0x31,
                      [&](int, const std::string& connection) { followed = connection; });
    QCOMPARE(followed, std::string("provider=SERIAL_PORT;comport=1;baudrate=19200"));
    // The dialog's line is closed before the record takes the port again.
    QVERIFY(outra.IsConnected());
    QVERIFY(outra.Device()->ReadIdentification());
  }
};

QTEST_MAIN(TfAddressDialogTest)
#include "ufAddressDialog_test.moc"
