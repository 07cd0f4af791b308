#include "app/ufConnectionDialog.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QStyleOptionViewItem>

#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/uComPortIdentityView.h"
#include "app/ui/TUiTest.h"

using duomat::TfConnectionDialog;

class TfConnectionDialogTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir portDir, devDir, sysfsRoot;
  std::vector<int> masters;
  QStringList devices;  // of COM2 and COM5
  std::unique_ptr<TfConnectionDialog> dialog;

  template <class T>
  T* Control(const char* name) {
    return dialog->findChild<T*>(name);
  }
  // Runs Execute and does `close` once the dialog is shown (a refresh inside
  // Execute pumps events before that); after 100 tries "Zrušit", so that a
  // dialog that ignores it cannot hang the test.
  bool RunClosing(std::string& s, const std::function<void()>& close, int* address = nullptr) {
    QTimer closer;
    int tries = 0;
    connect(&closer, &QTimer::timeout, dialog.get(), [&] {
      if (!dialog->isVisible()) return;
      if (++tries > 100)
        Control<QPushButton>("bCancel")->click();
      else
        close();
    });
    closer.start(5);
    return address ? dialog->Execute(s, *address) : dialog->Execute(s);
  }
  // Closes with "Ok" or "Zrušit".
  bool Run(std::string& s, bool ok = true) {
    return RunClosing(s, [&] { Control<QPushButton>(ok ? "bOK" : "bCancel")->click(); });
  }
  std::string RunOk(std::string s) {
    if (!Run(s)) return "(cancelled)";
    return s;
  }

 private slots:
  void initTestCase() {
    // Neither the machine's ports nor its USB devices may leak in.
    // COM2 and COM5 are pseudo-terminals; COM2 leads through ttyUSB0, a USB
    // adapter in the sysfs tree.
    for (int port : {2, 5}) {
      const int master = posix_openpt(O_RDWR | O_NOCTTY);
      QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
      masters.push_back(master);
      devices << ptsname(master);
      const QString via = port == 2 ? portDir.filePath("ttyUSB0") : QString(ptsname(master));
      if (port == 2) QVERIFY(symlink(ptsname(master), qPrintable(via)) == 0);
      QVERIFY(symlink(qPrintable(via), qPrintable(portDir.filePath(QString("COM%1").arg(port)))) == 0);
    }
    const QString usb = sysfsRoot.filePath("devices/usb1/1-1");
    QVERIFY(QDir().mkpath(usb + "/1-1:1.0/ttyUSB0") && QDir().mkpath(sysfsRoot.filePath("class/tty/ttyUSB0")));
    for (const auto& [name, value] : {std::pair{"idVendor", "0403"}, {"idProduct", "6001"}, {"manufacturer", "FTDI"},
                                      {"product", "FT232R USB UART"}, {"serial", "A1B2C3D4"}}) {
      QFile f(usb + "/" + name);
      QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(value) + "\n") > 0);
    }
    QVERIFY(symlink("../../../devices/usb1/1-1/1-1:1.0/ttyUSB0", qPrintable(sysfsRoot.filePath("class/tty/ttyUSB0/device"))) == 0);
    qputenv("DUOMAT_PORT_DIR", portDir.path().toUtf8());
    qputenv("DUOMAT_DEV_DIR", devDir.path().toUtf8());
    qputenv("DUOMAT_SYSFS_ROOT", sysfsRoot.path().toUtf8());
    qputenv("DUOMAT_D2XX_LIBRARY", (devDir.path() + "/no-such-libftd2xx.so").toUtf8());
    dialog = std::make_unique<TfConnectionDialog>();
  }
  void cleanupTestCase() {
    dialog.reset();
    for (int master : masters) close(master);
  }

  void comListShowsThePortsWithTheirDevices() {
    // The first serial choice finds the list empty and scans; ports keep arriving.
    RunOk("provider=SERIAL_PORT;comport=7");
    auto* list = Control<QComboBox>("cbCOM");
    QTRY_COMPARE_WITH_TIMEOUT(list->count(), 2, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(list->itemText(0), QString("COM 2 (%1)").arg(devices[0]), 10000);
    QCOMPARE(list->itemText(1), QString("COM 5 (%1)").arg(devices[1]));
    // The adapter's identity: in the drop-down entry, and as the closed box's tooltip.
    const QString identity = "usb 0403:6001 FTDI FT232R USB UART A1B2C3D4";
    QCOMPARE(list->itemData(0, duomat::ComPortIdentityRole).toString(), identity);
    QCOMPARE(list->itemData(1, duomat::ComPortIdentityRole).toString(), QString());
    list->setCurrentIndex(0);
    QCOMPARE(list->toolTip(), identity);
    QStyleOptionViewItem option;
    option.initFrom(list->view());
    QVERIFY(list->view()->itemDelegate()->sizeHint(option, list->model()->index(0, 0)).width() >
            list->view()->itemDelegate()->sizeHint(option, list->model()->index(1, 0)).width());
    list->setCurrentIndex(1);
    QCOMPARE(list->toolTip(), QString());
  }

  void stringsComeBackAsTheDialogBuildsThem_data() {
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::addColumn<bool>("expert");
    QTest::newRow("usb, lower case") << "provider=ftd_usb;serial_number=A1;baudrate=19200"
                                     << "provider=FTD_USB;serial_number=A1;baudrate=19200" << true;
    QTest::newRow("usb, rate not listed") << "provider=FTD_USB;serial_number=B2;baudrate=14400"
                                          << "provider=FTD_USB;serial_number=B2;baudrate=110" << true;
    QTest::newRow("tcp without host and port") << "provider=TCP_CLIENT"
                                               << "provider=TCP_CLIENT;host=;port=10001" << true;
    QTest::newRow("tcp") << "provider=tcp_client;host=127.0.0.1;port=502"
                         << "provider=TCP_CLIENT;host=127.0.0.1;port=502" << true;
    QTest::newRow("other provider is serial") << "provider=udp_client;comport=3;baudrate=115200"
                                              << "provider=SERIAL_PORT;comport=2;baudrate=115200" << true;
    QTest::newRow("serial, rate not listed") << "provider=SERIAL_PORT;comport=5;baudrate=14400"
                                             << "provider=SERIAL_PORT;comport=5;baudrate=110" << true;
    QTest::newRow("only higher ports: none") << "provider=SERIAL_PORT;comport=1;baudrate=9600"
                                             << "provider=SERIAL_PORT;comport=0;baudrate=9600" << true;
    QTest::newRow("far above: the highest") << "provider=SERIAL_PORT;comport=200;baudrate=9600"
                                            << "provider=SERIAL_PORT;comport=5;baudrate=9600" << true;
    QTest::newRow("empty string") << "" << "provider=SERIAL_PORT;comport=0;baudrate=9600" << true;
  }
  void stringsComeBackAsTheDialogBuildsThem() {
    QFETCH(QString, in);
    QFETCH(QString, out);
    QFETCH(bool, expert);
    QCOMPARE(QString::fromStdString(RunOk(in.toStdString())), out);
    QCOMPARE(Control<QToolButton>("sbExpertMode")->isChecked(), expert);
    int checked = 0;
    for (const char* name : {"rbCOM", "rbUSB", "rbTCP"}) checked += Control<QRadioButton>(name)->isChecked();
    QCOMPARE(checked, 1);
  }

  // A screen reader's toggle, a plain setChecked: the same one choice as a click.
  void aToggleFromAnyQuarterMakesOneChoice() {
    RunOk("provider=SERIAL_PORT;comport=5;baudrate=9600");
    auto* tcp = Control<QRadioButton>("rbTCP");
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(tcp);
    QCOMPARE(reader->role(), QAccessible::RadioButton);
    reader->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QVERIFY(tcp->isChecked() && !Control<QRadioButton>("rbCOM")->isChecked());
    QVERIFY(Control<QLineEdit>("eIP")->isEnabled() && !Control<QComboBox>("cbCOM")->isEnabled());
    QVERIFY(QString::fromStdString(dialog->ConnectionString()).startsWith("provider=TCP_CLIENT;host="));
    Control<QRadioButton>("rbUSB")->setChecked(true);
    QVERIFY(!tcp->isChecked() && !Control<QLineEdit>("eIP")->isEnabled());
    QVERIFY(QString::fromStdString(dialog->ConnectionString()).startsWith("provider=FTD_USB;"));
    QCOMPARE(duomat::test::UnnamedFields(dialog.get()), QStringList());
  }

  void usbWithoutLibraryOrConverterListsNothing() {
    std::string s = "provider=FTD_USB;serial_number=;baudrate=9600";
    QVERIFY(Run(s));
    Control<QPushButton>("bUSBRefresh")->click();
    QCOMPARE(Control<QComboBox>("cbDeviceName")->count(), 0);
    QVERIFY(Control<QLineEdit>("eSerialNumber")->text().isEmpty());
  }

  // Enter confirms, as in any dialog: it must not press "Obnovit" instead.
  void enterConfirms() {
    for (std::string s :
         {"provider=SERIAL_PORT;comport=5;baudrate=9600", "provider=TCP_CLIENT;host=127.0.0.1;port=502"}) {
      const std::string given = s;
      QVERIFY2(RunClosing(s, [&] { QTest::keyClick(dialog.get(), Qt::Key_Return); }), given.c_str());
      QCOMPARE(s, given);
    }
  }

  void cancelKeepsTheCallersString() {
    std::string s = "provider=TCP_CLIENT;host=10.0.0.1;port=1";
    QVERIFY(!Run(s, false));
    QCOMPARE(s, std::string("provider=TCP_CLIENT;host=10.0.0.1;port=1"));
  }

  void expertModeOffKeepsTheUsbChoiceAndTheHiddenRate() {
    QCOMPARE(QString::fromStdString(RunOk("provider=FTD_USB;serial_number=C3;baudrate=38400")),
             QString("provider=FTD_USB;serial_number=C3;baudrate=38400"));
    auto* expert = Control<QToolButton>("sbExpertMode");
    expert->click();
    QVERIFY(!expert->isChecked());
    QVERIFY(Control<QWidget>("pUSB")->isHidden());
    QCOMPARE(QString::fromStdString(dialog->ConnectionString()),
             QString("provider=FTD_USB;serial_number=C3;baudrate=38400"));
    // What a serial string does not set stays from before: the USB rate.
    RunOk("provider=SERIAL_PORT;baudrate=57600");
    QCOMPARE(Control<QComboBox>("cbUSBBaudRate")->currentText(), QString("38400"));
    QVERIFY(Control<QComboBox>("cbCOMBaudrate")->isHidden());
  }

  // The module's address in hexadecimal, in the advanced part; only "Ok" with
  // a readable address changes the caller's.
  void theModuleAddressGoesBackOnlyOnOk() {
    auto* field = Control<QLineEdit>("eAddress");
    auto* expert = Control<QToolButton>("sbExpertMode");
    const std::tuple<int, const char*, bool, int> cases[] = {
        {0x42, nullptr, true, 0x42}, {0x31, "1a", true, 0x1A}, {0x31, "FE", true, 0x31},
        {0x31, "", true, 0x31},      {0x10, "7", false, 0x10}, {0x00, nullptr, true, 0x00}};
    for (const auto& [given, typed, ok, expected] : cases) {
      std::string s = "provider=TCP_CLIENT;host=127.0.0.1;port=502";
      int address = given;
      QString shown;
      QVERIFY(RunClosing(s, [&, typed = typed, ok = ok] {
                if (!expert->isChecked()) expert->click();
                shown = field->isVisible() ? field->text() : "hidden";
                if (typed) field->setText(typed);
                Control<QPushButton>(ok ? "bOK" : "bCancel")->click();
              }, &address) == ok);
      QCOMPARE(shown, QString("%1").arg(given, 2, 16, QChar('0')).toUpper());
      QCOMPARE(address, expected);
    }
    expert->click();
    QVERIFY(Control<QWidget>("pAddress")->isHidden());
  }
};

QTEST_MAIN(TfConnectionDialogTest)
#include "ufConnectionDialog_test.moc"
