#pragma once
// The main window, where the operator configures the Ingra and the Outra module.
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "core/uKorvanStackDeviceIngraRec.h"
#include "core/uKorvanStackDeviceOutraRec.h"
#include "app/uMessageBoxSink.h"
#include "app/uQtTranslation.h"
#include "app/uiConnectionDialog.h"

class QAction;
class QGroupBox;
class QMenu;
class QMouseEvent;

namespace Ui {
class TfMain;
}

namespace duomat {

class TfScanDialog;

// The operator's whole job: per module choose a connection, connect, load
// the settings, edit them and save them back. Every action ends with a
// message.
class TfMain : public QWidget {
  Q_OBJECT

 public:
  using TShowLog = std::function<void(const std::string& guidFilter)>;

  explicit TfMain(QWidget* parent = nullptr);
  ~TfMain() override;

  // The collaborators, set once the program has created them.
  void SetConnectionDialog(IConnectionDialog* dialog) { connectionDialog_ = dialog; }
  void SetMessageSink(IMessageSink* sink) { sink_ = sink ? sink : &messageBox_; }
  void SetShowLog(TShowLog showLog) { showLog_ = std::move(showLog); }

  TKorvanStackDeviceIngraRec& IngraRec() { return *ingraRec_; }
  TKorvanStackDeviceOutraRec& OutraRec() { return *outraRec_; }

  // An item of the "Nástroje" menu by its object name (actFindModules,
  // actIngraSaveProfile, actOutraOutputTest, …), or null. The items that need
  // a module are enabled while its group is connected.
  QAction* ToolAction(const char* name) const;
  QMenu* ToolsMenu() const { return toolsMenu_; }
  // The scan dialog once "Najít moduly…" has opened it, else null.
  TfScanDialog* ScanDialog() const { return scanDialog_; }

  // Where the groups' connections and addresses are kept between starts: read
  // and applied now, written whenever the operator chooses another. Without
  // it (tests) nothing is kept.
  void SetMemoryFile(const std::string& path);

  // What "Použít pro Ingra/Outra" of the scan does: take the line and the
  // address and connect, with the group's messages.
  void ConnectIngraAt(const std::string& connectionString, int address);
  void ConnectOutraAt(const std::string& connectionString, int address);

  // Disconnects both modules and frees the records; the destructor does it
  // when nobody did before.
  void FormDestroy();

 signals:
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();
  void UpdateControls();
  void btnIngraConnectClick();
  void btnIngraDisconnectClick();
  void btnIngraLoadClick();
  void btnIngraSaveClick();
  void btnOutraConnectClick();
  void btnOutraDisconnectClick();
  void btnOutraLoadClick();
  void btnOutraSaveClick();
  void cbbOutraMeasureRangeChange();
  void chbOutraWatchDog1EnabledClick();
  void pnlButtonsMouseDown(QMouseEvent* event);
  void btnCloseClick();
  void CreateToolsMenu();
  void ConnectFieldWork();
  void LoadIngraFields(bool report);
  void LoadOutraFields(bool report);
  void actFindModulesClick();
  void Remember();

  // Connects a signal to a handler behind the guard.
  template <class Sender, class Signal>
  void Bind(Sender* sender, Signal signal, void (TfMain::*handler)());
  void Show(const std::string& text) { sink_->ShowMessage(ModuleMessageText(text)); }

  std::unique_ptr<Ui::TfMain> ui;
  std::unique_ptr<TKorvanStackDeviceIngraRec> ingraRec_;
  std::unique_ptr<TKorvanStackDeviceOutraRec> outraRec_;
  TMessageBoxSink messageBox_{this};
  IMessageSink* sink_ = &messageBox_;
  IConnectionDialog* connectionDialog_ = nullptr;
  TShowLog showLog_;
  QMenu* toolsMenu_ = nullptr;
  TfScanDialog* scanDialog_ = nullptr;  // a child, made on first use
  std::string memoryFile_;
};

}  // namespace duomat
