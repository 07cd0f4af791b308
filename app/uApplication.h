#pragma once
// The program's application object, which shows an escaped handler exception and carries on.
#include <QApplication>

namespace duomat {

// The program's application object: an exception that escapes an event
// handler is shown in a message box, and the program carries on.
class TApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace duomat
