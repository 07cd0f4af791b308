#include "app/uApplication.h"

#include "app/uGuard.h"
#include "app/uMessageBoxSink.h"

namespace duomat {

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    try {
      TMessageBoxSink::Show(activeWindow(), EscapedExceptionText());
    } catch (...) {
    }
    return false;
  }
}

}  // namespace duomat
