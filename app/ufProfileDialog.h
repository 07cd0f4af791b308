#pragma once
// The profile dialog: a module's settings saved to a file, compared with one, restored from one.
#include <QDialog>

#include <functional>
#include <memory>

#include "app/uModuleWorker.h"
#include "core/uKorvanStackDeviceIngraRec.h"
#include "core/uKorvanStackDeviceOutraRec.h"
#include "core/uProfileTable.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace duomat {

enum class TProfileTask { Save, Compare, Restore };

// From a menu: asks for the file, checks it (a bad one is a message naming
// the field, and nothing is sent) and runs the dialog on the group's
// connected record. `settingsChanged` runs after a restore wrote anything,
// so that the window reloads the group's fields.
void OpenProfileDialog(TProfileTask task, TModuleKind kind, QWidget* parent, TKorvanStackDeviceIngraRec* ingra,
                       TKorvanStackDeviceOutraRec* outra, std::function<void()> settingsChanged);

// The file read and checked for the module kind; an empty optional and the
// operator's message when it cannot be used.
std::optional<TProfile> ReadProfileFile(const QString& path, TModuleKind kind, QString& message);

// The requests run on the dialog's own thread, so the window keeps
// repainting; closing while they run cancels before the next write and
// closes once the request in progress has answered.
class TfProfileDialog : public QDialog {
  Q_OBJECT

 public:
  // One of the devices, of `kind`; `profile` is what Compare and Restore
  // set beside the module, `path` the file Save writes.
  TfProfileDialog(TProfileTask task, TModuleKind kind, korvan::IIngra* ingra, korvan::IOutra* outra, QString path,
                  TProfile profile, QWidget* parent = nullptr);
  ~TfProfileDialog() override;

  bool Busy() const { return busy_; }

 signals:
  // After a restore wrote to the module.
  void SettingsChanged();
  // A step ended (loaded, saved, compared, restored); the status says how.
  void StepDone();

 public slots:
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  struct TRestoreResult {
    TProfileResult Written;
    TProfileTable Table;
  };
  void Begin(const QString& status);
  void End(const QString& status);
  void LoadAndSave();
  void LoadAndCompare();
  void Restore();
  void ShowTable(const TProfileTable& table);
  void Failed(const std::string& text);

  TProfileTask task_;
  TModuleKind kind_;
  korvan::IIngra* ingra_;
  korvan::IOutra* outra_;
  QString path_;
  TProfile profile_;
  bool started_ = false, busy_ = false, closeWhenDone_ = false;
  size_t differences_ = 0;

  QLabel* lblFile_;
  QTableWidget* tblSettings_;
  QProgressBar* prgWork_;
  QLabel* lblStatus_;
  QPushButton* btnWrite_;
  QPushButton* btnClose_;
  // Last, so that it is destroyed first, while everything it answers to still stands.
  std::unique_ptr<TModuleWorker> worker_;
};

}  // namespace duomat
