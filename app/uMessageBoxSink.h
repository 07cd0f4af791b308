#pragma once
// The operator message sink that shows each message in a modal message box.
#include "app/uiMessageSink.h"

class QWidget;

namespace duomat {

// Shows each message in a plain modal message box with one OK button.
class TMessageBoxSink : public IMessageSink {
 public:
  explicit TMessageBoxSink(QWidget* parent = nullptr) : parent_(parent) {}
  void ShowMessage(const std::string& text) override;

  // The box itself, for those that have no sink at hand.
  static void Show(QWidget* parent, const std::string& text);

 private:
  QWidget* parent_;
};

}  // namespace duomat
