#include "app/ufCILog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QPlainTextEdit>
#include <QTimer>
#include <QToolButton>

#include <atomic>
#include <memory>
#include <thread>

#include "app/ui/TUiTest.h"
#include "comm/uci_ICommunicationInterfaceDataSpy.h"
#include "protocol/uKorvan97.h"
#include "support/TTestLine.h"
#include "support/TWait.h"

using duomat::TfCiLog;
using korvan::BuildPacket;
using korvan::CreateObject;
using korvan::TRef;
using korvan::test::TTestLine;

namespace {

const std::string Request = BuildPacket(0x31, 0x01, 0xF3, "");       // 2A 61 00 05 31 01 F3 4A 0D
const std::string Answer = BuildPacket(0x31, 0x01, 0x00, "AB");      // blue
const std::string Refusal = BuildPacket(0x31, 0x02, 0x05, "");       // red
const std::string Other = BuildPacket(0x31, 0x03, 0x1B, "");
const std::string Code31 = BuildPacket(0x31, 0x04, 0x31, "");

QString Hex(const std::string& bytes) {
  QString text;
  for (unsigned char b : bytes) text += QString::asprintf(text.isEmpty() ? "%02X" : " %02X", b);
  return text;
}

// One drawn line: its text without the time stamp and the colour of its text.
struct TLine {
  QString text;
  QColor colour;
  bool operator==(const TLine& other) const { return text == other.text && colour == other.colour; }
};

const QColor Green(0, 128, 0), Blue(0, 0, 255), Red(255, 0, 0), Magenta(255, 0, 255), Orange(255, 128, 0);

using TTraffic = QList<std::pair<int, std::string>>;
using TLines = QList<TLine>;

TLine Sent(const std::string& frame, QColor colour = Green) { return {"=> " + Hex(frame), colour}; }
TLine Read(const std::string& frame, QColor colour = Blue) { return {"<= " + Hex(frame), colour}; }

}  // namespace

namespace QTest {
template <>
char* toString(const TLine& line) {
  return qstrdup(qPrintable(line.text + " " + line.colour.name()));
}
}  // namespace QTest

class TfCiLogTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TfCiLog> log;
  TRef<TTestLine> line;

  QPlainTextEdit* Box() { return log->Log(); }
  void Spy(uint8_t direction, const std::string& data) { line->Spy(direction, data); }

  QList<TLine> Lines() {
    QList<TLine> lines;
    for (QTextBlock b = Box()->document()->begin(); b.isValid(); b = b.next()) {
      if (b.text().isEmpty()) continue;
      QTextBlock::iterator last;
      for (auto it = b.begin(); !it.atEnd(); ++it) last = it;
      static const QRegularExpression stamp(R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] )");
      lines.append({QString(b.text()).remove(stamp), last.fragment().charFormat().foreground().color()});
    }
    return lines;
  }

 private slots:
  void init() {
    korvan::ci::SetDataSpyHandler({});
    log = std::make_unique<TfCiLog>();
    line = CreateObject<TTestLine>();
    log->ShowLog("");
  }
  void cleanup() {
    log.reset();
    line = nullptr;
  }

  void writtenFrameIsOneGreenLineWithItsStamp() {
    TfCiLog::AddLine(Box(), "=> 2A 61 00 05 31 01 F3 4A 0D", Green, QDateTime(QDate(2026, 12, 7), QTime(12, 19, 51)),
                     true);
    const QTextBlock block = Box()->document()->firstBlock();
    QCOMPARE(block.text(), QString("[2026-12-07 12:19:51] => 2A 61 00 05 31 01 F3 4A 0D"));
    const QTextCharFormat stamp = block.begin().fragment().charFormat();
    QCOMPARE(stamp.fontFamilies().toStringList(), QStringList{"Lucida Console"});
    QCOMPARE(stamp.fontPointSize(), 6.0);
    QCOMPARE(stamp.foreground().color(), QColor(0, 0, 0));

    Box()->clear();
    Spy(1, Request);
    log->Timer1Timer();
    QCOMPARE(Lines(), QList<TLine>{Sent(Request)});
    QVERIFY(Box()->document()->firstBlock().text().startsWith('['));
  }

  void framesAreCutAndColoured_data() {
    QTest::addColumn<QString>("disabled");
    QTest::addColumn<TTraffic>("traffic");
    QTest::addColumn<TLines>("expected");
    using T = TTraffic;
    std::string badChecksum = Refusal;
    badChecksum[badChecksum.size() - 2] ^= 1;
    QTest::newRow("answer in two pieces") << "" << T{{2, Answer.substr(0, 4)}, {2, Answer.substr(4)}}
                                          << QList<TLine>{Read(Answer)};
    QTest::newRow("answer and refusal in one piece")
        << "" << T{{2, Answer + Refusal}} << QList<TLine>{Read(Answer), Read(Refusal, Red)};
    QTest::newRow("bad checksum dropped, the rest cut")
        << "" << T{{2, badChecksum + Answer}} << QList<TLine>{Read(Answer)};
    QTest::newRow("written tail is orange")
        << "" << T{{1, Request + "xy"}} << QList<TLine>{Sent(Request), {"=> 78 79", Orange}};
    QTest::newRow("received leftovers before a write are magenta")
        << "" << T{{2, "\x01\x02"}, {1, Request}} << QList<TLine>{{"<= 01 02", Magenta}, Sent(Request)};
    QTest::newRow("F3 hides a request and its answer")
        << "F3" << T{{1, Request}, {2, Answer}, {1, Other}, {2, Answer}}
        << QList<TLine>{Sent(Other), Read(Answer)};
    QTest::newRow("F310 also hides code 31")
        << "F310" << T{{1, Code31}, {2, Refusal}, {1, Other}} << QList<TLine>{Sent(Other)};
  }
  void framesAreCutAndColoured() {
    QFETCH(QString, disabled);
    QFETCH(TTraffic, traffic);
    QFETCH(TLines, expected);
    log->findChild<QLineEdit*>("edtDisabledInst")->setText(disabled);
    for (const auto& [direction, data] : traffic) Spy(static_cast<uint8_t>(direction), data);
    log->Timer1Timer();
    QCOMPARE(Lines(), expected);
  }

  void loneFirstPieceIsFlushedMagentaAndTheSecondFollows() {
    Spy(2, Answer.substr(0, 5));
    log->Timer1Timer();
    QVERIFY(Lines().isEmpty());
    log->Timer1Timer();
    Spy(2, Answer.substr(5));
    log->Timer1Timer();
    log->Timer1Timer();
    QCOMPARE(Lines(), (QList<TLine>{{"<= " + Hex(Answer.substr(0, 5)), Magenta},
                                    {"<= " + Hex(Answer.substr(5)), Magenta}}));
  }

  // Traffic that never pauses: a stray byte, or a head claiming a frame longer than all behind
  // it, is drawn at once and the frames after it are cut; an incomplete frame at the end waits.
  void strayBytesUnderContinuousTrafficHoldNothingBack() {
    Spy(2, "\x55" + Answer);
    log->Timer1Timer();
    Spy(2, std::string("*a\xff\xff", 4) + Refusal + Answer.substr(0, 3));
    log->Timer1Timer();
    Spy(2, Answer.substr(3));
    log->Timer1Timer();
    QCOMPARE(Lines(), (TLines{{"<= 55", Magenta}, Read(Answer), {"<= 2A 61 FF FF", Magenta}, Read(Refusal, Red),
                              Read(Answer)}));
  }

  void theTimerRunsOnlyWhileShownAndHidingDrawsWhatWasQueued() {
    auto* timer = log->findChild<QTimer*>("Timer1");
    Spy(1, Request);
    log->hide();
    QVERIFY(!timer->isActive());
    QCOMPARE(Lines(), TLines{Sent(Request)});
    log->ShowLog("");
    QVERIFY(timer->isActive());
    QCOMPARE(duomat::test::UnnamedFields(log.get()), QStringList());
  }

  void pauseHoldsEverythingAndReleaseDrawsInOrder() {
    auto* pause = log->findChild<QToolButton*>("sbPause");
    auto* timer = log->findChild<QTimer*>("Timer1");
    QVERIFY(timer->isActive());
    pause->click();
    QVERIFY(!timer->isActive());
    Spy(1, Request);
    Spy(2, Answer);
    Spy(1, Other);
    QVERIFY(Lines().isEmpty());
    pause->click();
    QTRY_COMPARE_WITH_TIMEOUT(Lines(), (QList<TLine>{Sent(Request), Read(Answer), Sent(Other)}), 10000);
  }

  void hiddenWindowAndOtherGuidsRecordNothing() {
    log->hide();
    Spy(1, Request);
    log->ShowLog(line->GetGUIDText());
    TRef<TTestLine> other = CreateObject<TTestLine>();
    other->Spy(1, Request);
    Spy(1, Other);
    log->Timer1Timer();
    QCOMPARE(Lines(), QList<TLine>{Sent(Other)});
  }

  void clearKeepsTheTrailingReceivedBytes() {
    Spy(1, Request);
    log->Timer1Timer();
    Spy(1, Other);
    Spy(2, Answer.substr(0, 4));
    log->findChild<QPushButton*>("btnClear")->click();
    QVERIFY(Lines().isEmpty());
    Spy(2, Answer.substr(4));
    log->Timer1Timer();
    QCOMPARE(Lines(), QList<TLine>{Read(Answer)});
  }

  void keepsTheNewestLinesAndTheOperatorsSelection() {
    auto select = [&](int block) {
      QTextCursor c(Box()->document()->findBlockByNumber(block));
      c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
      Box()->setTextCursor(c);
      return c.selectedText();
    };
    for (int i = 0; i < TfCiLog::MaxLines; ++i) Spy(1, Request);
    log->Timer1Timer();
    QCOMPARE(Box()->document()->blockCount(), TfCiLog::MaxLines);
    QVERIFY(!Box()->textCursor().hasSelection());
    const QString kept = select(10);
    for (int i = 0; i < 5; ++i) Spy(1, Other);
    log->Timer1Timer();
    QCOMPARE(Box()->textCursor().selectedText(), kept);
    QCOMPARE(Box()->document()->lastBlock().text().right(Hex(Other).size()), Hex(Other));
    QCOMPARE(Box()->verticalScrollBar()->value(), Box()->verticalScrollBar()->maximum());
    select(0);
    Spy(1, Other);
    log->Timer1Timer();
    QVERIFY(!Box()->textCursor().hasSelection());
    QCOMPARE(Box()->document()->blockCount(), TfCiLog::MaxLines);
  }

  void destroyingWhileAnotherThreadIsInsideTheHandler() {
    std::atomic<bool> stop{false};
    std::atomic<int> calls{0};
    std::thread writer([&] {
      while (!stop.load()) {
        line->Spy(1, Request);
        calls.fetch_add(1);
      }
    });
    QVERIFY(korvan::test::WaitUntil([&] { return calls.load() > 100; }));
    log.reset();
    QVERIFY(!korvan::ci::GetDataSpyHandler().Assigned());
    const int after = calls.load();
    QVERIFY(korvan::test::WaitUntil([&] { return calls.load() > after + 100; }));
    stop = true;
    writer.join();
  }
};

QTEST_MAIN(TfCiLogTest)
#include "ufCILog_test.moc"
