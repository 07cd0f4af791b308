#pragma once
// An edit field for a real number in a range, in the system's number format.
#include <cstdint>

#include "app/uCustomNumEdit.h"

namespace duomat {

class TDoubleEdit : public TMyCustomNumEdit {
  Q_OBJECT
  Q_PROPERTY(double MinValue READ MinValue WRITE SetMinValue)
  Q_PROPERTY(double MaxValue READ MaxValue WRITE SetMaxValue)
  Q_PROPERTY(double Value READ Value WRITE SetValue)
  Q_PROPERTY(double Increment READ Increment WRITE SetIncrement)
  Q_PROPERTY(ushort PageMult READ PageMult WRITE SetPageMult)
  Q_PROPERTY(ushort Decimals READ Decimals WRITE SetDecimals)
  Q_PROPERTY(TDecimalBehaviour DecimalBenhaviour READ DecimalBenhaviour WRITE SetDecimalBenhaviour)

 public:
  // dbAuto: shortest form; dbManual: Decimals digits with thousands
  // separators; dbRemember: like dbManual, Decimals taken from the typed text.
  enum TDecimalBehaviour { dbManual = 0, dbAuto = 1, dbRemember = 2 };
  Q_ENUM(TDecimalBehaviour)

  explicit TDoubleEdit(QWidget* parent = nullptr);

  double MinValue() const { return minValue_; }
  void SetMinValue(double v);  // not above MaxValue; re-clamps the value
  double MaxValue() const { return maxValue_; }
  void SetMaxValue(double v);  // not below MinValue; re-clamps the value
  // The number the text holds now, 0 when it does not parse.
  double Value() const;
  // Stores v clamped into the range and shows it.
  void SetValue(double v);
  double Increment() const { return increment_; }
  void SetIncrement(double v);  // only v > 0
  uint16_t PageMult() const { return pageMult_; }
  void SetPageMult(uint16_t v) { pageMult_ = v; }
  uint16_t Decimals() const { return decimals_; }
  void SetDecimals(uint16_t v);
  TDecimalBehaviour DecimalBenhaviour() const { return behaviour_; }
  void SetDecimalBenhaviour(TDecimalBehaviour b);

  void Step(int Direction, bool Page) override;
  void Redisplay() override;
  bool Validate() override;

  // Reads a number in the locale's format; thousands separators are
  // accepted, since dbManual and dbRemember show them.
  static bool ReadDoubleText(const QString& text, double& value);

 protected:
  void KeyPress(QChar& Key) override;
  void KeyDown(QKeyEvent* event) override;

 private:
  double Clamp(double v) const;

  double minValue_ = 0.0;
  double maxValue_ = 0.0;
  double value_ = 0.0;
  double increment_ = 1.0;
  uint16_t pageMult_ = 10;
  uint16_t decimals_ = 2;
  TDecimalBehaviour behaviour_ = dbAuto;
};

inline constexpr TDoubleEdit::TDecimalBehaviour dbManual = TDoubleEdit::dbManual;
inline constexpr TDoubleEdit::TDecimalBehaviour dbAuto = TDoubleEdit::dbAuto;
inline constexpr TDoubleEdit::TDecimalBehaviour dbRemember = TDoubleEdit::dbRemember;
using TDecimalBehaviour = TDoubleEdit::TDecimalBehaviour;

}  // namespace duomat
