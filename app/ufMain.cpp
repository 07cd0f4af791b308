#include "app/ufMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>

#include "app/uAccessibleNames.h"
#include "app/uDesignFonts.h"
#include "app/uGuard.h"
#include "app/uOpenFailureText.h"
#include "app/ufAddressDialog.h"
#include "app/ufOutputTestDialog.h"
#include "app/ufProfileDialog.h"
#include "app/ufScanDialog.h"
#include "core/uModuleSettings.h"
#include "core/uWindowMemory.h"
#include "transports/uConnectionStringCheck.h"
#include "ui_ufMain.h"

namespace duomat {

namespace {
// Shown while a request blocks the window; gone before its message shows.
class TWaitCursor {
 public:
  TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
};

// Plain containers pass the state on to their controls; a composite control
// (an edit field with its arrows) looks after its own parts.
bool IsContainer(const QWidget* w) {
  const QMetaObject* m = w->metaObject();
  return m == &QWidget::staticMetaObject || m == &QFrame::staticMetaObject || m == &QGroupBox::staticMetaObject;
}

void SetEnabledDeep(QWidget* parent, bool enabled) {
  for (QWidget* w : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    w->setEnabled(enabled);
    if (IsContainer(w)) SetEnabledDeep(w, enabled);
  }
}

// Connects and tells the operator what failed, with why the line did not
// open below the message, so that they know what to fix.
template <class TRecord, class TConnect>
void ConnectAndReport(TRecord& record, TConnect connect, const std::string& connectionString, IMessageSink& sink) {
  TConnectResult result;
  {
    TWaitCursor wait;
    result = connect(record, connectionString);
  }
  if (result.Ok) return;
  std::string text = ModuleMessageText(result.Message);
  if (const QString reason = OpenFailureWindowText(result.Failure); !reason.isEmpty())
    text += "\n\n" + reason.toStdString();
  sink.ShowMessage(text);
}

// Only what the dialog answered is tried; a cancelled dialog changes nothing.
template <class TRecord, class TConnect>
bool ConnectModule(IConnectionDialog* dialog, TRecord& record, TConnect connect, IMessageSink& sink) {
  std::string connectionString = record.GetConnectionString();
  int address = record.GetModuleAddress();
  if (!dialog || !dialog->ExecuteWithAddress(connectionString, address)) return false;
  record.SetModuleAddress(static_cast<uint8_t>(address));
  ConnectAndReport(record, connect, connectionString, sink);
  return true;
}

// A kept group is taken only when it would pass as a preset from the command line.
template <class TRecord>
void ApplyRemembered(const TRememberedGroup& group, TRecord& record) {
  if (!group.Connection.empty() && korvan::transport::CheckConnectionString(group.Connection).empty())
    record.SetConnectionString(group.Connection);
  if (group.Address >= 0) record.SetModuleAddress(static_cast<uint8_t>(group.Address));
}

template <class TRecord>
TRememberedGroup RememberedOf(TRecord& record) {
  return {record.GetConnectionString(), record.GetModuleAddress()};
}

// Sets a value field's limits in the order that keeps minimum <= maximum.
template <class TField>
void SetLimits(TField* field, double minimum, double maximum) {
  if (minimum > field->MaxValue()) {
    field->SetMaxValue(maximum);
    field->SetMinValue(minimum);
  } else {
    field->SetMinValue(minimum);
    field->SetMaxValue(maximum);
  }
}
}  // namespace

TfMain::TfMain(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TfMain>()) {
  SubstituteDesignFonts();
  ui->setupUi(this);
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  Bind(ui->btnIngraConnect, &QPushButton::clicked, &TfMain::btnIngraConnectClick);
  Bind(ui->btnIngraDisconnect, &QPushButton::clicked, &TfMain::btnIngraDisconnectClick);
  Bind(ui->btnIngraLoad, &QPushButton::clicked, &TfMain::btnIngraLoadClick);
  Bind(ui->btnIngraSave, &QPushButton::clicked, &TfMain::btnIngraSaveClick);
  Bind(ui->btnOutraConnect, &QPushButton::clicked, &TfMain::btnOutraConnectClick);
  Bind(ui->btnOutraDisconnect, &QPushButton::clicked, &TfMain::btnOutraDisconnectClick);
  Bind(ui->btnOutraLoad, &QPushButton::clicked, &TfMain::btnOutraLoadClick);
  Bind(ui->btnOutraSave, &QPushButton::clicked, &TfMain::btnOutraSaveClick);
  Bind(ui->cbbOutraMeasureRange, &QComboBox::activated, &TfMain::cbbOutraMeasureRangeChange);
  // Ticked by the operator or by loading: either way the fields follow.
  Bind(ui->chbOutraWatchDog1Enabled, &QCheckBox::toggled, &TfMain::chbOutraWatchDog1EnabledClick);
  Bind(ui->chbOutraWatchDog2Enabled, &QCheckBox::toggled, &TfMain::chbOutraWatchDog1EnabledClick);
  Bind(ui->btnClose, &QPushButton::clicked, &TfMain::btnCloseClick);
  CreateToolsMenu();
  // Enter presses the focused button, as in the operator's other programs
  // (outside a dialog a Qt button takes only Space).
  for (QPushButton* button : findChildren<QPushButton*>()) button->setAutoDefault(true);
  ui->pnlButtons->installEventFilter(this);
  // A keyboard way to the log besides Ctrl + double click.
  auto* openLog = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L), this);
  connect(openLog, &QShortcut::activated, this, [this] {
    if (showLog_) showLog_("");
  });
  NameByLabel(ui->lblIngraMeasureRange, ui->cbbIngraMeasureRange);
  NameByLabel(ui->lblOutraMeasureRange, ui->cbbOutraMeasureRange);
  const QString outputs[2] = {tr("první výstup"), tr("druhý výstup")};
  NameByLabel(ui->lblOutraWatchDog1Enabled, ui->chbOutraWatchDog1Enabled);
  NameByLabel(ui->lblOutraWatchDog1Value, ui->deOutraWatchDog1Value, outputs[0]);
  NameByLabel(ui->lblOutraWatchDog1Timeout, ui->ieOutraWatchDog1Timeout, outputs[0]);
  NameByLabel(ui->lblOutraWatchDog2Enabled, ui->chbOutraWatchDog2Enabled);
  NameByLabel(ui->lblOutraWatchDog2Value, ui->deOutraWatchDog2Value, outputs[1]);
  NameByLabel(ui->lblOutraWatchDog2Timeout, ui->ieOutraWatchDog2Timeout, outputs[1]);
  RunGuarded(*sink_, [this] { FormCreate(); });
}

TfMain::~TfMain() {
  try {
    FormDestroy();
  } catch (...) {
  }
}

template <class Sender, class Signal>
void TfMain::Bind(Sender* sender, Signal signal, void (TfMain::*handler)()) {
  connect(sender, signal, this, [this, handler] { RunGuarded(*sink_, [this, handler] { (this->*handler)(); }); });
}

void TfMain::FormCreate() {
  // The hidden panels scale with the screen like everything else, so their
  // sizes are the client size at any resolution.
  setFixedSize(ui->pnlDPIWidth->width(), ui->pnlDPIHeight->height());
  if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());

  ui->cbbIngraMeasureRange->setProperty("tag", -1);
  ui->cbbOutraMeasureRange->setCurrentIndex(0);
  for (TDoubleEdit* field : {ui->deOutraWatchDog1Value, ui->deOutraWatchDog2Value}) {
    field->SetMaxValue(10.0);
    field->SetIncrement(1.0);
    field->SetShowName(tr("Hodnota"));
    field->SetColored(false);
  }
  for (TIntEdit* field : {ui->ieOutraWatchDog1Timeout, ui->ieOutraWatchDog2Timeout}) {
    field->SetMaxValue(korvan::OutraMaxWatchDogTimeout);
    field->SetShowName(tr("Hodnota"));
    field->SetColored(false);
  }

  ingraRec_ = std::make_unique<TKorvanStackDeviceIngraRec>();
  outraRec_ = std::make_unique<TKorvanStackDeviceOutraRec>();
  UpdateControls();
}

void TfMain::FormDestroy() {
  if (ingraRec_) ingraRec_->Disconnect();
  if (outraRec_) outraRec_->Disconnect();
  ingraRec_.reset();
  outraRec_.reset();
}

void TfMain::closeEvent(QCloseEvent* event) {
  event->accept();
  emit Closed();
}

bool TfMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui->pnlButtons && event->type() == QEvent::MouseButtonDblClick)
    RunGuarded(*sink_, [this, event] { pnlButtonsMouseDown(static_cast<QMouseEvent*>(event)); });
  return QWidget::eventFilter(watched, event);
}

void TfMain::CreateToolsMenu() {
  toolsMenu_ = new QMenu(this);
  toolsMenu_->setObjectName("mnuTools");
  const auto add = [](QMenu* menu, const QByteArray& name, const QString& text) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    return action;
  };
  QAction* find = add(toolsMenu_, "actFindModules", tr("Najít moduly…"));
  connect(find, &QAction::triggered, this, [this] { RunGuarded(*sink_, [this] { actFindModulesClick(); }); });
  struct TGroup {
    const char* prefix;
    QString title;
  };
  for (const TGroup& g : {TGroup{"Ingra", tr("Ingra")}, TGroup{"Outra", tr("Outra")}}) {
    QMenu* sub = toolsMenu_->addMenu(g.title);
    sub->setObjectName(QStringLiteral("mnu%1").arg(g.prefix));
    const QByteArray act = QByteArray("act") + g.prefix;
    add(sub, act + "SaveProfile", tr("Uložit nastavení do souboru…"));
    add(sub, act + "RestoreProfile", tr("Obnovit nastavení ze souboru…"));
    add(sub, act + "CompareProfile", tr("Porovnat se souborem…"));
    add(sub, act + "Address", tr("Adresa a rychlost…"));
    if (QByteArray(g.prefix) == "Outra") add(sub, act + "OutputTest", tr("Test výstupů…"));
  }
  ConnectFieldWork();
  // The menu opens from the button: Alt+N, a click, Enter or Space.
  ui->btnTools->setMenu(toolsMenu_);
}

// Each group's field-work dialogs on its record; what a dialog changed in the
// module shows in the group's fields afterwards, and where the module moved
// to is where the group follows.
void TfMain::ConnectFieldWork() {
  const auto on = [this](const char* name, std::function<void()> run) {
    connect(ToolAction(name), &QAction::triggered, this,
            [this, run = std::move(run)] { RunGuarded(*sink_, run); });
  };
  const auto reloadIngra = [this] { LoadIngraFields(false); };
  const auto reloadOutra = [this] { LoadOutraFields(false); };
  const struct {
    const char* name;
    TProfileTask task;
  } profiles[] = {{"SaveProfile", TProfileTask::Save},
                  {"RestoreProfile", TProfileTask::Restore},
                  {"CompareProfile", TProfileTask::Compare}};
  for (const auto& p : profiles) {
    on(("actIngra" + std::string(p.name)).c_str(), [this, p, reloadIngra] {
      OpenProfileDialog(p.task, TModuleKind::Ingra, this, ingraRec_.get(), nullptr, reloadIngra);
    });
    on(("actOutra" + std::string(p.name)).c_str(), [this, p, reloadOutra] {
      OpenProfileDialog(p.task, TModuleKind::Outra, this, nullptr, outraRec_.get(), reloadOutra);
    });
  }
  on("actIngraAddress", [this] {
    OpenAddressDialog(TModuleKind::Ingra, this, ingraRec_.get(), nullptr, ingraRec_->GetModuleAddress(),
                      [this](int address, const std::string&) {
                        ingraRec_->SetModuleAddress(static_cast<uint8_t>(address));
                      });
    Remember();
    UpdateControls();
  });
  on("actOutraAddress", [this] {
    OpenAddressDialog(TModuleKind::Outra, this, nullptr, outraRec_.get(), outraRec_->GetModuleAddress(),
                      [this](int address, const std::string&) {
                        outraRec_->SetModuleAddress(static_cast<uint8_t>(address));
                      });
    Remember();
    UpdateControls();
  });
  on("actOutraOutputTest", [this] { OpenOutputTestDialog(this, outraRec_.get()); });
}

QAction* TfMain::ToolAction(const char* name) const {
  return toolsMenu_ ? toolsMenu_->findChild<QAction*>(QString::fromLatin1(name)) : nullptr;
}

void TfMain::SetMemoryFile(const std::string& path) {
  memoryFile_ = path;
  const TWindowMemory memory = ReadWindowMemory(path);
  if (ingraRec_) ApplyRemembered(memory.Ingra, *ingraRec_);
  if (outraRec_) ApplyRemembered(memory.Outra, *outraRec_);
}

void TfMain::Remember() {
  if (memoryFile_.empty() || !ingraRec_ || !outraRec_) return;
  WriteWindowMemory(memoryFile_, {RememberedOf(*ingraRec_), RememberedOf(*outraRec_)});
}

void TfMain::actFindModulesClick() {
  if (!scanDialog_) {
    scanDialog_ = new TfScanDialog(this);
    scanDialog_->SetConnectionDialog(connectionDialog_);
    scanDialog_->SetLine(ingraRec_ ? ingraRec_->GetConnectionString() : std::string());
    connect(scanDialog_, &TfScanDialog::UseForIngra, this, [this](const QString& line, int address) {
      RunGuarded(*sink_, [&] { ConnectIngraAt(line.toStdString(), address); });
    });
    connect(scanDialog_, &TfScanDialog::UseForOutra, this, [this](const QString& line, int address) {
      RunGuarded(*sink_, [&] { ConnectOutraAt(line.toStdString(), address); });
    });
  }
  scanDialog_->show();
  scanDialog_->raise();
  scanDialog_->activateWindow();
}

void TfMain::UpdateControls() {
  const bool ingra = ingraRec_ && ingraRec_->IsConnected();
  SetEnabledDeep(ui->grpIngra, ingra);
  ui->grpIngra->setEnabled(true);
  ui->btnIngraConnect->setEnabled(true);

  const bool outra = outraRec_ && outraRec_->IsConnected();
  SetEnabledDeep(ui->grpOutra, outra);
  ui->grpOutra->setEnabled(true);
  ui->btnOutraConnect->setEnabled(true);
  if (toolsMenu_) {
    for (QAction* action : toolsMenu_->findChildren<QAction*>()) {
      const QString name = action->objectName();
      if (name.startsWith("actIngra")) action->setEnabled(ingra);
      if (name.startsWith("actOutra")) action->setEnabled(outra);
    }
  }
  if (!outra) return;
  const bool on1 = ui->chbOutraWatchDog1Enabled->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{ui->lblOutraWatchDog1Value, ui->lblOutraWatchDog1Timeout,
                                                    ui->deOutraWatchDog1Value, ui->ieOutraWatchDog1Timeout})
    w->setEnabled(on1);
  const bool on2 = ui->chbOutraWatchDog2Enabled->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{ui->lblOutraWatchDog2Value, ui->lblOutraWatchDog2Timeout,
                                                    ui->deOutraWatchDog2Value, ui->ieOutraWatchDog2Timeout})
    w->setEnabled(on2);
}

// ---- Ingra -------------------------------------------------------------------

void TfMain::btnIngraConnectClick() {
  if (!ConnectModule(connectionDialog_, *ingraRec_, &ConnectIngra, *sink_)) return;
  Remember();
  UpdateControls();
}

void TfMain::ConnectIngraAt(const std::string& connectionString, int address) {
  ingraRec_->SetModuleAddress(static_cast<uint8_t>(address));
  ConnectAndReport(*ingraRec_, &ConnectIngra, connectionString, *sink_);
  Remember();
  UpdateControls();
}

void TfMain::btnIngraDisconnectClick() {
  ingraRec_->Disconnect();
  UpdateControls();
}

void TfMain::btnIngraLoadClick() { LoadIngraFields(true); }

// A quiet load (after a dialog wrote to the module) speaks only when it failed.
void TfMain::LoadIngraFields(bool report) {
  TIngraLoadResult result;
  {
    TWaitCursor wait;
    result = LoadIngra(*ingraRec_->Device());
  }
  if (result.Ok) {
    QComboBox* cbb = ui->cbbIngraMeasureRange;
    cbb->clear();
    for (const std::string& item : result.List.Items) cbb->addItem(QString::fromStdString(item));
    cbb->setProperty("tag", result.List.Tag);
    cbb->setCurrentIndex(result.List.Selected);
  }
  if (report || !result.Ok) Show(result.Message);
}

void TfMain::btnIngraSaveClick() {
  const QComboBox* cbb = ui->cbbIngraMeasureRange;
  TIngraRangeList list;
  for (int i = 0; i < cbb->count(); ++i) list.Items.push_back(cbb->itemText(i).toStdString());
  list.Tag = cbb->property("tag").toInt();
  list.Selected = cbb->currentIndex();
  TSaveResult result;
  {
    TWaitCursor wait;
    result = SaveIngra(*ingraRec_->Device(), list);
  }
  Show(result.Message);
}

// ---- Outra -------------------------------------------------------------------

void TfMain::btnOutraConnectClick() {
  if (!ConnectModule(connectionDialog_, *outraRec_, &ConnectOutra, *sink_)) return;
  Remember();
  UpdateControls();
}

void TfMain::ConnectOutraAt(const std::string& connectionString, int address) {
  outraRec_->SetModuleAddress(static_cast<uint8_t>(address));
  ConnectAndReport(*outraRec_, &ConnectOutra, connectionString, *sink_);
  Remember();
  UpdateControls();
}

void TfMain::btnOutraDisconnectClick() {
  outraRec_->Disconnect();
  UpdateControls();
}

void TfMain::cbbOutraMeasureRangeChange() {
  const TOutraLimits limits = OutraRangeLimits(ui->cbbOutraMeasureRange->currentIndex() + 1);
  SetLimits(ui->deOutraWatchDog1Value, limits.Minimum, limits.Maximum);
  SetLimits(ui->deOutraWatchDog2Value, limits.Minimum, limits.Maximum);
}

void TfMain::btnOutraLoadClick() { LoadOutraFields(true); }

void TfMain::LoadOutraFields(bool report) {
  TOutraLoadResult result;
  {
    TWaitCursor wait;
    result = LoadOutra(*outraRec_->Device());
  }
  if (result.Ok) {
    const TOutraSettings& s = result.Settings;
    QComboBox* cbb = ui->cbbOutraMeasureRange;
    const int index = s.Code1 - 1;
    cbb->setCurrentIndex(index < cbb->count() ? index : -1);
    // The limits first, so that the values are not clamped to the old range.
    cbbOutraMeasureRangeChange();
    QCheckBox* checks[2] = {ui->chbOutraWatchDog1Enabled, ui->chbOutraWatchDog2Enabled};
    decltype(ui->ieOutraWatchDog1Timeout) timeouts[2] = {ui->ieOutraWatchDog1Timeout, ui->ieOutraWatchDog2Timeout};
    decltype(ui->deOutraWatchDog1Value) values[2] = {ui->deOutraWatchDog1Value, ui->deOutraWatchDog2Value};
    for (size_t i = 0; i < 2; ++i) {
      checks[i]->setChecked(s.WatchDogs[i].Enabled);
      timeouts[i]->SetValue(s.WatchDogs[i].Timeout);
      values[i]->SetValue(s.WatchDogs[i].Value);
    }
  }
  if (report || !result.Ok) Show(result.Message);
}

void TfMain::btnOutraSaveClick() {
  TOutraSaveRequest request;
  request.Code = ui->cbbOutraMeasureRange->currentIndex() + 1;
  request.Enabled = {ui->chbOutraWatchDog1Enabled->isChecked(), ui->chbOutraWatchDog2Enabled->isChecked()};
  request.Timeout = {ui->ieOutraWatchDog1Timeout->Value(), ui->ieOutraWatchDog2Timeout->Value()};
  request.Value = {ui->deOutraWatchDog1Value->Value(), ui->deOutraWatchDog2Value->Value()};
  TSaveResult result;
  {
    TWaitCursor wait;
    result = SaveOutra(*outraRec_->Device(), request);
  }
  Show(result.Message);
}

void TfMain::chbOutraWatchDog1EnabledClick() { UpdateControls(); }

// ---- The rest ----------------------------------------------------------------

void TfMain::pnlButtonsMouseDown(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ControlModifier) && showLog_) showLog_("");
}

void TfMain::btnCloseClick() { close(); }

}  // namespace duomat
