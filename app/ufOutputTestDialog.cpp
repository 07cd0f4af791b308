#include "app/ufOutputTestDialog.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <cmath>

#include "app/uAccessibleNames.h"
#include "core/uModuleSettings.h"
#include "core/uOutputLoop.h"

namespace duomat {

namespace {
// The slider moves in hundredths, the field's step.
constexpr double kSliderScale = 100;

QString ValueText(double value, int code) {
  return QLocale().toString(value, 'f', 2) + " " + OutraUnit(code);
}
}  // namespace

void OpenOutputTestDialog(QWidget* parent, TKorvanStackDeviceOutraRec* outra) {
  if (!outra || !outra->IsConnected()) return;
  TfOutputTestDialog dialog(outra->Device().get(), parent);
  dialog.exec();
}

TfOutputTestDialog::TfOutputTestDialog(korvan::IOutra* device, QWidget* parent)
    : QDialog(parent),
      device_(device),
      trace_(120),
      chart_(new QChart),
      chartView_(new QChartView(chart_)),
      time_(new QValueAxis),
      chbPoll_(new QCheckBox(tr("Číst zpět každých 500 ms"))),
      btnSend_(new QPushButton(tr("Odeslat"))),
      lblStatus_(new QLabel),
      btnClose_(new QPushButton(tr("Zavřít"))),
      worker_(std::make_unique<TModuleWorker>(this, [this](const std::string& text) {
        // Whatever was asked is over: the next tick may ask again, "Odeslat" works again.
        busy_ = asked_ = false;
        btnSend_->setEnabled(setup_.Ok);
        lblStatus_->setText(tr("Chyba: %1").arg(QString::fromStdString(text)));
      })) {
  setObjectName("fOutputTest");
  setWindowTitle(tr("Outra – Test výstupů"));
  auto* controls = new QHBoxLayout;
  const QString ordinal[2] = {tr("první výstup"), tr("druhý výstup")};
  // Per output one hue: the set value dark and dashed, the read-back light and solid.
  const QColor colours[2] = {QColor(0, 70, 160), QColor(190, 70, 0)};
  const QColor light[2] = {QColor(90, 170, 255), QColor(255, 160, 60)};
  time_->setRange(-trace_.Window(), 0);
  time_->setTitleText(tr("čas [s]"));
  time_->setLabelFormat("%d");
  time_->setTickCount(7);
  chart_->addAxis(time_, Qt::AlignBottom);
  for (int i = 0; i < 2; ++i) {
    TOutputControls& o = outputs_[static_cast<size_t>(i)];
    auto* group = new QGroupBox(tr("Výstup %1").arg(i + 1));
    group->setObjectName(QString("grpOutput%1").arg(i + 1));
    auto* grid = new QGridLayout(group);
    o.Range = new QLabel("–");
    o.Range->setObjectName(QString("lblRange%1").arg(i + 1));
    o.Slider = new QSlider(Qt::Horizontal);
    o.Slider->setObjectName(QString("sldValue%1").arg(i + 1));
    o.Value = new QDoubleSpinBox;
    o.Value->setObjectName(QString("deValue%1").arg(i + 1));
    o.Value->setDecimals(2);
    o.Value->setSingleStep(0.1);
    o.Read = new QLabel("–");
    o.Read->setObjectName(QString("lblRead%1").arg(i + 1));
    o.WatchDog = new QLabel("–");
    o.WatchDog->setObjectName(QString("lblWatchDog%1").arg(i + 1));
    auto* valueLabel = new QLabel(tr("Nastavit:"));
    auto* readLabel = new QLabel(tr("Zpětně čteno:"));
    auto* watchDogLabel = new QLabel(tr("Watchdog:"));
    grid->addWidget(new QLabel(tr("Rozsah:")), 0, 0);
    grid->addWidget(o.Range, 0, 1, 1, 2);
    grid->addWidget(valueLabel, 1, 0);
    grid->addWidget(o.Slider, 1, 1);
    grid->addWidget(o.Value, 1, 2);
    grid->addWidget(readLabel, 2, 0);
    grid->addWidget(o.Read, 2, 1, 1, 2);
    grid->addWidget(watchDogLabel, 3, 0);
    grid->addWidget(o.WatchDog, 3, 1, 1, 2);
    grid->setColumnStretch(1, 1);
    NameByLabel(valueLabel, o.Value, ordinal[i]);
    o.Slider->setAccessibleName(tr("Nastavit, %1, posuvník").arg(ordinal[i]));
    o.Read->setAccessibleName(tr("Zpětně čteno, %1").arg(ordinal[i]));
    o.WatchDog->setAccessibleName(tr("Watchdog, %1").arg(ordinal[i]));
    controls->addWidget(group);
    connect(o.Slider, &QSlider::valueChanged, o.Value,
            [v = o.Value](int position) { v->setValue(position / kSliderScale); });
    connect(o.Value, &QDoubleSpinBox::valueChanged, o.Slider,
            [s = o.Slider](double value) { s->setValue(static_cast<int>(std::lround(value * kSliderScale))); });

    o.SetLine = new QLineSeries;
    o.SetLine->setName(tr("Výstup %1 nastaveno").arg(i + 1));
    o.SetLine->setPen(QPen(colours[i], 2, Qt::DashLine));
    o.ReadLine = new QLineSeries;
    o.ReadLine->setName(tr("Výstup %1 čteno").arg(i + 1));
    o.ReadLine->setPen(QPen(light[i], 4));
    o.Axis = new QValueAxis;
    o.Axis->setLinePenColor(colours[i]);
    o.Axis->setLabelsColor(colours[i]);
    chart_->addAxis(o.Axis, i == 0 ? Qt::AlignLeft : Qt::AlignRight);
    for (QLineSeries* s : {o.ReadLine, o.SetLine}) {
      chart_->addSeries(s);
      s->attachAxis(time_);
      s->attachAxis(o.Axis);
    }
  }
  chart_->legend()->setAlignment(Qt::AlignBottom);
  chart_->setMargins(QMargins(4, 4, 4, 4));
  chartView_->setObjectName("chvOutputs");
  chartView_->setAccessibleName(tr("Průběh výstupů za poslední dvě minuty"));
  chartView_->setRenderHint(QPainter::Antialiasing);
  chartView_->setMinimumSize(560, 260);

  chbPoll_->setObjectName("chbPoll");
  chbPoll_->setChecked(true);
  chbPoll_->setToolTip(tr("Každé čtení je pro modul příkaz: watchdog převezme výstup, až když čtení vypnete."));
  btnSend_->setObjectName("btnSend");
  btnSend_->setEnabled(false);
  btnSend_->setDefault(true);
  btnClose_->setObjectName("btnClose");
  lblStatus_->setObjectName("lblStatus");
  lblStatus_->setWordWrap(true);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnSend_);
  buttons->addWidget(chbPoll_);
  buttons->addStretch();
  buttons->addWidget(btnClose_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addWidget(chartView_, 1);
  layout->addWidget(lblStatus_);
  layout->addLayout(buttons);
  QWidget* order[] = {outputs_[0].Slider, outputs_[0].Value, outputs_[1].Slider, outputs_[1].Value,
                      btnSend_,           chbPoll_,          btnClose_};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  // A screen reader reaches a spin box's text through its edit line.
  for (QAbstractSpinBox* box : findChildren<QAbstractSpinBox*>())
    if (auto* edit = box->findChild<QLineEdit*>()) edit->setAccessibleName(box->accessibleName());

  connect(btnSend_, &QPushButton::clicked, this, &TfOutputTestDialog::Send);
  connect(btnClose_, &QPushButton::clicked, this, &TfOutputTestDialog::reject);
  connect(&poll_, &QTimer::timeout, this, &TfOutputTestDialog::Tick);
  poll_.setInterval(PollMs);
}

TfOutputTestDialog::~TfOutputTestDialog() {
  poll_.stop();
  worker_.reset();
}

double TfOutputTestDialog::Now() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void TfOutputTestDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  busy_ = true;
  lblStatus_->setText(tr("Čtu rozsahy a watchdogy…"));
  korvan::IOutra* device = device_;
  worker_->Run(
      [device] {
        TSetup s;
        uint8_t c1 = 0, c2 = 0;
        s.Ok = device->GetRanges(c1, c2) && device->GetWatchDogTimeouts(s.Timeouts[0], s.Timeouts[1]) &&
               device->GetOutputs(s.Raws[0], s.Raws[1], true);
        s.Codes = {c1, c2};
        return s;
      },
      [this](TSetup s) { Setup(s); });
}

void TfOutputTestDialog::Setup(const TSetup& setup) {
  busy_ = false;
  setup_ = setup;
  lastRequest_ = Now();
  if (!setup.Ok) {
    lblStatus_->setText(tr("Rozsahy a watchdogy modulu se nepodařilo přečíst; výstupy nelze nastavit."));
    return;
  }
  for (size_t i = 0; i < 2; ++i) {
    TOutputControls& o = outputs_[i];
    const int code = setup.Codes[i];
    const TOutraLimits l = OutraRangeLimits(code);
    o.Range->setText(QString::fromStdString(OutraRangeText(code)));
    o.Value->setRange(l.Minimum, l.Maximum);
    o.Value->setSuffix(QString(" ") + OutraUnit(code));
    o.Slider->setRange(static_cast<int>(std::lround(l.Minimum * kSliderScale)),
                       static_cast<int>(std::lround(l.Maximum * kSliderScale)));
    o.Value->setValue(OutraRawToValue(setup.Raws[i], code));
    o.Axis->setRange(l.Minimum, l.Maximum);
    o.Axis->setTitleText(QString("%1 [%2]").arg(i + 1).arg(OutraUnit(code)));
    trace_.ReadBack(i, lastRequest_, OutraRawToValue(setup.Raws[i], code));
  }
  btnSend_->setEnabled(true);
  lblStatus_->setText(tr("Nastavte hodnoty a stiskněte Odeslat."));
  poll_.start();
  Redraw();
  emit Ready();
}

void TfOutputTestDialog::Send() {
  if (!setup_.Ok) return;
  std::array<int, 2> raws{};
  std::array<double, 2> values{};
  for (size_t i = 0; i < 2; ++i) {
    values[i] = outputs_[i].Value->value();
    raws[i] = OutraValueToRaw(values[i], setup_.Codes[i]);
  }
  btnSend_->setEnabled(false);
  korvan::IOutra* device = device_;
  worker_->Run([device, raws, this] { return std::make_pair(device->SetOutputs(raws[0], raws[1], true), Now()); },
               [this, values](std::pair<bool, double> r) {
                 btnSend_->setEnabled(true);
                 lastRequest_ = r.second;
                 if (!r.first) {
                   lblStatus_->setText(tr("Výstupy se nepodařilo nastavit."));
                   return;
                 }
                 for (size_t i = 0; i < 2; ++i) trace_.Set(i, r.second, values[i]);
                 lblStatus_->setText(tr("Odesláno: %1, %2.")
                                         .arg(ValueText(values[0], setup_.Codes[0]), ValueText(values[1], setup_.Codes[1])));
                 Redraw();
                 emit Sent();
               });
}

void TfOutputTestDialog::Tick() {
  // One read-back at a time: a slow line skips ticks instead of queueing them.
  if (chbPoll_->isChecked() && !asked_) {
    asked_ = true;
    korvan::IOutra* device = device_;
    worker_->Run(
        [device, this] {
          TRead r;
          r.Time = Now();
          r.Ok = device->GetOutputs(r.Raws[0], r.Raws[1], true);
          return r;
        },
        [this](TRead r) { Shown(r); });
  }
  Redraw();
}

void TfOutputTestDialog::Shown(const TRead& read) {
  asked_ = false;
  lastRequest_ = read.Time;
  ++readBacks_;
  for (size_t i = 0; i < 2; ++i) {
    const int code = setup_.Codes[i];
    if (!read.Ok) {
      outputs_[i].Read->setText(tr("bez odpovědi"));
      continue;
    }
    const double value = OutraRawToValue(read.Raws[i], code);
    trace_.ReadBack(i, read.Time, value);
    outputs_[i].Read->setText(ValueText(value, code));
  }
  Redraw();
  emit ReadBack();
}

void TfOutputTestDialog::Redraw() {
  const double now = Now();
  trace_.Forget(now);
  for (size_t i = 0; i < 2; ++i) {
    TOutputControls& o = outputs_[i];
    const TWatchDogClock clock = WatchDogClock(setup_.Timeouts[i], now - lastRequest_);
    switch (clock.State) {
      case TWatchDogClock::TState::Off:
        o.WatchDog->setText(tr("vypnut"));
        break;
      case TWatchDogClock::TState::Running:
        o.WatchDog->setText(tr("od posledního příkazu %1 s z %2 s").arg(static_cast<int>(clock.Elapsed)).arg(clock.Timeout));
        break;
      case TWatchDogClock::TState::Expired:
        o.WatchDog->setText(tr("převzal výstup (%1 s bez příkazu)").arg(static_cast<int>(clock.Elapsed)));
        break;
    }
    QList<QPointF> set, read;
    for (const TTracePoint& p : trace_.SetLine(i, now)) set.append({p.Time - now, p.Value});
    for (const TTracePoint& p : trace_.ReadLine(i, now)) read.append({p.Time - now, p.Value});
    o.SetLine->replace(set);
    o.ReadLine->replace(read);
  }
}

void TfOutputTestDialog::done(int result) {
  // No read-back once the operator closed the test.
  poll_.stop();
  QDialog::done(result);
}

}  // namespace duomat
