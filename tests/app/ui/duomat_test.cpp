// The program duomat as a process: its switches without a display, and a
// signal that closes the window and ends it cleanly.
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <fstream>

#include "support/TBuildPath.h"
#include "support/TWait.h"

// The window program of this build.
#define DUOMAT_PATH ::korvan::test::InBuild("app/duomat")

namespace {

QProcessEnvironment Environment(bool display) {
  static QTemporaryDir machine;  // no ports, no devices: the dialog's scan finds nothing of the machine's
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LANGUAGE", "LC_ALL", "LC_MESSAGES"})
    env.remove(name);
  env.insert("LANG", "C");  // the messages in Czech, whatever the machine's language
  for (const char* name : {"DUOMAT_PORT_DIR", "DUOMAT_DEV_DIR", "DUOMAT_SYSFS_ROOT"}) env.insert(name, machine.path());
  env.insert("XDG_CONFIG_HOME", machine.path());  // the user's kept connections stay out of it
  if (display) env.insert("QT_QPA_PLATFORM", "offscreen");
  return env;
}

// Whether the process has its own handler for the signal yet.
bool Catches(qint64 pid, int signal) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
  return false;
}

}  // namespace

class DuomatTest : public QObject {
  Q_OBJECT

 private slots:
  void switchesNeedNoDisplay_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    QTest::newRow("version") << QStringList{"--version"} << 0 << "duomat 1.";
    QTest::newRow("help") << QStringList{"--help"} << 0 << "--ingra CONNECTION";
    QTest::newRow("help: the terminal's socket") << QStringList{"--help"} << 0 << "in /tmp/duomat-<uid>";
    QTest::newRow("missing value") << QStringList{"--outra"} << 2 << "--outra needs a connection string";
    QTest::newRow("unknown language") << QStringList{"--lang", "de"} << 2 << "--lang de: the languages are cs and en";
    QTest::newRow("language missing") << QStringList{"--lang"} << 2 << "--lang needs a language";
    QTest::newRow("help: the language") << QStringList{"--help"} << 0 << "--lang cs|en";
    QTest::newRow("no display") << QStringList{} << 1 << "duomat: no display";
    QTest::newRow("help: every exit status") << QStringList{"--help"} << 0 << "  1   no display";
    // A mistyped switch is refused, not left to Qt to ignore; Qt's own pass.
    QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << "duomat: unknown option --bogus";
    QTest::newRow("unknown, like ours") << QStringList{"--ingrax", "x"} << 2 << "unknown option --ingrax";
    QTest::newRow("Qt's own, then unknown") << QStringList{"-style", "fusion", "-reverse", "-x"} << 2
                                            << "unknown option -x";
    QTest::newRow("Qt's own with its value") << QStringList{"--style=fusion", "-stylesheet", "-x"} << 1
                                             << "duomat: no display";
  }
  void switchesNeedNoDisplay() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, output);
    QProcess p;
    p.setProcessEnvironment(Environment(false));
    p.start(DUOMAT_PATH, arguments);
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), status);
    QVERIFY(QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()).contains(output));
  }

  void aSignalClosesTheWindowAndEndsCleanly_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
  }
  void aSignalClosesTheWindowAndEndsCleanly() {
    QFETCH(int, signal);
    QProcess p;
    p.setProcessEnvironment(Environment(true));
    // A preset string that breaks the rule is said at start (in a message box) and not used.
    p.start(DUOMAT_PATH, {"--ingra", "provider=TCP_CLIENT;host=127.0.0.1;port=1", "--outra", "comport=65541", "DST"});
    QVERIFY(p.waitForStarted(30000));
    QVERIFY(korvan::test::WaitUntil([&] { return Catches(p.processId(), signal); }, std::chrono::seconds(30)));
    ::kill(static_cast<pid_t>(p.processId()), signal);
    const bool finished = p.waitForFinished(30000);
    if (!finished) p.kill();
    QVERIFY(finished);
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    // In the window's language, Czech here.
    QVERIFY(p.readAllStandardError().contains("duomat: --outra: chybí provider"));
  }
};

QTEST_GUILESS_MAIN(DuomatTest)
#include "duomat_test.moc"
