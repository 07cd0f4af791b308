#include <QComboBox>
#include <QSignalSpy>
#include <QTest>
#include <map>
#include <memory>

#include "app/uComPortScanner.h"
#include "app/uComPortStringList.h"
#include "support/TComPorts.h"
#include "support/TWait.h"

using namespace duomat;
using korvan::test::TComPorts;

// COM1 and COM3 free, COM4 a dangling link, COM5 held by another program.
class TComPortScannerTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TComPorts> machine_;
  std::unique_ptr<QComboBox> combo_;
  std::unique_ptr<TComPortStringList> list_;

  void Connect(TComPortScanner& scanner) {
    connect(&scanner, &TComPortScanner::OnPortState, list_.get(), &TComPortStringList::Update);
  }
  bool ScanToTheEnd(TComPortScanner& scanner) {
    scanner.StartScan();
    const bool complete = QTest::qWaitFor([&] { return scanner.Core().Shared().Complete(); }, 10000);
    QCoreApplication::sendPostedEvents();  // complete: every report is posted
    return complete;
  }
  QStringList Texts() const {
    QStringList texts;
    for (int i = 0; i < combo_->count(); ++i) texts << combo_->itemText(i);
    return texts;
  }
  int StateAt(int i) const { return combo_->itemData(i).value<TComPortItem>().State; }

 private slots:
  void init() {
    machine_ = std::make_unique<TComPorts>();
    machine_->AddTerminal(1);
    machine_->AddTerminal(3);
    machine_->AddDanglingLink(4);
    machine_->AddHeldTerminal(5);
    combo_ = std::make_unique<QComboBox>();
    list_ = std::make_unique<TComPortStringList>();
    list_->Bind(combo_.get());
  }
  void cleanup() {
    list_.reset();
    combo_.reset();
    machine_.reset();
  }

  void OneScanListsThePresentPortsInOrder() {
    TComPortScanner scanner;
    Connect(scanner);
    QVERIFY(ScanToTheEnd(scanner));
    QCOMPARE(Texts(), QStringList({"COM 1", "COM 3", "COM 5"}));
    QCOMPARE(StateAt(0), int(psFree));
    QCOMPARE(StateAt(1), int(psFree));
    QCOMPARE(StateAt(2), int(psNotAvailable));
    const std::pair<int, int> indexOfPort[] = {{1, 0}, {2, 0}, {3, 1}, {4, 1}, {6, 2}, {0, -1}};
    for (auto [port, index] : indexOfPort) QCOMPARE(list_->IndexOfPort(port), index);
    const std::pair<int, int> portAt[] = {{0, 1}, {1, 3}, {2, 5}, {3, 0}, {-1, 0}};
    for (auto [index, port] : portAt) QCOMPARE(list_->PortAt(index), port);

    machine_->Remove(3);  // unplugged between two scans
    QVERIFY(ScanToTheEnd(scanner));
    QCOMPARE(Texts(), QStringList({"COM 1", "COM 5"}));
  }

  void ProbedPortsShowTheSuffixAndTheTextEventMakesTheText() {
    list_->Update(7, psProbing);
    list_->Update(2, psFree);
    QCOMPARE(Texts(), QStringList({"COM 2", "COM 7 ..."}));
    list_->Update(7, psAbsent);
    list_->SetTextEvent([](int port, uint8_t, QString& text) { text += QString(" (%1)").arg(port * 10); });
    list_->Update(2, psNotAvailable);
    QCOMPARE(Texts(), QStringList({"COM 2 (20)"}));
  }

  void ARestartShowsNoResultOfTheFirstScan() {
    // The first probe of COM3 waits until the scan has been restarted, then
    // finds it "in use". Nothing is delivered before the restart, so every
    // report of the first scan is still queued then.
    std::atomic<int> probes3{0};
    std::atomic<bool> restarted{false};
    TComPortScanner scanner(nullptr, [&](int n) {
      if (n == 3 && probes3.fetch_add(1) == 0) korvan::test::WaitUntil([&] { return restarted.load(); });
      return ProbeComPort(n);
    });
    QSignalSpy states(&scanner, &TComPortScanner::OnPortState);
    scanner.StartScan();
    QVERIFY(korvan::test::WaitUntil([&] { return probes3.load() == 1; }));
    scanner.StartScan();
    restarted = true;
    QVERIFY(QTest::qWaitFor([&] { return scanner.Core().Shared().Complete(); }));
    QCoreApplication::sendPostedEvents();
    std::map<int, int> results;
    for (const QList<QVariant>& s : states)
      if (s.at(1).toInt() != psProbing) ++results[s.at(0).toInt()];
    QCOMPARE(int(results.size()), ComPortCount);
    for (auto [port, count] : results) QCOMPARE(count, 1);
    QCOMPARE(int(scanner.Core().Shared().State(3)), int(psFree));
  }

  void DestroyingDuringAScanEndsItsThreads() {
    auto scanner = std::make_unique<TComPortScanner>(nullptr, [](int n) {
      std::this_thread::sleep_for(std::chrono::microseconds(300));
      return ProbeComPort(n);
    });
    Connect(*scanner);
    scanner->StartScan();
    QVERIFY(QTest::qWaitFor([&] { return scanner->Core().Shared().State(30) != psNotScanned; }));
    scanner.reset();
    QCoreApplication::sendPostedEvents();  // anything still queued for it is gone with it
  }
};

QTEST_MAIN(TComPortScannerTest)
#include "uComPortScanner_test.moc"
