#include "app/ufCILog.h"

#include <QColor>
#include <QGuiApplication>
#include <QHideEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>

#include "comm/uci_ICommunicationInterfaceDataSpy.h"
#include "comm/uiNodedInterface.h"
#include "protocol/uKorvan97.h"
#include "ui_ufCILog.h"

namespace duomat {

using korvan::ci::ICommunicationInterface;
using korvan::ci::TDataSpyHandler;

namespace {

constexpr uint8_t DirectionSent = korvan::ci::SpyDirectionSent;
constexpr uint8_t DirectionReceived = korvan::ci::SpyDirectionReceived;

// The kinds of line and their colours.
enum TLineKind { lkSent, lkAnswer, lkRefusal, lkReceivedBytes, lkSentBytes };
const QColor LineColours[] = {QColor(0, 128, 0), QColor(0, 0, 255), QColor(255, 0, 0), QColor(255, 0, 255),
                              QColor(255, 128, 0)};

// "2A 61 00 05": two upper-case digits a byte, one space between.
QString HexText(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (unsigned char b : bytes) {
    if (!text.empty()) text += ' ';
    text += digits[b >> 4];
    text += digits[b & 0x0F];
  }
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QDateTime ToDateTime(std::chrono::system_clock::time_point time) {
  if (time.time_since_epoch().count() == 0) return {};
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
  return QDateTime::fromMSecsSinceEpoch(ms);
}

QTextCharFormat StampFormat() {
  QTextCharFormat format;
  format.setFontFamilies({QStringLiteral("Lucida Console")});
  format.setFontStyleHint(QFont::Monospace);  // where the font is missing
  format.setFontPointSize(6);
  format.setForeground(QColor(0, 0, 0));
  return format;
}

QTextCharFormat TextFormat(const QColor& colour) {
  QTextCharFormat format;
  format.setFontFamilies({QStringLiteral("Calibri")});
  format.setFontPointSize(10);
  format.setForeground(colour);
  return format;
}

// How many bytes at the head of the received text can start no frame: those
// before the next "*a" that begins a whole valid frame; failing that, when the
// head is no "*a" itself, those before the next "*a" (or a "*" at the very
// end). 0 while the head may still be a frame on its way.
size_t StrayHead(const std::string& buffer) {
  for (size_t p = buffer.find("*a", 1); p != std::string::npos; p = buffer.find("*a", p + 1)) {
    const size_t length = korvan::CompletePacketLength(buffer, p);
    if (length > 0 && korvan::CheckPacket(std::string_view(buffer).substr(p, length)) == 0) return p;
  }
  if (buffer.empty() || buffer.compare(0, 2, "*a") == 0 || buffer == "*") return 0;
  const size_t next = buffer.find("*a", 1);
  if (next != std::string::npos) return next;
  return buffer.back() == '*' ? buffer.size() - 1 : buffer.size();
}

void PrepareDocument(QTextDocument* document) {
  document->setUndoRedoEnabled(false);
  document->setMaximumBlockCount(TfCiLog::MaxLines);
}

}  // namespace

// One batch of lines: the box's updates suspended and the document's change
// signals held until the end. Lines go in through a cursor of their own and
// only at the end, and the line limit drops text only at the start, so the
// operator's selection is put back by its distance from the start, less what
// was dropped; a selection entirely inside dropped lines is cleared.
class TLogBatch {
 public:
  TLogBatch(QPlainTextEdit* box, bool scroll)
      : box_(box), scroll_(scroll), updates_(box->updatesEnabled()), cursor_(box->document()) {
    const QTextCursor selection = box_->textCursor();
    anchor_ = selection.anchor();
    position_ = selection.position();
    length_ = box_->document()->characterCount();
    box_->setUpdatesEnabled(false);
    cursor_.movePosition(QTextCursor::End);
    cursor_.beginEditBlock();
  }
  ~TLogBatch() {
    cursor_.endEditBlock();
    if (anchor_ != position_) RestoreSelection();
    if (scroll_) box_->verticalScrollBar()->setValue(box_->verticalScrollBar()->maximum());
    box_->setUpdatesEnabled(updates_);
  }
  TLogBatch(const TLogBatch&) = delete;
  TLogBatch& operator=(const TLogBatch&) = delete;

  void Add(const QString& text, const QTextCharFormat& format, const QDateTime& time) {
    // The empty document has one empty block that takes the first line.
    if (!cursor_.atStart()) {
      cursor_.insertBlock();
      ++inserted_;
    }
    if (time.isValid()) {
      static const QTextCharFormat stamp = StampFormat();
      const QString stampText = time.toString(QStringLiteral("[yyyy-MM-dd HH:mm:ss]")) + QLatin1Char(' ');
      cursor_.insertText(stampText, stamp);
      inserted_ += static_cast<int>(stampText.size());
    }
    cursor_.insertText(text, format);
    inserted_ += static_cast<int>(text.size());
  }

 private:
  void RestoreSelection() {
    const int dropped = length_ + inserted_ - box_->document()->characterCount();
    const int anchor = std::max(anchor_ - dropped, 0), position = std::max(position_ - dropped, 0);
    QTextCursor selection(box_->document());
    selection.setPosition(anchor);
    selection.setPosition(position, QTextCursor::KeepAnchor);
    if (selection != box_->textCursor()) box_->setTextCursor(selection);
  }

  QPlainTextEdit* box_;
  bool scroll_;
  bool updates_;
  int anchor_ = 0, position_ = 0, length_ = 0, inserted_ = 0;
  QTextCursor cursor_;
};

TfCiLog::TfCiLog(QWidget* parent) : QWidget(parent, Qt::Tool), ui(std::make_unique<Ui::TfCiLog>()) {
  ui->setupUi(this);
  FormCreate();
}

TfCiLog::~TfCiLog() { FormDestroy(); }

void TfCiLog::FormCreate() {
  PrepareDocument(ui->reLog->document());
  // Named for a screen reader: neither has a label.
  ui->reLog->setAccessibleName(windowTitle());
  ui->edtDisabledInst->setAccessibleName(QStringLiteral("Disabled Inst: codes of hidden frames"));
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(250);
  connect(Timer1, &QTimer::timeout, this, &TfCiLog::Timer1Timer);
  connect(ui->btnClear, &QPushButton::clicked, this, &TfCiLog::btnClearClick);
  connect(ui->sbPause, &QToolButton::clicked, this, &TfCiLog::sbPauseClick);
  skipNext_ = false;
  pendingReceive_.clear();
  korvan::ci::SetDataSpyHandler(SpyHandler());
  // The timer runs while the window is shown (see showEvent): hidden, it
  // records nothing, and an idle program sleeps.
}

void TfCiLog::FormDestroy() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    guidFilter_ = "NoGuid";
  }
  // Leaving the handler installed would have other threads call into a
  // freed window. Clearing it waits for a call that is inside it, so this
  // must not hold the queue's lock.
  if (korvan::ci::GetDataSpyHandler() == SpyHandler()) korvan::ci::SetDataSpyHandler(TDataSpyHandler());
}

TDataSpyHandler TfCiLog::SpyHandler() { return TDataSpyHandler::Bind<&TfCiLog::DataSpy>(this); }

QPlainTextEdit* TfCiLog::Log() const { return ui->reLog; }

void TfCiLog::ShowLog(const std::string& guid) {
  {
    std::lock_guard<std::mutex> lock(lock_);
    guidFilter_ = guid;
  }
  if (!centred_) {
    if (QScreen* screen = QGuiApplication::primaryScreen())
      move(screen->availableGeometry().center() - rect().center());
    centred_ = true;
  }
  show();
  raise();
  activateWindow();
}

void TfCiLog::showEvent(QShowEvent* event) {
  shown_.store(true);
  if (!ui->sbPause->isChecked()) Timer1->start();
  QWidget::showEvent(event);
}

void TfCiLog::hideEvent(QHideEvent* event) {
  // A minimised window is still open and keeps recording.
  if (!event->spontaneous()) {
    shown_.store(false);
    Timer1Timer();  // what was queued is drawn
    Timer1->stop();
  }
  QWidget::hideEvent(event);
}

void TfCiLog::DataSpy(ICommunicationInterface* Sender, const std::string& Data, uint8_t Direction) {
  if (Sender == nullptr || !shown_.load() || Data.empty()) return;
  auto* node = dynamic_cast<korvan::INodedInterface*>(Sender);
  if (node == nullptr) return;
  const std::string guid = node->GetGUIDText();
  const auto now = std::chrono::system_clock::now();
  std::lock_guard<std::mutex> lock(lock_);
  if (!guidFilter_.empty() && guidFilter_ != guid) return;
  queue_.push_back(TLogStruct{Data, now, Direction});
}

void TfCiLog::AddLine(QPlainTextEdit* box, const QString& text, const QColor& colour, const QDateTime& time, bool scroll) {
  TLogBatch batch(box, scroll);
  batch.Add(text, TextFormat(colour), time);
}

void TfCiLog::AppendLine(TLogBatch& batch, const std::string& bytes, int kind, const QDateTime& time) {
  static const QTextCharFormat formats[] = {TextFormat(LineColours[lkSent]), TextFormat(LineColours[lkAnswer]),
                                            TextFormat(LineColours[lkRefusal]),
                                            TextFormat(LineColours[lkReceivedBytes]),
                                            TextFormat(LineColours[lkSentBytes])};
  const bool sent = kind == lkSent || kind == lkSentBytes;
  const QString text = QLatin1String(sent ? "=> " : "<= ") + HexText(bytes);
  batch.Add(text, formats[kind], time);
}

void TfCiLog::ShowFrames(TLogBatch& batch, std::string& buffer, uint8_t direction, const QDateTime& time) {
  const QString disabled = ui->edtDisabledInst->text();
  for (;;) {
    const std::string frame = korvan::ExtractPacket(buffer, true);
    if (frame.empty()) {
      // A stray byte at the head would hold back every frame behind it for as
      // long as traffic never pauses: it gets its own line now.
      const size_t stray = direction == DirectionReceived ? StrayHead(buffer) : 0;
      if (stray == 0) break;
      AppendLine(batch, buffer.substr(0, stray), lkReceivedBytes, time);
      buffer.erase(0, stray);
      continue;
    }
    if (korvan::CheckPacket(frame) != 0) continue;
    const auto code = static_cast<uint8_t>(frame[6]);
    if (disabled.contains(HexText(std::string(1, static_cast<char>(code))))) {
      skipNext_ = true;  // and the answer to it
      continue;
    }
    if (skipNext_) {
      skipNext_ = false;
      continue;
    }
    AppendLine(batch, frame, direction == DirectionSent ? lkSent : code == 0 ? lkAnswer : lkRefusal, time);
  }
}

void TfCiLog::Timer1Timer() {
  // Drawing happens outside the lock: the threads that report traffic
  // only ever wait for the queue to be taken.
  std::deque<TLogStruct> batch;
  {
    std::lock_guard<std::mutex> lock(lock_);
    batch.swap(queue_);
  }
  QPlainTextEdit* box = ui->reLog;
  if (batch.empty()) {
    if (!pendingReceive_.empty()) {
      AddLine(box, QLatin1String("<= ") + HexText(pendingReceive_), LineColours[lkReceivedBytes], pendingTime_, true);
      pendingReceive_.clear();
    }
    return;
  }
  TLogBatch lines(box, true);
  for (TLogStruct& record : batch) {
    const QDateTime time = ToDateTime(record.time);
    if (record.direction == DirectionReceived) {
      pendingReceive_ += record.data;
      pendingTime_ = time;
      ShowFrames(lines, pendingReceive_, DirectionReceived, time);
    } else if (record.direction == DirectionSent && !record.data.empty()) {
      if (!pendingReceive_.empty()) {
        AppendLine(lines, pendingReceive_, lkReceivedBytes, time);
        pendingReceive_.clear();
      }
      std::string copy = record.data;
      ShowFrames(lines, copy, DirectionSent, time);
      if (!copy.empty()) AppendLine(lines, copy, lkSentBytes, time);
    }
  }
}

void TfCiLog::btnClearClick() {
  ui->reLog->clear();
  PrepareDocument(ui->reLog->document());
  std::lock_guard<std::mutex> lock(lock_);
  // The received bytes at the end of the queue may start a frame whose rest
  // is still on its way: keep them.
  std::string trailing;
  auto first = queue_.end();
  while (first != queue_.begin() && std::prev(first)->direction == DirectionReceived) --first;
  for (auto it = first; it != queue_.end(); ++it) trailing += it->data;
  if (first == queue_.begin())
    pendingReceive_ += trailing;
  else
    pendingReceive_ = trailing;
  queue_.clear();
  queue_.push_back(TLogStruct{std::string(), std::chrono::system_clock::now(), DirectionReceived});
}

void TfCiLog::sbPauseClick() {
  if (ui->sbPause->isChecked())
    Timer1->stop();
  else if (isVisible())
    Timer1->start();
}

}  // namespace duomat
