#pragma once
// The windows' COM port scanner: the scan threads' reports delivered on the user-interface thread.
#include <QObject>
#include <memory>

#include "core/uComPortScannerCore.h"

namespace duomat {

// The COM port scanner of the windows: the scan threads' reports arrive on
// the thread this object lives on (the user-interface thread), in order, as
// OnPortState. Results of a scan that was restarted meanwhile are dropped.
// Idle after creation and after a complete scan.
class TComPortScanner : public QObject {
  Q_OBJECT

 public:
  explicit TComPortScanner(QObject* parent = nullptr, TComPortProber prober = ProbeComPort);
  ~TComPortScanner() override;  // ends every thread; reports still queued are dropped

  // Probes the ports 1 to 255 again; during a scan this restarts it.
  void StartScan();
  // Suspends the scan threads.
  void Stop();
  TComPortScannerCore& Core() { return *core_; }

 signals:
  // Every change of a port's state (TComPortState).
  void OnPortState(int Port, int State);

 private:
  void Deliver(int port, int state, uint32_t generation);

  std::unique_ptr<TComPortScannerCore> core_;
};

}  // namespace duomat
