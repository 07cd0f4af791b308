// The real main window driven against korvan-sim, on a pseudo-terminal and on
// TCP. The dialog and the message boxes are answered and read through the
// window's two seams; the requests on the line through the data spy.
#include <QCheckBox>
#include <cstring>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>
#include <mutex>
#include <optional>

#include "app/uDataSpyChain.h"
#include "app/ufCILog.h"
#include "app/ufMain.h"
#include "core/uModuleSettings.h"
#include "app/uDoubleEdit.h"
#include "app/uIntEdit.h"
#include "app/ui/TUiTest.h"
#include "comm/uci_ICommunicationInterfaceDataSpy.h"
#include "core/uLibraryStart.h"
#include "protocol/uKorvan97.h"
#include "support/TSimProcess.h"
#include "support/TWait.h"

using namespace duomat;
using korvan::test::TPortDir;
using korvan::test::TSimProcess;
using duomat::test::ThreadCount;

namespace {

class TAnsweringDialog : public IConnectionDialog {
 public:
  std::optional<std::string> Answer;  // none: the operator cancels
  std::vector<std::string> Shown;
  bool Execute(std::string& connectionString) override {
    Shown.push_back(connectionString);
    if (!Answer) return false;
    connectionString = *Answer;
    return true;
  }
};

class TMessageList : public IMessageSink {
 public:
  std::vector<std::string> Texts;
  bool ShownWhileWaiting = false;
  void ShowMessage(const std::string& text) override {
    Texts.push_back(text);
    ShownWhileWaiting |= QApplication::overrideCursor() != nullptr;
  }
  std::string Last() const { return Texts.empty() ? std::string() : Texts.back(); }
};

// Frames written to any line, in order, and whether the wait cursor was up.
std::mutex g_sentMutex;
std::vector<korvan::TKorvanFormat97> g_sent;
size_t g_sentWithoutWaitCursor = 0;
void SpySent(korvan::ci::ICommunicationInterface*, const std::string& data, uint8_t direction) {
  if (direction != korvan::ci::SpyDirectionSent || korvan::CheckPacket(data) != 0) return;
  const QCursor* cursor = QApplication::overrideCursor();
  std::lock_guard<std::mutex> lock(g_sentMutex);
  g_sent.push_back(korvan::ParsePacket(data));
  g_sentWithoutWaitCursor += !cursor || cursor->shape() != Qt::WaitCursor;
}
std::vector<std::string> SentData(uint8_t code) {
  std::lock_guard<std::mutex> lock(g_sentMutex);
  std::vector<std::string> out;
  for (const auto& f : g_sent)
    if (f.code == code) out.push_back(f.data);
  return out;
}

}  // namespace

class TfMainTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TPortDir> ports_;
  std::vector<std::unique_ptr<TSimProcess>> sims_;
  std::unique_ptr<TfMain> w_;
  TAnsweringDialog dialog_;
  TMessageList messages_;

  template <class T = QWidget>
  T* Get(const char* name) {
    T* child = w_->findChild<T*>(name);
    if (!child) qFatal("no control %s", name);
    return child;
  }

  // Starts a simulated module on the test's line; its connection string.
  std::string Start(std::vector<std::string> options) {
    QFETCH(QString, line);
    const int com = static_cast<int>(sims_.size()) + 1;
    if (line == "pty") options.insert(options.end(), {"--link", ports_->Link(com)});
    else options.insert(options.end(), {"--tcp", "127.0.0.1:0"});
    sims_.push_back(std::make_unique<TSimProcess>(options));
    if (!sims_.back()->Started()) qFatal("korvan-sim did not start");
    return line == "pty" ? "provider=SERIAL_PORT;comport=" + std::to_string(com) + ";baudrate=9600"
                         : "provider=TCP_CLIENT;host=127.0.0.1;port=" + std::to_string(sims_.back()->TcpPort());
  }

  void Connect(const char* button, const std::string& connectionString) {
    dialog_.Answer = connectionString;
    Get<QPushButton>(button)->click();
  }

  static void Lines() {
    QTest::addColumn<QString>("line");
    QTest::newRow("pty") << "pty";
    QTest::newRow("tcp") << "tcp";
  }

  // The names of the enabled controls in a group, the group itself aside.
  QStringList EnabledIn(const char* group) {
    QStringList names;
    for (QWidget* c : Get(group)->findChildren<QWidget*>())
      if (c->isEnabled() && !c->objectName().isEmpty() && !c->objectName().startsWith("qt_")) names << c->objectName();
    names.sort();
    return names;
  }

 private slots:
  void initTestCase() {
    duomat::StartLibrary();
    korvan::ci::SetDataSpyHandler(korvan::ci::TDataSpyHandler::Bind<&SpySent>());
  }
  void cleanupTestCase() {
    korvan::ci::SetDataSpyHandler({});
    duomat::StopLibrary();
  }
  void init() {
    ports_ = std::make_unique<TPortDir>();
    qputenv("DUOMAT_DEV_DIR", QByteArray::fromStdString(ports_->Path()));
    w_ = std::make_unique<TfMain>();
    w_->SetConnectionDialog(&dialog_);
    w_->SetMessageSink(&messages_);
    dialog_ = {};
    messages_ = {};
    std::lock_guard<std::mutex> lock(g_sentMutex);
    g_sent.clear();
    g_sentWithoutWaitCursor = 0;
  }
  void cleanup() {
    korvan::ci::SetDataSpyHandler(korvan::ci::TDataSpyHandler::Bind<&SpySent>());
    w_.reset();
    sims_.clear();
    ports_.reset();
  }

  void onlyConnectButtonsWorkUntilConnected_data() { Lines(); }
  void onlyConnectButtonsWorkUntilConnected() {
    QCOMPARE(w_->size(), QSize(425, 505));
    QCOMPARE(w_->minimumSize(), w_->maximumSize());
    QVERIFY((w_->windowFlags() & Qt::WindowMinimizeButtonHint) && !(w_->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(EnabledIn("grpIngra"), QStringList{"btnIngraConnect"});
    QCOMPARE(EnabledIn("grpOutra"), QStringList{"btnOutraConnect"});
    QVERIFY(Get("grpIngra")->isEnabled() && Get("grpOutra")->isEnabled() && Get("btnClose")->isEnabled());
    // Enter presses the focused button; the operator cancels the dialog it opens.
    QTest::keyClick(Get("btnIngraConnect"), Qt::Key_Return);
    QCOMPARE(dialog_.Shown.size(), size_t(1));

    Connect("btnOutraConnect", Start({"--module", "outra"}));
    QVERIFY(messages_.Texts.empty());
    const QStringList watchdog1 = {"deOutraWatchDog1Value", "ieOutraWatchDog1Timeout", "lblOutraWatchDog1Timeout",
                                   "lblOutraWatchDog1Value"};
    const QStringList all = EnabledIn("grpOutra");
    for (const QString& name : watchdog1) QVERIFY2(!all.contains(name), qPrintable(name));
    QVERIFY(all.contains("btnOutraSave") && all.contains("chbOutraWatchDog2Enabled"));
    Get<QCheckBox>("chbOutraWatchDog1Enabled")->click();
    for (const QString& name : watchdog1) QVERIFY2(EnabledIn("grpOutra").contains(name), qPrintable(name));
    QVERIFY(!Get("deOutraWatchDog2Value")->isEnabled());
    QCOMPARE(EnabledIn("grpIngra"), QStringList{"btnIngraConnect"});

    Get<QPushButton>("btnOutraDisconnect")->click();
    QVERIFY(!w_->OutraRec().IsConnected());
    QCOMPARE(EnabledIn("grpOutra"), QStringList{"btnOutraConnect"});
  }

  void connectingReportsEachOutcome_data() { Lines(); }
  void connectingReportsEachOutcome() {
    const std::string good = Start({"--module", "ingra"});
    Connect("btnIngraConnect", good);
    QVERIFY(w_->IngraRec().IsConnected());
    dialog_.Answer.reset();
    Get<QPushButton>("btnIngraConnect")->click();
    QCOMPARE(dialog_.Shown.back(), good);
    QVERIFY(w_->IngraRec().IsConnected());
    QVERIFY(messages_.Texts.empty());

    Connect("btnIngraConnect", Start({"--module", "ingra", "--silent"}));
    QCOMPARE(messages_.Last(), std::string(msg::IngraNotAnswering));
    QVERIFY(!w_->IngraRec().IsConnected());
    QVERIFY(!Get("btnIngraLoad")->isEnabled());

    // The message, then what is wrong with the line.
    Connect("btnIngraConnect", "provider=SERIAL_PORT;comport=9;baudrate=9600");
    const std::string text = messages_.Last();
    QCOMPARE(text.substr(0, std::strlen(msg::OpenFailed)), std::string(msg::OpenFailed));
    QVERIFY2(text.find("\n\n") != std::string::npos && text.find("COM9") != std::string::npos, text.c_str());
    QVERIFY(!w_->IngraRec().IsConnected());
  }

  void ingraLoadsAndSavesWithinItsKind_data() { Lines(); }
  void ingraLoadsAndSavesWithinItsKind() {
    Connect("btnIngraConnect", Start({"--module", "ingra", "--codes", "2,2,1,2"}));
    auto* cbb = Get<QComboBox>("cbbIngraMeasureRange");
    Get<QPushButton>("btnIngraSave")->click();  // nothing loaded yet
    QCOMPARE(messages_.Last(), std::string(msg::IngraSaveFailed));
    QVERIFY(SentData(0x1A).empty());

    Get<QPushButton>("btnIngraLoad")->click();
    QCOMPARE(messages_.Last(), std::string(msg::IngraLoaded));
    QCOMPARE(cbb->count(), 2);
    QCOMPARE(cbb->itemText(0), QString("4 - 20 mA"));
    QCOMPARE(cbb->currentText(), QString("0 - 20 mA"));
    cbb->setCurrentIndex(0);
    Get<QPushButton>("btnIngraSave")->click();
    QCOMPARE(messages_.Last(), std::string(msg::IngraSaved));
    QCOMPARE(SentData(0x1A), std::vector<std::string>{std::string("\x01\x01\x02\x01\x03\x01\x04\x01", 8)});

    Connect("btnIngraConnect", Start({"--module", "ingra", "--kind", "voltage"}));
    Get<QPushButton>("btnIngraLoad")->click();
    QCOMPARE(cbb->count(), 1);
    QCOMPARE(cbb->currentText(), QString("0 - 10 V"));
    QCOMPARE(g_sentWithoutWaitCursor, size_t(0));
    QVERIFY(!messages_.ShownWhileWaiting);
  }

  void outraConvertsValuesByRange_data() { Lines(); }
  void outraConvertsValuesByRange() {
    Connect("btnOutraConnect", Start({"--module", "outra", "--ranges", "3,3"}));
    auto* cbb = Get<QComboBox>("cbbOutraMeasureRange");
    auto* value1 = Get<TDoubleEdit>("deOutraWatchDog1Value");
    auto* value2 = Get<TDoubleEdit>("deOutraWatchDog2Value");
    auto* timeout2 = Get<TIntEdit>("ieOutraWatchDog2Timeout");
    auto& device = *w_->OutraRec().Device();
    int raw1 = -1, raw2 = -1, t1 = -1, t2 = -1;
    QVERIFY(device.SetWatchDogValues(2048, 2048));
    Get<QPushButton>("btnOutraLoad")->click();
    QCOMPARE(messages_.Last(), std::string(msg::OutraLoaded));
    QCOMPARE(cbb->currentText(), QString("-10 - 10 V"));
    QCOMPARE(value1->Value(), 0.0);
    QCOMPARE(value1->MinValue(), -10.0);

    // A range change limits both value fields at once.
    cbb->setCurrentIndex(4);
    emit cbb->activated(4);
    QCOMPARE(value1->MinValue(), 4.0);
    QCOMPARE(value2->MaxValue(), 20.0);

    struct {
      double value;
      int raw;
    } cases[] = {{20.0, 4095}, {4.0, 0}, {12.0, 2048}};
    Get<QCheckBox>("chbOutraWatchDog1Enabled")->setChecked(true);
    Get<TIntEdit>("ieOutraWatchDog1Timeout")->SetValue(60);
    timeout2->SetValue(30);  // with its watchdog off
    for (const auto& c : cases) {
      value1->SetValue(c.value);
      value2->SetValue(c.value);
      Get<QPushButton>("btnOutraSave")->click();
      QCOMPARE(messages_.Last(), std::string(msg::OutraSaved));
      QVERIFY(device.GetWatchDogValues(raw1, raw2));
      QCOMPARE(raw1, c.raw);
      QCOMPARE(raw2, c.raw);
    }
    QVERIFY(device.GetWatchDogTimeouts(t1, t2));
    QCOMPARE(t1, 60);
    QCOMPARE(t2, 0);
    uint8_t code1 = 0, code2 = 0;
    QVERIFY(device.GetRanges(code1, code2));
    QCOMPARE(int(code2), 5);
  }

  void ctrlDoubleClickShowsTheNextRequestInTheLog_data() { Lines(); }
  void ctrlDoubleClickShowsTheNextRequestInTheLog() {
    TfCiLog log;  // takes the data spy, as in the program
    ChainDataSpyHandler(korvan::ci::TDataSpyHandler::Bind<&SpySent>());
    struct TUnchain {
      ~TUnchain() { UnchainDataSpyHandler(); }  // before the log goes, however the test ends
    } unchain;
    w_->SetShowLog([&](const std::string& guid) { log.ShowLog(guid); });
    Connect("btnIngraConnect", Start({"--module", "ingra"}));
    QWidget* panel = Get("pnlButtons");
    QTest::mouseDClick(panel, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QVERIFY(!log.isVisible());
    QTest::mouseDClick(panel, Qt::LeftButton, Qt::ControlModifier, QPoint(10, 10));
    QVERIFY(log.isVisible());
    log.hide();  // and Ctrl+Shift+L, for those who cannot double-click
    w_->show();
    QVERIFY(QTest::qWaitForWindowActive(w_.get()));
    QTest::keyClick(w_.get(), Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(log.isVisible());
    Get<QPushButton>("btnIngraLoad")->click();
    QTRY_VERIFY(log.Log()->toPlainText().contains(QRegularExpression("=> 2A 61 00 05 31 .. 1B ")));
    QTRY_VERIFY(log.Log()->toPlainText().contains("<= 2A 61 00 0D 31"));
    QCOMPARE(SentData(0x1B).size(), size_t(1));  // the handler chained in front still sees it
  }

  void everyFieldHasItsOwnNameForAScreenReader() { QCOMPARE(duomat::test::UnnamedFields(w_.get()), QStringList()); }

  void closingWhileConnectedLeavesNoThread_data() { Lines(); }
  void closingWhileConnectedLeavesNoThread() {
    const std::string line = Start({"--module", "outra"});
    const size_t before = ThreadCount();
    bool closed = false;
    connect(w_.get(), &TfMain::Closed, [&] { closed = true; });
    Connect("btnOutraConnect", line);
    QVERIFY(w_->OutraRec().IsConnected());
    Get<QPushButton>("btnClose")->click();
    QVERIFY(closed);
    w_.reset();
    QVERIFY(korvan::test::WaitUntil([&] { return ThreadCount() <= before; }));
  }
};

QTEST_MAIN(TfMainTest)
#include "ufMain_test.moc"
