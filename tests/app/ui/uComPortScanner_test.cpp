#include <QComboBox>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <map>

#include "app/uComPortScanner.h"
#include "app/uComPortStringList.h"
#include "support/TComPorts.h"
#include "support/TWait.h"

using namespace duomat;

// COM1 and COM3 free, COM4 a dangling link, COM5 held by another program.
class TComPortScannerTest : public QObject {
  Q_OBJECT

  korvan::test::TComPorts machine_;
  QComboBox combo_;
  TComPortStringList list_;

  static bool ScanToTheEnd(TComPortScanner& scanner, bool start = true) {
    if (start) scanner.StartScan();
    const bool complete = QTest::qWaitFor([&] { return scanner.Core().Shared().Complete(); }, 10000);
    QCoreApplication::sendPostedEvents();  // complete: every report is posted
    return complete;
  }
  QStringList Texts() const {
    QStringList texts;
    for (int i = 0; i < combo_.count(); ++i) texts << combo_.itemText(i);
    return texts;
  }

 private slots:
  void initTestCase() {
    machine_.AddTerminal(1);
    machine_.AddTerminal(3);
    machine_.AddDanglingLink(4);
    machine_.AddTerminal(5, true);
    list_.Bind(&combo_);
  }

  void OneScanListsThePresentPortsInOrder() {
    TComPortScanner scanner;
    connect(&scanner, &TComPortScanner::OnPortState, &list_, &TComPortStringList::Update);
    QVERIFY(ScanToTheEnd(scanner));
    QCOMPARE(Texts(), QStringList({"COM 1", "COM 3", "COM 5"}));
    for (auto [index, state] : {std::pair{0, psFree}, {1, psFree}, {2, psNotAvailable}})
      QCOMPARE(combo_.itemData(index).value<TComPortItem>().State, state);
    for (auto [port, index] : {std::pair{1, 0}, {2, 0}, {3, 1}, {4, 1}, {6, 2}, {0, -1}})
      QCOMPARE(list_.IndexOfPort(port), index);
    for (auto [index, port] : {std::pair{0, 1}, {1, 3}, {2, 5}, {3, 0}, {-1, 0}}) QCOMPARE(list_.PortAt(index), port);

    std::filesystem::remove(machine_.Link(3));  // unplugged between two scans
    QVERIFY(ScanToTheEnd(scanner));
    QCOMPARE(Texts(), QStringList({"COM 1", "COM 5"}));
  }

  void ARestartShowsNoResultOfTheFirstScan() {
    // The first probe of COM3 waits until the scan has been restarted. Nothing
    // is delivered before the restart, so every report of the first scan is
    // still queued then.
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
    QVERIFY(ScanToTheEnd(scanner, false));
    std::map<int, int> results;
    for (const QList<QVariant>& s : states)
      if (s.at(1).toInt() != psProbing) ++results[s.at(0).toInt()];
    QCOMPARE(int(results.size()), ComPortCount);
    for (auto [port, count] : results) QCOMPARE(count, 1);
  }

  void DestroyingDuringAScanEndsItsThreads() {
    auto scanner = std::make_unique<TComPortScanner>(nullptr, [](int) {
      std::this_thread::sleep_for(std::chrono::microseconds(300));
      return TComPortProbe{};
    });
    scanner->StartScan();
    QVERIFY(QTest::qWaitFor([&] { return scanner->Core().Shared().State(30) != psNotScanned; }));
    scanner.reset();
    QCoreApplication::sendPostedEvents();  // anything still queued for it is gone with it
  }
};

QTEST_MAIN(TComPortScannerTest)
#include "uComPortScanner_test.moc"
