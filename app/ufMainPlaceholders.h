#pragma once
// Stand-ins for the numeric edit fields until they land: the same calls,
// a plain line edit underneath.
#include <QLineEdit>
#include <algorithm>

namespace duomat {

template <class T>
class TNumEditPlaceholder : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;
  T Value() const { return static_cast<T>(text().toDouble()); }
  void SetValue(T v) {
    v = std::min(std::max(v, min_), max_);
    setText(QString::number(v));
  }
  T MinValue() const { return min_; }
  T MaxValue() const { return max_; }
  void SetMinValue(T v) {
    min_ = std::min(v, max_);
    SetValue(Value());
  }
  void SetMaxValue(T v) {
    max_ = std::max(v, min_);
    SetValue(Value());
  }

 private:
  T min_ = 0, max_ = 0;
};

}  // namespace duomat

class TDoubleEditPlaceholder : public duomat::TNumEditPlaceholder<double> {
 public:
  using TNumEditPlaceholder::TNumEditPlaceholder;
};
class TIntEditPlaceholder : public duomat::TNumEditPlaceholder<int> {
 public:
  using TNumEditPlaceholder::TNumEditPlaceholder;
};
