#include "app/uDoubleEdit.h"

#include <QKeyEvent>
#include <QLocale>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace duomat {

namespace {
QLocale PlainLocale() {
  QLocale l;
  l.setNumberOptions(l.numberOptions() | QLocale::OmitGroupSeparator);
  return l;
}

// Rounded to 15 significant digits, as many as the text form carries.
double Significant15(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", v);
  return std::strtod(text, nullptr);
}
}  // namespace

TDoubleEdit::TDoubleEdit(QWidget* parent) : TMyCustomNumEdit(parent) { Redisplay(); }

bool TDoubleEdit::ReadDoubleText(const QString& text, double& value) {
  bool ok = false;
  QLocale locale;
  locale.setNumberOptions(locale.numberOptions() & ~QLocale::RejectGroupSeparator);
  const double v = locale.toDouble(text, &ok);
  if (!ok || !std::isfinite(v)) return false;
  value = v;
  return true;
}

void TDoubleEdit::SetMinValue(double v) {
  minValue_ = std::min(v, maxValue_);
  SetValue(value_);
}

void TDoubleEdit::SetMaxValue(double v) {
  maxValue_ = std::max(v, minValue_);
  SetValue(value_);
}

double TDoubleEdit::Value() const {
  double v = 0.0;
  return ReadDoubleText(text(), v) ? v : 0.0;
}

void TDoubleEdit::SetValue(double v) {
  value_ = std::isnan(v) ? minValue_ : v;
  if (value_ < minValue_) value_ = minValue_;
  if (value_ > maxValue_) value_ = maxValue_;
  if (minValue_ == maxValue_) value_ = minValue_;
  Redisplay();
}

void TDoubleEdit::SetIncrement(double v) {
  if (v > 0) increment_ = v;
}

void TDoubleEdit::SetDecimals(uint16_t v) {
  decimals_ = v;
  Redisplay();
}

void TDoubleEdit::SetDecimalBenhaviour(TDecimalBehaviour b) {
  behaviour_ = b;
  Redisplay();
}

double TDoubleEdit::Clamp(double v) const { return std::min(std::max(v, minValue_), maxValue_); }

void TDoubleEdit::Step(int Direction, bool Page) {
  double v = 0.0;
  SetValue(ReadDoubleText(text(), v) ? v : value_);
  double factor = ControlFactor();
  if (Page) factor *= pageMult_;
  const double delta = increment_ * factor;
  SetValue(Value() + (Direction == 0 ? delta : -delta));
}

void TDoubleEdit::Redisplay() {
  // The colour follows the text as it is before it is rewritten.
  if (Colored()) ColourBySign(Value());
  if (behaviour_ == dbAuto) {
    setText(PlainLocale().toString(value_, 'g', 15));
  } else {
    QLocale grouped;
    grouped.setNumberOptions(grouped.numberOptions() & ~QLocale::OmitGroupSeparator);
    setText(grouped.toString(Significant15(value_), 'f', std::min<int>(decimals_, 15)));
  }
}

bool TDoubleEdit::Validate() {
  const QString t = text();
  if (behaviour_ == dbRemember) {
    const QString point = QLocale().decimalPoint();
    const qsizetype at = t.indexOf(point);
    decimals_ = at < 0 ? 0 : static_cast<uint16_t>(t.size() - at - point.size());
  }
  double v = 0.0;
  const bool ok = t.isEmpty() || ReadDoubleText(t, v);
  if (ok && (minValue_ == maxValue_ || (minValue_ <= v && v <= maxValue_))) {
    SetValue(v);
    return true;
  }
  Beep();
  if (AutoCorrect()) {
    SetValue(Clamp(ok ? v : Value()));
    return true;
  }
  const QLocale plain = PlainLocale();
  ShowRangeMessage(plain.toString(minValue_, 'f', 2), plain.toString(maxValue_, 'f', 2));
  return false;
}

void TDoubleEdit::KeyPress(QChar& Key) {
  if (Key == QChar('.') || Key == QChar(',')) {
    Key = QLocale().decimalPoint().at(0);
    return;
  }
  TMyCustomNumEdit::KeyPress(Key);
}

void TDoubleEdit::KeyDown(QKeyEvent* event) {
  if (event->key() == Qt::Key_Plus && (event->modifiers() & Qt::KeypadModifier)) SetValue(std::abs(Value()));
  TMyCustomNumEdit::KeyDown(event);
}

}  // namespace duomat
