#include "app/ufScanDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "app/uAccessibleNames.h"
#include "app/uGuard.h"
#include "app/uMessageBoxSink.h"
#include "app/uQtTranslation.h"
#include "app/uiConnectionDialog.h"
#include "core/uInputRules.h"
#include "core/uModuleLine.h"
#include "core/uModuleSettings.h"
#include "core/uScanFields.h"

namespace duomat {

namespace {
enum TColumn { colAddress, colRate, colKind, colIdentification, colCount };

QLineEdit* HexField(const QString& text, QWidget* parent) {
  auto* field = new QLineEdit(text, parent);
  field->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{1,2}")), field));
  field->setMaxLength(2);
  field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("WWWW")));
  return field;
}

QString AddressString(int address) { return QString::fromStdString(AddressText(address)); }
}  // namespace

TfScanDialog::TfScanDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setObjectName("TfScanDialog");
  if (parent) setFont(parent->font());
  setWindowTitle(tr("Najít moduly"));
  // The groups' buttons wait while it is open: they might want the line being scanned.
  setWindowModality(Qt::WindowModal);
  BuildControls();
  UpdateControls();
}

TfScanDialog::~TfScanDialog() {
  try {
    StopAndJoin();
  } catch (...) {
  }
}

void TfScanDialog::BuildControls() {
  auto* layout = new QVBoxLayout(this);

  auto* grpLine = new QGroupBox(tr("Vedení"), this);
  auto* lineLayout = new QHBoxLayout(grpLine);
  auto* lblLine = new QLabel(tr("Připojení:"), grpLine);
  eLine_ = new QLineEdit(grpLine);
  eLine_->setObjectName("eLine");
  eLine_->setMinimumWidth(eLine_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 48);
  btnChoose_ = new QPushButton(tr("Vybrat…"), grpLine);
  btnChoose_->setObjectName("btnChoose");
  lineLayout->addWidget(lblLine);
  lineLayout->addWidget(eLine_, 1);
  lineLayout->addWidget(btnChoose_);
  layout->addWidget(grpLine);

  auto* grpSearch = new QGroupBox(tr("Hledání"), this);
  auto* grid = new QGridLayout(grpSearch);
  auto* lblFrom = new QLabel(tr("Od adresy:"), grpSearch);
  eFrom_ = HexField(QStringLiteral("00"), grpSearch);
  eFrom_->setObjectName("eFrom");
  auto* lblTo = new QLabel(tr("Do adresy:"), grpSearch);
  eTo_ = HexField(QStringLiteral("FD"), grpSearch);
  eTo_->setObjectName("eTo");
  auto* lblRates = new QLabel(tr("Rychlosti [Bd]:"), grpSearch);
  eRates_ = new QLineEdit(grpSearch);
  eRates_->setObjectName("eRates");
  eRates_->setPlaceholderText(tr("rychlost vedení"));
  eRates_->setToolTip(tr("Rychlosti oddělené čárkou, např. 9600,19200; prázdné: rychlost vedení"));
  chbAllRates_ = new QCheckBox(tr("Všechny rychlosti"), grpSearch);
  chbAllRates_->setObjectName("chbAllRates");
  chbQuick_ = new QCheckBox(tr("Rychlé hledání"), grpSearch);
  chbQuick_->setObjectName("chbQuick");
  chbQuick_->setToolTip(tr("Nejdřív univerzální adresa: odpoví-li jediný modul, hledání končí"));
  btnSearch_ = new QPushButton(tr("Hledat"), grpSearch);
  btnSearch_->setObjectName("btnSearch");
  btnStop_ = new QPushButton(tr("Zastavit"), grpSearch);
  btnStop_->setObjectName("btnStop");
  grid->addWidget(lblFrom, 0, 0);
  grid->addWidget(eFrom_, 0, 1);
  grid->addWidget(lblTo, 0, 2);
  grid->addWidget(eTo_, 0, 3);
  grid->addWidget(chbQuick_, 0, 4);
  grid->addWidget(lblRates, 1, 0);
  grid->addWidget(eRates_, 1, 1, 1, 3);
  grid->addWidget(chbAllRates_, 1, 4);
  grid->setColumnStretch(5, 1);
  grid->addWidget(btnSearch_, 0, 6);
  grid->addWidget(btnStop_, 1, 6);
  layout->addWidget(grpSearch);

  pbProgress_ = new QProgressBar(this);
  pbProgress_->setObjectName("pbProgress");
  pbProgress_->setAccessibleName(tr("Průběh hledání"));
  pbProgress_->setValue(0);
  lblProgress_ = new QLabel(this);
  lblProgress_->setObjectName("lblProgress");
  layout->addWidget(pbProgress_);
  layout->addWidget(lblProgress_);

  tblFound_ = new QTableWidget(0, colCount, this);
  tblFound_->setObjectName("tblFound");
  tblFound_->setAccessibleName(tr("Nalezené moduly"));
  tblFound_->setHorizontalHeaderLabels({tr("Adresa"), tr("Rychlost [Bd]"), tr("Modul"), tr("Identifikace")});
  tblFound_->setSelectionBehavior(QAbstractItemView::SelectRows);
  tblFound_->setSelectionMode(QAbstractItemView::SingleSelection);
  tblFound_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tblFound_->verticalHeader()->hide();
  for (int column = colAddress; column < colIdentification; ++column)
    tblFound_->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  tblFound_->horizontalHeader()->setSectionResizeMode(colIdentification, QHeaderView::Stretch);
  tblFound_->setMinimumHeight(tblFound_->fontMetrics().height() * 10);
  layout->addWidget(tblFound_, 1);

  auto* buttons = new QHBoxLayout;
  btnUseIngra_ = new QPushButton(tr("Použít pro Ingra"), this);
  btnUseIngra_->setObjectName("btnUseIngra");
  btnUseOutra_ = new QPushButton(tr("Použít pro Outra"), this);
  btnUseOutra_->setObjectName("btnUseOutra");
  btnClose_ = new QPushButton(tr("Zavřít"), this);
  btnClose_->setObjectName("btnClose");
  buttons->addWidget(btnUseIngra_);
  buttons->addWidget(btnUseOutra_);
  buttons->addStretch(1);
  buttons->addWidget(btnClose_);
  layout->addLayout(buttons);

  NameByLabel(lblLine, eLine_);
  NameByLabel(lblFrom, eFrom_);
  NameByLabel(lblTo, eTo_);
  NameByLabel(lblRates, eRates_);
  // The visual order, which the creation order above does not give for the grid.
  for (auto [a, b] : {std::pair<QWidget*, QWidget*>{eLine_, btnChoose_}, {btnChoose_, eFrom_}, {eFrom_, eTo_},
                      {eTo_, chbQuick_}, {chbQuick_, eRates_}, {eRates_, chbAllRates_}, {chbAllRates_, btnSearch_},
                      {btnSearch_, btnStop_}, {btnStop_, tblFound_}, {tblFound_, btnUseIngra_},
                      {btnUseIngra_, btnUseOutra_}, {btnUseOutra_, btnClose_}})
    setTabOrder(a, b);

  const auto guarded = [this](void (TfScanDialog::*handler)()) {
    return [this, handler] {
      TMessageBoxSink sink(this);
      RunGuarded(sink, [this, handler] { (this->*handler)(); });
    };
  };
  connect(btnSearch_, &QPushButton::clicked, this, guarded(&TfScanDialog::btnSearchClick));
  connect(btnStop_, &QPushButton::clicked, this, guarded(&TfScanDialog::btnStopClick));
  connect(btnClose_, &QPushButton::clicked, this, &TfScanDialog::close);
  connect(btnUseIngra_, &QPushButton::clicked, this, [this] { Use(false); });
  connect(btnUseOutra_, &QPushButton::clicked, this, [this] { Use(true); });
  connect(btnChoose_, &QPushButton::clicked, this, [this] {
    std::string line = eLine_->text().toStdString();
    if (connectionDialog_ && connectionDialog_->Execute(line)) eLine_->setText(QString::fromStdString(line));
  });
  connect(chbAllRates_, &QCheckBox::toggled, this, &TfScanDialog::UpdateControls);
  connect(eLine_, &QLineEdit::textChanged, this, &TfScanDialog::UpdateControls);
  connect(tblFound_, &QTableWidget::itemSelectionChanged, this, &TfScanDialog::UpdateControls);
  // Enter in a field starts the scan rather than pressing a use button.
  btnSearch_->setDefault(true);
}

void TfScanDialog::SetConnectionDialog(IConnectionDialog* dialog) {
  connectionDialog_ = dialog;
  UpdateControls();
}

void TfScanDialog::SetLine(const std::string& connection) { eLine_->setText(QString::fromStdString(connection)); }

void TfScanDialog::UpdateControls() {
  const bool idle = !scanning_;
  for (QWidget* w : std::initializer_list<QWidget*>{eLine_, eFrom_, eTo_, chbQuick_, btnSearch_})
    w->setEnabled(idle);
  btnChoose_->setEnabled(idle && connectionDialog_);
  // Rates mean something only on a line that has one (serial, FTDI).
  const bool rated = ConnectionHasRate(eLine_->text().trimmed().toStdString());
  chbAllRates_->setEnabled(idle && rated);
  eRates_->setEnabled(idle && rated && !chbAllRates_->isChecked());
  btnStop_->setEnabled(scanning_);
  const int row = SelectedRow();
  const bool usable = idle && row >= 0 &&
                      row < static_cast<int>(found_.size()) && !found_[row].Collision;
  btnUseIngra_->setEnabled(usable);
  btnUseOutra_->setEnabled(usable);
}

void TfScanDialog::btnSearchClick() {
  if (scanning_) return;
  StopAndJoin();  // a finished scan whose end is still queued
  const std::string line = eLine_->text().trimmed().toStdString();
  TScanFields fields;
  fields.From = eFrom_->text().toStdString();
  fields.To = eTo_->text().toStdString();
  fields.AllRates = chbAllRates_->isChecked();
  fields.Rates = eRates_->text().toStdString();
  fields.Quick = chbQuick_->isChecked();
  TScanRequest request;
  switch (ScanRequestOf(fields, ConnectionHasRate(line), request)) {
    case TScanFieldError::From: lblProgress_->setText(tr("Adresa „od“ musí být 00 až FD.")); return;
    case TScanFieldError::To: lblProgress_->setText(tr("Adresa „do“ musí být 00 až FD.")); return;
    case TScanFieldError::Order: lblProgress_->setText(tr("Adresa „od“ nesmí být větší než „do“.")); return;
    case TScanFieldError::Rates:
      lblProgress_->setText(tr("Rychlosti musí být z 110 až 230400 Bd, oddělené čárkou."));
      return;
    case TScanFieldError::None: break;
  }
  request.Timeout = requestTimeout_;

  found_.clear();
  tblFound_->setRowCount(0);
  scannedLine_ = line;
  asked_ = 0;
  const int rates = std::max<int>(1, static_cast<int>(request.Rates.size()));
  pbProgress_->setRange(0, (request.To - request.From + 1) * rates);
  pbProgress_->setValue(0);
  lblProgress_->setText(tr("Otevírám vedení…"));
  cancel_ = false;
  scanning_ = true;
  UpdateControls();

  // Nothing on this thread touches widgets: it posts to the dialog, whose
  // destructor joins it first, so a posted call never outlives the dialog.
  try {
    worker_ = std::thread([this, line, request] {
    TScanResult result;
    bool opened = false;
    QString error;
    try {
      TModuleLine moduleLine;
      opened = moduleLine.Open(line);
      if (opened) {
        TScanCallbacks callbacks;
        callbacks.Progress = [this](const TScanProgress& p) {
          QMetaObject::invokeMethod(this, [this, p] { ShowProgress(p); }, Qt::QueuedConnection);
        };
        callbacks.Cancelled.Requested = [this] { return cancel_.load(); };
        result = ScanModules(moduleLine, request, callbacks);
      }
    } catch (const std::exception& e) {
      error = QString::fromStdString(e.what());
    } catch (...) {
      error = QStringLiteral("?");
    }
    // The line is closed by now, so a group may open the same port.
    QMetaObject::invokeMethod(
        this, [this, result, opened, error] { ScanDone(result, opened, error); }, Qt::QueuedConnection);
    });
  } catch (...) {
    scanning_ = false;
    UpdateControls();
    throw;
  }
}

void TfScanDialog::btnStopClick() {
  cancel_ = true;
  lblProgress_->setText(tr("Zastavuji…"));
}

void TfScanDialog::ShowProgress(const TScanProgress& p) {
  if (!scanning_) return;
  pbProgress_->setValue(std::min(++asked_, pbProgress_->maximum()));
  const int seconds = (p.MsLeft + 999) / 1000;
  lblProgress_->setText(p.Rate ? tr("Adresa %1, %2 Bd, zbývá %3 s, nalezeno %4")
                                     .arg(AddressString(p.Address))
                                     .arg(p.Rate)
                                     .arg(seconds)
                                     .arg(p.Found)
                               : tr("Adresa %1, zbývá %2 s, nalezeno %3")
                                     .arg(AddressString(p.Address))
                                     .arg(seconds)
                                     .arg(p.Found));
}

void TfScanDialog::ScanDone(const TScanResult& result, bool opened, const QString& error) {
  if (worker_.joinable()) worker_.join();
  scanning_ = false;
  found_ = result.Found;
  tblFound_->setRowCount(static_cast<int>(found_.size()));
  for (int row = 0; row < static_cast<int>(found_.size()); ++row) {
    const TFoundModule& m = found_[row];
    const QString cells[colCount] = {
        AddressString(m.Address), m.Rate ? QString::number(m.Rate) : QStringLiteral("–"),
        m.Collision ? tr("kolize") : QString::fromStdString(ModuleNameOf(m.Identification)),
        m.Collision ? tr("Odpovědělo více modulů najednou") : QString::fromStdString(m.Identification)};
    for (int column = 0; column < colCount; ++column) {
      auto* item = new QTableWidgetItem(cells[column]);
      if (m.Collision) item->setForeground(QColor(0xC0, 0, 0));
      tblFound_->setItem(row, column, item);
    }
  }
  if (!error.isEmpty())
    lblProgress_->setText(tr("Hledání skončilo chybou: %1").arg(error));
  else if (!opened)
    lblProgress_->setText(QString::fromStdString(ModuleMessageText(msg::OpenFailed)));
  else
    lblProgress_->setText((result.Interrupted ? tr("Zastaveno, nalezeno modulů: %1") : tr("Hotovo, nalezeno modulů: %1"))
                              .arg(found_.size()));
  if (opened && !result.Interrupted) pbProgress_->setValue(pbProgress_->maximum());
  if (!found_.empty()) tblFound_->selectRow(0);
  UpdateControls();
  emit ScanFinished();
}

// The selected row, however it was selected: a screen reader selects without
// moving the current cell.
int TfScanDialog::SelectedRow() const {
  const QModelIndexList rows = tblFound_->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row();
}

void TfScanDialog::Use(bool outra) {
  const int row = SelectedRow();
  if (scanning_ || row < 0 || row >= static_cast<int>(found_.size()) || found_[row].Collision) return;
  const QString line = QString::fromStdString(ConnectionAtRate(scannedLine_, found_[row].Rate));
  if (outra)
    emit UseForOutra(line, found_[row].Address);
  else
    emit UseForIngra(line, found_[row].Address);
}

void TfScanDialog::StopAndJoin() {
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
}

void TfScanDialog::reject() {
  StopAndJoin();
  QDialog::reject();
}

void TfScanDialog::closeEvent(QCloseEvent* event) {
  StopAndJoin();
  QDialog::closeEvent(event);
}

}  // namespace duomat
