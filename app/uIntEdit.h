#pragma once
// An edit field for a signed 32-bit integer in a range, and the integer reader behind it.
#include <cstdint>

#include "app/uCustomNumEdit.h"

namespace duomat {

// What the integer reader makes of a text: decimal, or hexadecimal after
// "$" or "0x", with an optional sign. Digits holds the value of the digits
// read before the first character that cannot belong to the number (no sign).
struct TIntText {
  bool Ok = false;
  int32_t Value = 0;
  int64_t Digits = 0;
};
TIntText ReadIntText(const QString& text);

// An edit field for a signed 32-bit integer in a range.
class TIntEdit : public TMyCustomNumEdit {
  Q_OBJECT
  Q_PROPERTY(int MinValue READ MinValue WRITE SetMinValue)
  Q_PROPERTY(int MaxValue READ MaxValue WRITE SetMaxValue)
  Q_PROPERTY(int Value READ Value WRITE SetValue)
  Q_PROPERTY(int Increment READ Increment WRITE SetIncrement)
  Q_PROPERTY(ushort PageMult READ PageMult WRITE SetPageMult)

 public:
  explicit TIntEdit(QWidget* parent = nullptr);

  int32_t MinValue() const { return minValue_; }
  void SetMinValue(int32_t v);  // not above MaxValue; re-clamps the value
  int32_t MaxValue() const { return maxValue_; }
  void SetMaxValue(int32_t v);  // not below MinValue; re-clamps the value
  // The number the text holds now, 0 when it does not parse.
  int32_t Value() const;
  // Stores v clamped into the range and shows it.
  void SetValue(int32_t v);
  int32_t Increment() const { return increment_; }
  void SetIncrement(int32_t v);  // only v > 0
  uint16_t PageMult() const { return pageMult_; }
  void SetPageMult(uint16_t v) { pageMult_ = v; }

  void Step(int Direction, bool Page) override;
  void Redisplay() override;
  bool Validate() override;

 private:
  int32_t Clamp(int64_t v) const;

  int32_t minValue_ = 0;
  int32_t maxValue_ = 100;
  int32_t value_ = 0;
  int32_t increment_ = 1;
  uint16_t pageMult_ = 10;
};

}  // namespace duomat
