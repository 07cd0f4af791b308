// Opens the program's windows one by one in a defined state and saves each
// as a PNG, window frame included: what scripts/screenshots runs under Xvfb
// so that captions, Czech texts and layouts can be looked at.
//
//   duomat-screenshots --out DIR --ingra CONNECTION --outra CONNECTION [--lang en]
//
// With --lang en the windows speak English and every file name ends in "-en".
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QDeadlineTimer>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/uKorvanStackDeviceIngraRec.h"
#include "core/uKorvanStackDeviceOutraRec.h"
#include "app/ufCILog.h"
#include "app/ufConnectionDialog.h"
#include "app/ufAddressDialog.h"
#include "app/ufMain.h"
#include "app/ufScanDialog.h"
#include <QEventLoop>
#include <QLineEdit>
#include "app/ufOutputTestDialog.h"
#include "app/ufProfileDialog.h"
#include "app/uIntEdit.h"
#include "app/uQtTranslation.h"
#include <QCheckBox>
#include "core/uLibraryStart.h"

namespace {

struct TOptions {
  QString out;
  std::string ingra, outra;
  QString suffix;  // before ".png": "-en" for the English windows
};

// Lets the window manager frame the window and the window paint itself.
void Settle(QWidget* window) {
  QDeadlineTimer framed(3000);
  while (!framed.hasExpired() &&
         (!window->windowHandle() || !window->windowHandle()->isExposed() ||
          window->frameGeometry() == window->geometry()))
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  QDeadlineTimer painted(300);
  while (!painted.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Save(QWidget* window, const TOptions& o, const QString& name) {
  Settle(window);
  const QRect frame = window->frameGeometry();
  const QPixmap shot = window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  const QString path = o.out + "/" + QString(name).replace(".png", o.suffix + ".png");
  const bool ok = shot.save(path, "PNG");
  std::printf("%s %s (%dx%d)\n", ok ? "wrote" : "FAILED", qPrintable(path), frame.width(), frame.height());
  return ok;
}

// Runs the dialog's Execute with the string and takes the picture while it is open.
bool ShootDialog(duomat::TfConnectionDialog& dialog, const TOptions& o, std::string connection, const QString& name) {
  bool ok = false;
  QTimer shooter;
  QObject::connect(&shooter, &QTimer::timeout, &dialog, [&] {
    if (!dialog.isVisible()) return;  // a COM refresh inside Execute pumps events first
    shooter.stop();
    // Until the scan is through, probed ports show " ...".
    auto* ports = dialog.findChild<QComboBox*>("cbCOM");
    QDeadlineTimer scanned(5000);
    while (!scanned.hasExpired() && ports->findText(" ...", Qt::MatchEndsWith) >= 0)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ok = Save(&dialog, o, name);
    dialog.findChild<QPushButton*>("bCancel")->click();
  });
  shooter.start(5);
  dialog.Execute(connection);
  return ok;
}

// Traffic of both modules: identification, settings, and bytes that are no frame.
void MakeTraffic(const TOptions& o) {
  duomat::TKorvanStackDeviceIngraRec ingra;
  duomat::TKorvanStackDeviceOutraRec outra;
  ingra.SetConnectionString(o.ingra);
  outra.SetConnectionString(o.outra);
  if (ingra.Connect()) {
    ingra.Device()->ReadIdentification();
    korvan::TIngraRanges ranges{};
    ingra.Device()->GetRanges(ranges);
  }
  if (outra.Connect()) {
    outra.Device()->ReadIdentification();
    uint8_t code1 = 0, code2 = 0;
    int t1 = 0, t2 = 0;
    outra.Device()->GetRanges(code1, code2);
    outra.Device()->GetWatchDogTimeouts(t1, t2);
    outra.CommInterface()->Write(std::string("\x01\x02\x03", 3));
  }
  // Two ticks draw everything, then the records disconnect.
  QDeadlineTimer drawn(700);
  while (!drawn.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The main window answers its dialog with the simulators' strings and keeps
// its messages to itself.
struct TPresetDialog : duomat::IConnectionDialog {
  std::string Next;
  bool Execute(std::string& connection) override {
    connection = Next;
    return true;
  }
};
struct TQuietSink : duomat::IMessageSink {
  void ShowMessage(const std::string&) override {}
};

// Before connecting, then both modules connected and loaded, watchdog 1 on.
bool ShootMain(const TOptions& o) {
  duomat::TfMain main;
  TPresetDialog dialog;
  TQuietSink sink;
  main.SetConnectionDialog(&dialog);
  main.SetMessageSink(&sink);
  main.show();
  bool ok = Save(&main, o, "main-disconnected.png");
  auto click = [&](const char* name) { main.findChild<QPushButton*>(name)->click(); };
  dialog.Next = o.ingra;
  click("btnIngraConnect");
  click("btnIngraLoad");
  dialog.Next = o.outra;
  click("btnOutraConnect");
  click("btnOutraLoad");
  main.findChild<QCheckBox*>("chbOutraWatchDog1Enabled")->setChecked(true);
  main.findChild<duomat::TIntEdit*>("ieOutraWatchDog1Timeout")->SetValue(60);
  ok &= Save(&main, o, "main-connected.png");
  return ok;
}

// The scan dialog after a scan of the Outra's line around its address.
bool ShootScan(const TOptions& o) {
  duomat::TfScanDialog dialog;
  dialog.SetLine(o.outra);
  dialog.findChild<QLineEdit*>("eFrom")->setText("28");
  dialog.findChild<QLineEdit*>("eTo")->setText("38");
  dialog.show();
  QEventLoop loop;
  QObject::connect(&dialog, &duomat::TfScanDialog::ScanFinished, &loop, &QEventLoop::quit);
  QTimer::singleShot(20000, &loop, &QEventLoop::quit);
  dialog.findChild<QPushButton*>("btnSearch")->click();
  loop.exec();
  return Save(&dialog, o, "scan-dialog.png");
}

// Runs the event loop until `signal` comes, or three seconds have passed.
template <class TSender, class TSignal>
void WaitFor(TSender* sender, TSignal signal) {
  QEventLoop loop;
  QObject::connect(sender, signal, &loop, &QEventLoop::quit);
  QTimer::singleShot(3000, &loop, &QEventLoop::quit);
  loop.exec();
}

void Pump(int ms) {
  QDeadlineTimer until(ms);
  while (!until.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The field-work dialogs on the Outra: a restore from a file whose watchdog 1
// differs, the address and rate read, and the output test after two commands.
bool ShootFieldWork(const TOptions& o) {
  bool ok = true;
  duomat::TKorvanStackDeviceOutraRec outra;
  outra.SetConnectionString(o.outra);
  if (!outra.Connect()) return false;
  // The same start in every language: the simulator keeps what the run before set.
  outra.Device()->SetWatchDogTimeouts(0, 0);
  outra.Device()->SetWatchDogValues(0, 0);
  outra.Device()->SetOutputs(0, 0, true);
  QTemporaryDir dir;
  const QString path = dir.filePath("outra.json");
  QFile file(path);
  file.open(QIODevice::WriteOnly);
  file.write(R"({"module":"outra","codes":[1,1],"watchdogs":[{"timeout":60,"value":2.5},{"timeout":0,"value":0}]})");
  file.close();
  QString message;
  if (const auto profile = duomat::ReadProfileFile(path, duomat::TModuleKind::Outra, message)) {
    duomat::TfProfileDialog restore(duomat::TProfileTask::Restore, duomat::TModuleKind::Outra, nullptr,
                                    outra.Device().get(), path, *profile);
    restore.show();
    WaitFor(&restore, &duomat::TfProfileDialog::StepDone);
    ok &= Save(&restore, o, "profile-restore.png");
  }
  {
    outra.Device()->SetWatchDogTimeouts(60, -1);  // one clock running, one watchdog off
    duomat::TfOutputTestDialog test(outra.Device().get());
    test.show();
    Settle(&test);
    WaitFor(&test, &duomat::TfOutputTestDialog::Ready);
    auto* value1 = test.findChild<QDoubleSpinBox*>("deValue1");
    auto* value2 = test.findChild<QDoubleSpinBox*>("deValue2");
    auto* send = test.findChild<QPushButton*>("btnSend");
    value1->setValue(2.5);
    value2->setValue(7.5);
    send->click();
    Pump(2500);
    value1->setValue(6.0);
    send->click();
    Pump(2500);
    ok &= Save(&test, o, "output-test.png");
  }
  const std::string connection = outra.GetConnectionString();
  outra.Disconnect();  // the address dialog opens a line of its own
  duomat::TfAddressDialog address(duomat::TModuleKind::Outra, connection, 0x31);
  address.show();
  WaitFor(&address, &duomat::TfAddressDialog::StepDone);
  ok &= Save(&address, o, "address-dialog.png");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TOptions o;
  const QStringList args = app.arguments();
  for (int i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == "--out") o.out = args[i + 1];
    if (args[i] == "--ingra") o.ingra = args[i + 1].toStdString();
    if (args[i] == "--outra") o.outra = args[i + 1].toStdString();
    if (args[i] == "--lang" && args[i + 1] == "en") {
      duomat::InstallUiLanguage(app, duomat::TUiLanguage::English);
      o.suffix = "-en";
    }
  }
  if (o.out.isEmpty()) {
    std::fprintf(stderr, "usage: duomat-screenshots --out DIR --ingra CONNECTION --outra CONNECTION [--lang en]\n");
    return 2;
  }
  duomat::StartLibrary();
  bool ok = true;
  {
    ok &= ShootMain(o);
    ok &= ShootScan(o);
    duomat::TfConnectionDialog dialog;
    duomat::TfCiLog log;
    ok &= ShootDialog(dialog, o, "provider=SERIAL_PORT;comport=1;baudrate=9600", "connection-dialog.png");
    ok &= ShootDialog(dialog, o, "provider=FTD_USB;serial_number=;baudrate=115200", "connection-dialog-expert.png");
    log.ShowLog("");
    MakeTraffic(o);
    ok &= Save(&log, o, "communication-log.png");
  }
  ok &= ShootFieldWork(o);
  duomat::StopLibrary();
  return ok ? 0 : 1;
}
