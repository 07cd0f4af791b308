#pragma once
// The connection dialog: the operator chooses how one module is reached.
#include <QDialog>

#include <memory>
#include <string>

class QButtonGroup;
class QComboBox;
class QRadioButton;

namespace Ui {
class TfConnectionDialog;
}

namespace duomat {

class TComPortScanner;
class TComPortStringList;

// Where the operator chooses how one module is reached: a serial port, a USB
// converter or Ethernet. It turns a connection string into controls and the
// controls back into a string; it never connects. One instance serves every
// call, so what a string does not set keeps its previous contents.
class TfConnectionDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TfConnectionDialog(QWidget* parent = nullptr);
  ~TfConnectionDialog() override;

  // Fills the controls from ConnectionString and shows the dialog modally.
  // On "Ok" the string is replaced by the one the controls make and the
  // result is true; otherwise the string is left as it was.
  bool Execute(std::string& ConnectionString);
  // The same with the module's address in the advanced part: shown on
  // opening, given back on "Ok" (an unreadable field keeps the old address).
  bool Execute(std::string& ConnectionString, int& Address);

  // The string the controls make now, from the checked choice.
  std::string ConnectionString() const;

 public slots:
  void rbCOMClick();
  void bCOMRefreshClick();
  void bUSBRefreshClick();
  void cbDeviceNameChange();
  void sbExpertModeClick();

 private:
  void FormCreate();
  void FormDestroy();
  void FillFrom(const std::string& S);
  // Checks the button; the choice handling runs either way.
  void Choose(QRadioButton* button);
  // Fills an empty list of the checked choice and enables its controls only.
  void ChoiceHandling();

  std::unique_ptr<Ui::TfConnectionDialog> ui;
  std::unique_ptr<TComPortStringList> comPorts_;  // the items of cbCOM
  std::unique_ptr<TComPortScanner> scanner_;
  QButtonGroup* choice_ = nullptr;  // rbCOM, rbUSB, rbTCP
};

}  // namespace duomat
