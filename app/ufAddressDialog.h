#pragma once
// The address and rate dialog: reads a module's address, rate and serial numbers, and changes them.
#include <QDialog>

#include <functional>
#include <memory>
#include <string>

#include "app/uModuleWorker.h"
#include "core/uKorvanStackDeviceIngraRec.h"
#include "core/uKorvanStackDeviceOutraRec.h"
#include "core/uOutcome.h"
#include "core/uProfile.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace duomat {

class TModuleLine;

// From a menu: the group's record lets go of the line while the dialog has
// it, and connects again afterwards to where its module is now. When the
// address or the rate changed, `lineChanged` gets the module's address and
// the connection string before the record connects, so that the group follows.
void OpenAddressDialog(TModuleKind kind, QWidget* parent, TKorvanStackDeviceIngraRec* ingra,
                       TKorvanStackDeviceOutraRec* outra, int address,
                       std::function<void(int address, const std::string& connection)> lineChanged);

// Works on a line of its own (the operations of duomat-cli module), on the
// dialog's own thread; the module it reads is the one at `address`.
class TfAddressDialog : public QDialog {
  Q_OBJECT

 public:
  TfAddressDialog(TModuleKind kind, std::string connection, int address, QWidget* parent = nullptr);
  ~TfAddressDialog() override;

  // Where the group's module is now.
  int Address() const { return address_; }
  const std::string& Connection() const { return connection_; }
  bool Busy() const { return busy_; }

 signals:
  void StepDone();

 public slots:
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct TStep {
    TOutcome Outcome;
    TOutcome Address, Numbers;  // read afterwards, when the module answers
  };
  // The operation on the worker, then the module read again; `said` words a success.
  void Run(const QString& status, std::function<TOutcome(TModuleLine&)> operation,
           std::function<QString(const TOutcome&)> said);
  void Shown(const TStep& step);
  void ReadModule();
  void ChangeAddress();
  void ChangeRate();
  void AssignAddress();

  std::string connection_;
  int address_;
  bool started_ = false, busy_ = false, closeWhenDone_ = false;
  std::unique_ptr<TModuleLine> line_;  // used only on the worker's thread
  bool lineOpen_ = false;              // likewise
  std::function<QString(const TOutcome&)> said_;

  QLabel* lblAddressValue_;
  QLabel* lblRateValue_;
  QLabel* lblNumbersValue_;
  QLabel* lblIdentificationValue_;
  QSpinBox* seNewAddress_;
  QPushButton* btnChangeAddress_;
  QComboBox* cbbRate_;
  QPushButton* btnChangeRate_;
  QSpinBox* seNumberA_;
  QSpinBox* seNumberB_;
  QSpinBox* seAssignAddress_;
  QPushButton* btnAssign_;
  QPushButton* btnRead_;
  QProgressBar* prgWork_;
  QLabel* lblStatus_;
  QPushButton* btnClose_;
  std::unique_ptr<TModuleWorker> worker_;  // last: destroyed first
};

}  // namespace duomat
