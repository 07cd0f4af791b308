#pragma once
// Closing a window when the program gets SIGTERM, SIGINT or SIGHUP.
#include <QObject>
#include <QPointer>
#include <QWidget>

class QSocketNotifier;

namespace duomat {

// Closes a window on SIGTERM, SIGINT or SIGHUP, on the user-interface thread, the
// way the operator's close does. The signal handler only writes a byte to a
// socket pair; the notifier does the rest. The default actions come back
// when the object goes.
class TSignalCloser : public QObject {
  Q_OBJECT

 public:
  explicit TSignalCloser(QWidget* window);
  ~TSignalCloser() override;

 private:
  void Received();

  QPointer<QWidget> window_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace duomat
