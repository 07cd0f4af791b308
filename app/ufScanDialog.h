#pragma once
// The "Najít moduly" dialog: scans a line for modules off the window's thread and hands one to a group.
#include <QDialog>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/uModuleScan.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace duomat {

class IConnectionDialog;

// The operator picks a line (through the connection dialog, or types the
// string), an address range and rates; "Hledat" runs the core's scan on a
// thread of the dialog's own, which posts its progress back to this thread,
// so the windows keep painting. "Zastavit" cancels between requests. A found
// module goes to a group through UseForIngra/UseForOutra.
class TfScanDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TfScanDialog(QWidget* parent = nullptr);
  // Stops a running scan and waits for its thread.
  ~TfScanDialog() override;

  void SetConnectionDialog(IConnectionDialog* dialog);
  void SetLine(const std::string& connection);
  bool IsScanning() const { return scanning_; }
  // What the last scan found, in the table's order.
  const std::vector<TFoundModule>& Found() const { return found_; }

  // The scan's request time-out in ms (the core's default otherwise).
  void SetRequestTimeout(int ms) { requestTimeout_ = ms; }

 signals:
  // The line at the rate the module answered at, and its address.
  void UseForIngra(const QString& connection, int address);
  void UseForOutra(const QString& connection, int address);
  // The scan's thread has ended and is joined.
  void ScanFinished();

 public slots:
  void btnSearchClick();
  void btnStopClick();
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  int SelectedRow() const;
  void BuildControls();
  void UpdateControls();
  void ShowProgress(const TScanProgress& progress);
  void ScanDone(const TScanResult& result, bool opened, const QString& error);
  void StopAndJoin();
  void Use(bool outra);

  IConnectionDialog* connectionDialog_ = nullptr;
  QLineEdit* eLine_ = nullptr;
  QPushButton* btnChoose_ = nullptr;
  QLineEdit* eFrom_ = nullptr;
  QLineEdit* eTo_ = nullptr;
  QCheckBox* chbAllRates_ = nullptr;
  QLineEdit* eRates_ = nullptr;
  QCheckBox* chbQuick_ = nullptr;
  QPushButton* btnSearch_ = nullptr;
  QPushButton* btnStop_ = nullptr;
  QProgressBar* pbProgress_ = nullptr;
  QLabel* lblProgress_ = nullptr;
  QTableWidget* tblFound_ = nullptr;
  QPushButton* btnUseIngra_ = nullptr;
  QPushButton* btnUseOutra_ = nullptr;
  QPushButton* btnClose_ = nullptr;

  std::thread worker_;
  std::atomic<bool> cancel_{false};
  bool scanning_ = false;
  int asked_ = 0;
  int requestTimeout_ = TScanRequest{}.Timeout;
  std::string scannedLine_;
  std::vector<TFoundModule> found_;
};

}  // namespace duomat
