#include "app/uComPortScanner.h"

#include <QtGlobal>

namespace duomat {

TComPortScanner::TComPortScanner(QObject* parent, TComPortProber prober)
    : QObject(parent), core_(std::make_unique<TComPortScannerCore>(std::move(prober))) {
  // Called on a scan thread under the shared lock: post, never wait.
  core_->Shared().SetCallback([this](int port, uint8_t state, uint32_t generation) {
    QMetaObject::invokeMethod(
        this, [this, port, state, generation] { Deliver(port, state, generation); }, Qt::QueuedConnection);
  });
}

TComPortScanner::~TComPortScanner() {
  // No report is posted after this; those already queued die with the object.
  core_->Shared().SetCallback(nullptr);
  core_.reset();
}

void TComPortScanner::StartScan() { core_->StartScan(); }

void TComPortScanner::Stop() { core_->Stop(); }

void TComPortScanner::Deliver(int port, int state, uint32_t generation) {
  if (generation != core_->Shared().Generation()) return;  // posted before a restart
  try {
    emit OnPortState(port, state);
  } catch (const std::exception& e) {
    qWarning("COM port state handler: %s", e.what());
  } catch (...) {
    qWarning("COM port state handler failed");
  }
  if (core_->Shared().Complete()) core_->Stop();
}

}  // namespace duomat
