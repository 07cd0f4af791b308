#pragma once
// The output test: both Outra outputs set by hand, read back twice a second and drawn over the last two minutes.
#include <QDialog>
#include <QTimer>

#include <array>
#include <chrono>
#include <memory>

#include "app/uModuleWorker.h"
#include "core/uKorvanStackDeviceOutraRec.h"
#include "core/uOutputTrace.h"

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSlider;

QT_BEGIN_NAMESPACE
class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;
QT_END_NAMESPACE

namespace duomat {

// From the menu, on the Outra group's connected record.
void OpenOutputTestDialog(QWidget* parent, TKorvanStackDeviceOutraRec* outra);

// Requests run on the dialog's own thread, one at a time: a read-back is not
// asked while the one before is unanswered. Closing stops the polling.
class TfOutputTestDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int PollMs = 500;

  TfOutputTestDialog(korvan::IOutra* device, QWidget* parent = nullptr);
  ~TfOutputTestDialog() override;

  bool Polling() const { return poll_.isActive(); }
  // Requests asked and answered so far (for a test's count).
  int ReadBacks() const { return readBacks_; }

 signals:
  void Ready();      // ranges and watchdogs read
  void Sent();       // an "Odeslat" answered
  void ReadBack();   // a read-back answered

 public slots:
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct TSetup {
    bool Ok = false;
    std::array<int, 2> Codes{}, Timeouts{}, Raws{};
  };
  struct TRead {
    bool Ok = false;
    std::array<int, 2> Raws{};
    double Time = 0;
  };
  struct TOutputControls {
    QLabel* Range;
    QSlider* Slider;
    QDoubleSpinBox* Value;
    QLabel* Read;
    QLabel* WatchDog;
    QLineSeries* SetLine;
    QLineSeries* ReadLine;
    QValueAxis* Axis;
  };

  double Now() const;
  void Setup(const TSetup& setup);
  void Send();
  void Tick();
  void Shown(const TRead& read);
  void Redraw();

  korvan::IOutra* device_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  TSetup setup_;
  TOutputTrace trace_;
  double lastRequest_ = 0;  // when the module last heard this dialog
  bool started_ = false, busy_ = false, asked_ = false;
  int readBacks_ = 0;
  QTimer poll_;

  std::array<TOutputControls, 2> outputs_{};
  QChart* chart_;
  QChartView* chartView_;
  QValueAxis* time_;
  QCheckBox* chbPoll_;
  QPushButton* btnSend_;
  QLabel* lblStatus_;
  QPushButton* btnClose_;
  std::unique_ptr<TModuleWorker> worker_;  // last: destroyed first
};

}  // namespace duomat
