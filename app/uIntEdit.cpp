#include "app/uIntEdit.h"

#include <algorithm>
#include <limits>

namespace duomat {

namespace {
int DigitOf(QChar c, int base) {
  const char16_t u = c.unicode();
  int d = -1;
  if (u >= '0' && u <= '9') d = u - '0';
  else if (u >= 'a' && u <= 'f') d = u - 'a' + 10;
  else if (u >= 'A' && u <= 'F') d = u - 'A' + 10;
  return d < base ? d : -1;
}
}  // namespace

TIntText ReadIntText(const QString& text) {
  TIntText r;
  int i = 0;
  const int n = static_cast<int>(text.size());
  while (i < n && text.at(i).isSpace()) ++i;
  bool negative = false;
  if (i < n && (text.at(i) == '-' || text.at(i) == '+')) negative = text.at(i++) == '-';
  int base = 10;
  if (i < n && text.at(i) == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < n && text.at(i) == '0' && (text.at(i + 1) == 'x' || text.at(i + 1) == 'X')) {
    base = 16;
    i += 2;
  }
  constexpr int64_t kCap = int64_t{1} << 40;  // far beyond 32 bits; keeps Digits from overflowing
  bool any = false, overflow = false;
  for (; i < n; ++i) {
    const int d = DigitOf(text.at(i), base);
    if (d < 0) break;
    any = true;
    r.Digits = r.Digits * base + d;
    if (r.Digits > kCap) {
      r.Digits = kCap;
      overflow = true;
    }
  }
  const int64_t signedValue = negative ? -r.Digits : r.Digits;
  r.Ok = any && i == n && !overflow && signedValue >= std::numeric_limits<int32_t>::min() &&
         signedValue <= std::numeric_limits<int32_t>::max();
  if (r.Ok) r.Value = static_cast<int32_t>(signedValue);
  return r;
}

TIntEdit::TIntEdit(QWidget* parent) : TMyCustomNumEdit(parent) { Redisplay(); }

void TIntEdit::SetMinValue(int32_t v) {
  minValue_ = std::min(v, maxValue_);
  SetValue(value_);
}

void TIntEdit::SetMaxValue(int32_t v) {
  maxValue_ = std::max(v, minValue_);
  SetValue(value_);
}

int32_t TIntEdit::Value() const {
  const TIntText t = ReadIntText(text());
  return t.Ok ? t.Value : 0;
}

void TIntEdit::SetValue(int32_t v) {
  value_ = v;
  if (value_ < minValue_) value_ = minValue_;
  if (value_ > maxValue_) value_ = maxValue_;
  if (minValue_ == maxValue_) value_ = minValue_;
  Redisplay();
}

void TIntEdit::SetIncrement(int32_t v) {
  if (v > 0) increment_ = v;
}

int32_t TIntEdit::Clamp(int64_t v) const {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::min(minValue_, maxValue_), maxValue_));
}

void TIntEdit::Step(int Direction, bool Page) {
  const TIntText t = ReadIntText(text());
  SetValue(t.Ok ? t.Value : value_);
  int64_t factor = ControlFactor();
  if (Page) factor *= pageMult_;
  const int64_t delta = int64_t{increment_} * factor;
  // In 64 bits, so a big step clamps instead of wrapping.
  SetValue(Clamp(int64_t{Value()} + (Direction == 0 ? delta : -delta)));
}

void TIntEdit::Redisplay() {
  // The colour follows the text as it is before it is rewritten.
  if (Colored()) ColourBySign(Value());
  setText(QString::number(value_));
}

bool TIntEdit::Validate() {
  const TIntText t = ReadIntText(text());
  if (t.Ok && (minValue_ == maxValue_ || (minValue_ <= t.Value && t.Value <= maxValue_))) {
    SetValue(t.Value);
    return true;
  }
  Beep();
  if (AutoCorrect()) {
    SetValue(Clamp(t.Ok ? t.Value : t.Digits));
    return true;
  }
  ShowRangeMessage(QString::number(minValue_), QString::number(maxValue_));
  return false;
}

}  // namespace duomat
