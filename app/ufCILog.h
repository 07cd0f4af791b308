#pragma once
// The log window: the traffic of every data-spy interface, cut into Korvan frames, one line each.
#include <QDateTime>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "comm/uci_ICommunicationInterfaceDataSpy.h"

class QColor;
class QPlainTextEdit;
class QTimer;

namespace Ui {
class TfCiLog;
}

namespace duomat {

class TLogBatch;

// One spied string as the handler queued it; a zero time means "no stamp".
struct TLogStruct {
  std::string data;
  std::chrono::system_clock::time_point time;
  uint8_t direction = 0;  // 1 written to the line, 2 read from it
};

// The service technician's view of the traffic: every string that a data-spy
// interface writes or reads, cut into Korvan frames, one coloured line each.
// The spy handler runs on any thread and only queues; the 250 ms timer on the
// user-interface thread, running while the window is shown, cuts and draws. The box is a QPlainTextEdit with
// character formats: unlike QTextEdit it does not lay the whole document out
// again when the oldest line is dropped, which at the line limit costs a
// QTextEdit a quarter of a second a tick.
class TfCiLog : public QWidget {
  Q_OBJECT

 public:
  // The log keeps this many lines; older ones are dropped as whole lines.
  static constexpr int MaxLines = 100000;

  explicit TfCiLog(QWidget* parent = nullptr);
  ~TfCiLog() override;

  // Records only the interface with this GUID text (all when empty) and shows the window.
  void ShowLog(const std::string& guid);

  // Appends "[stamp] text" as the last line of the box; an invalid time gives no stamp.
  static void AddLine(QPlainTextEdit* box, const QString& text, const QColor& colour, const QDateTime& time, bool scroll);

  // The spy handler (any thread).
  void DataSpy(korvan::ci::ICommunicationInterface* Sender, const std::string& Data, uint8_t Direction);

  QPlainTextEdit* Log() const;

 public slots:
  void Timer1Timer();
  void btnClearClick();
  void sbPauseClick();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void FormCreate();
  void FormDestroy();
  korvan::ci::TDataSpyHandler SpyHandler();
  // Cuts the frames off the head of the buffer and draws those not hidden.
  void ShowFrames(TLogBatch& batch, std::string& buffer, uint8_t direction, const QDateTime& time);
  void AppendLine(TLogBatch& batch, const std::string& bytes, int kind, const QDateTime& time);

  std::unique_ptr<Ui::TfCiLog> ui;
  QTimer* Timer1 = nullptr;
  bool centred_ = false;

  // Shared with the handler's threads.
  std::mutex lock_;
  std::deque<TLogStruct> queue_;
  std::string guidFilter_;
  std::atomic<bool> shown_{false};

  // The tick's own state (user-interface thread).
  bool skipNext_ = false;
  std::string pendingReceive_;
  QDateTime pendingTime_;
};

}  // namespace duomat
