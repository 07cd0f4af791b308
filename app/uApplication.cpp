#include "app/uApplication.h"

#include "app/uGuard.h"
#include "app/uMessageBoxSink.h"

namespace duomat {

bool TApplication::notify(QObject* receiver, QEvent* event) {
  bool result = false;
  TMessageBoxSink sink(activeWindow());
  RunGuarded(sink, [&] { result = QApplication::notify(receiver, event); });
  return result;
}

}  // namespace duomat
