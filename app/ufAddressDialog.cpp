#include "app/ufAddressDialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <type_traits>

#include "app/uAccessibleNames.h"
#include "app/uQtTranslation.h"
#include "core/uInputRules.h"
#include "core/uModuleLine.h"
#include "core/uModuleOperations.h"
#include "core/uModuleSettings.h"

namespace duomat {

namespace {
QString Hex(int address) { return QString::fromStdString(AddressText(address)); }

QSpinBox* AddressBox(const char* name) {
  auto* box = new QSpinBox;
  box->setObjectName(name);
  box->setRange(0, static_cast<int>(LastModuleAddress));
  box->setDisplayIntegerBase(16);
  box->setPrefix("0x");
  return box;
}

QSpinBox* NumberBox(const char* name) {
  auto* box = new QSpinBox;
  box->setObjectName(name);
  box->setRange(0, 65535);
  return box;
}

// A label and its field (or the field's row) in one row, the field named after the label.
void Row(QFormLayout* form, const QString& text, QWidget* field, const QString& detail = {},
         QLayout* row = nullptr) {
  auto* label = new QLabel(text);
  if (row)
    form->addRow(label, row);
  else
    form->addRow(label, field);
  NameByLabel(label, field, detail);
}

template <class TRecord>
void Follow(TRecord* record, QWidget* parent, int address,
            const std::function<void(int, const std::string&)>& lineChanged) {
  const std::string connection = record->GetConnectionString();
  record->Disconnect();
  int now = address;
  std::string followed = connection;
  {
    // Gone, and its line closed, before the record opens the port again.
    TfAddressDialog dialog(std::is_same_v<TRecord, TKorvanStackDeviceIngraRec> ? TModuleKind::Ingra : TModuleKind::Outra,
                           connection, address, parent);
    dialog.exec();
    now = dialog.Address();
    followed = dialog.Connection();
  }
  if ((now != address || followed != connection) && lineChanged) lineChanged(now, followed);
  record->SetConnectionString(followed);
  record->Connect();
}
}  // namespace

void OpenAddressDialog(TModuleKind kind, QWidget* parent, TKorvanStackDeviceIngraRec* ingra,
                       TKorvanStackDeviceOutraRec* outra, int address,
                       std::function<void(int address, const std::string& connection)> lineChanged) {
  if (kind == TModuleKind::Ingra && ingra) Follow(ingra, parent, address, lineChanged);
  if (kind == TModuleKind::Outra && outra) Follow(outra, parent, address, lineChanged);
}

TfAddressDialog::TfAddressDialog(TModuleKind kind, std::string connection, int address, QWidget* parent)
    : QDialog(parent),
      connection_(std::move(connection)),
      address_(address),
      lblAddressValue_(new QLabel("–")),
      lblRateValue_(new QLabel("–")),
      lblNumbersValue_(new QLabel("–")),
      lblIdentificationValue_(new QLabel("–")),
      seNewAddress_(AddressBox("seNewAddress")),
      btnChangeAddress_(new QPushButton(tr("Změnit adresu"))),
      cbbRate_(new QComboBox),
      btnChangeRate_(new QPushButton(tr("Změnit rychlost"))),
      seNumberA_(NumberBox("seNumberA")),
      seNumberB_(NumberBox("seNumberB")),
      seAssignAddress_(AddressBox("seAssignAddress")),
      btnAssign_(new QPushButton(tr("Přidělit adresu"))),
      btnRead_(new QPushButton(tr("Načíst znovu"))),
      prgWork_(new QProgressBar),
      lblStatus_(new QLabel),
      btnClose_(new QPushButton(tr("Zavřít"))),
      worker_(std::make_unique<TModuleWorker>(this, [this](const std::string& text) {
        // As a step that failed: the buttons come back and the status says why.
        TStep failed;
        failed.Outcome = Failure(text);
        Shown(failed);
      })) {
  setObjectName("fAddress");
  setWindowTitle(QString(kind == TModuleKind::Ingra ? "Ingra" : "Outra") + " – " + tr("Adresa a rychlost"));
  line_ = std::make_unique<TModuleLine>();

  auto* grpModule = new QGroupBox(tr("Modul"));
  auto* module = new QFormLayout(grpModule);
  lblAddressValue_->setObjectName("lblAddressValue");
  lblRateValue_->setObjectName("lblRateValue");
  lblNumbersValue_->setObjectName("lblNumbersValue");
  lblIdentificationValue_->setObjectName("lblIdentificationValue");
  for (QLabel* value : {lblAddressValue_, lblRateValue_, lblNumbersValue_, lblIdentificationValue_})
    value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  Row(module, tr("Adresa:"), lblAddressValue_);
  Row(module, tr("Rychlost:"), lblRateValue_);
  Row(module, tr("Sériová čísla:"), lblNumbersValue_);
  Row(module, tr("Identifikace:"), lblIdentificationValue_);

  auto* grpChange = new QGroupBox(tr("Změna"));
  auto* change = new QFormLayout(grpChange);
  seNewAddress_->setValue(address);
  auto* addressRow = new QHBoxLayout;
  addressRow->addWidget(seNewAddress_);
  addressRow->addWidget(btnChangeAddress_);
  Row(change, tr("Nová adresa:"), seNewAddress_, {}, addressRow);
  cbbRate_->setObjectName("cbbRate");
  for (int rate : korvan::KorvanBaudTable) cbbRate_->addItem(QString::number(rate) + " Bd", rate);
  cbbRate_->setCurrentIndex(cbbRate_->findData(9600));
  auto* rateRow = new QHBoxLayout;
  rateRow->addWidget(cbbRate_);
  rateRow->addWidget(btnChangeRate_);
  Row(change, tr("Nová rychlost:"), cbbRate_, {}, rateRow);

  auto* grpAssign = new QGroupBox(tr("Přidělit adresu podle sériových čísel"));
  auto* assign = new QFormLayout(grpAssign);
  Row(assign, tr("Číslo A:"), seNumberA_);
  Row(assign, tr("Číslo B:"), seNumberB_);
  Row(assign, tr("Adresa:"), seAssignAddress_, tr("přidělit"));
  seAssignAddress_->setValue(address);
  assign->addRow(QString(), btnAssign_);

  btnChangeAddress_->setObjectName("btnChangeAddress");
  btnChangeRate_->setObjectName("btnChangeRate");
  btnAssign_->setObjectName("btnAssign");
  btnRead_->setObjectName("btnRead");
  btnClose_->setObjectName("btnClose");
  prgWork_->setObjectName("prgWork");
  prgWork_->setAccessibleName(tr("Průběh"));
  prgWork_->setRange(0, 1);
  prgWork_->setTextVisible(false);
  lblStatus_->setObjectName("lblStatus");
  lblStatus_->setWordWrap(true);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnRead_);
  buttons->addStretch();
  buttons->addWidget(btnClose_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(grpModule);
  layout->addWidget(grpChange);
  layout->addWidget(grpAssign);
  layout->addWidget(prgWork_);
  layout->addWidget(lblStatus_);
  layout->addLayout(buttons);
  QWidget* order[] = {seNewAddress_, btnChangeAddress_, cbbRate_,   btnChangeRate_, seNumberA_,
                      seNumberB_,    seAssignAddress_,  btnAssign_, btnRead_,       btnClose_};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  // A screen reader reaches a spin box's text through its edit line.
  for (QAbstractSpinBox* box : findChildren<QAbstractSpinBox*>())
    if (auto* edit = box->findChild<QLineEdit*>()) edit->setAccessibleName(box->accessibleName());

  connect(btnRead_, &QPushButton::clicked, this, &TfAddressDialog::ReadModule);
  connect(btnChangeAddress_, &QPushButton::clicked, this, &TfAddressDialog::ChangeAddress);
  connect(btnChangeRate_, &QPushButton::clicked, this, &TfAddressDialog::ChangeRate);
  connect(btnAssign_, &QPushButton::clicked, this, &TfAddressDialog::AssignAddress);
  connect(btnClose_, &QPushButton::clicked, this, &TfAddressDialog::reject);
}

TfAddressDialog::~TfAddressDialog() {
  worker_.reset();  // the line is the worker's until its thread has ended
  line_.reset();
}

void TfAddressDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  ReadModule();
}

void TfAddressDialog::reject() {
  if (!busy_) {
    QDialog::reject();
    return;
  }
  closeWhenDone_ = true;
  lblStatus_->setText(tr("Ukončuji…"));
}

void TfAddressDialog::Run(const QString& status, std::function<TOutcome(TModuleLine&)> operation,
                          std::function<QString(const TOutcome&)> said) {
  if (busy_) return;
  busy_ = true;
  said_ = std::move(said);
  for (QPushButton* b : {btnChangeAddress_, btnChangeRate_, btnAssign_, btnRead_}) b->setEnabled(false);
  prgWork_->setRange(0, 0);
  lblStatus_->setText(status);
  worker_->Run(
      [this, connection = connection_, at = address_, operation] {
        // The line opens with the first step and stays open while the dialog lives.
        TStep step;
        if (!lineOpen_ && !(lineOpen_ = line_->Open(connection))) {
          step.Outcome = Failure(msg::OpenFailed);
          return step;
        }
        step.Outcome = operation(*line_);
        // The group's module is read where it is now.
        const bool moved = step.Outcome.Ok && step.Outcome.Values.contains("old_address");
        const int now = moved ? step.Outcome.Values["new_address"].get<int>() : at;
        step.Address = ReadModuleAddress(*line_, now);
        if (step.Address.Ok) step.Numbers = ReadModuleNumbers(*line_, now);
        return step;
      },
      [this](TStep step) { Shown(step); });
}

void TfAddressDialog::Shown(const TStep& step) {
  busy_ = false;
  for (QPushButton* b : {btnChangeAddress_, btnChangeRate_, btnAssign_, btnRead_}) b->setEnabled(true);
  prgWork_->setRange(0, 1);
  prgWork_->setValue(0);  // idle: empty, not a bar that looks like work done
  const TOutcome& o = step.Outcome;
  if (o.Ok && o.Values.contains("identification"))
    lblIdentificationValue_->setText(QString::fromStdString(o.Values["identification"].get<std::string>()));
  if (step.Address.Ok) {
    lblAddressValue_->setText(Hex(step.Address.Values["address"].get<int>()));
    const int rate = step.Address.Values["baudrate"].get<int>();
    lblRateValue_->setText(QString::number(rate) + " Bd");
    if (cbbRate_->findData(rate) >= 0) cbbRate_->setCurrentIndex(cbbRate_->findData(rate));
  } else {
    lblAddressValue_->setText("–");
    lblRateValue_->setText("–");
  }
  if (step.Numbers.Ok) {
    const TOutcome& n = step.Numbers;
    lblNumbersValue_->setText(QString("%1, %2 (%3)")
                                  .arg(n.Values["a"].get<int>())
                                  .arg(n.Values["b"].get<int>())
                                  .arg(n.Values["number"].get<uint32_t>()));
  } else {
    lblNumbersValue_->setText("–");
  }
  lblStatus_->setText(o.Ok ? said_(o) : tr("Neprovedeno: %1").arg(QString::fromStdString(ModuleMessageText(o.Message))));
  emit StepDone();
  if (closeWhenDone_) QDialog::reject();
}

void TfAddressDialog::ReadModule() {
  const int address = address_;
  Run(
      tr("Čtu adresu, rychlost a sériová čísla…"),
      [address](TModuleLine& line) { return IdentifyModule(line, address); },
      [](const TOutcome&) { return tr("Modul odpovídá."); });
}

void TfAddressDialog::ChangeAddress() {
  const int from = address_, wanted = seNewAddress_->value();
  Run(
      tr("Měním adresu modulu…"), [from, wanted](TModuleLine& line) { return ChangeModuleAddress(line, from, wanted); },
      [this, wanted](const TOutcome&) {
        address_ = wanted;
        seAssignAddress_->setValue(wanted);
        return tr("Modul má nyní adresu %1.").arg(Hex(wanted));
      });
}

void TfAddressDialog::ChangeRate() {
  const int at = address_, rate = cbbRate_->currentData().toInt();
  Run(
      tr("Měním rychlost modulu…"), [at, rate](TModuleLine& line) { return ChangeModuleRate(line, at, rate); },
      [this, rate](const TOutcome& o) {
        if (!o.Values.value("verified", false))
          return tr("Modul nyní komunikuje rychlostí %1 Bd; nastavte stejnou rychlost převodníku.").arg(rate);
        // The line followed; the group reconnects at the new rate.
        connection_ = ConnectionWithRate(connection_, static_cast<uint32_t>(rate));
        return tr("Modul nyní komunikuje rychlostí %1 Bd.").arg(rate);
      });
}

void TfAddressDialog::AssignAddress() {
  const int wanted = seAssignAddress_->value();
  const auto a = static_cast<uint16_t>(seNumberA_->value()), b = static_cast<uint16_t>(seNumberB_->value());
  Run(
      tr("Přiděluji adresu podle sériových čísel…"),
      [wanted, a, b](TModuleLine& line) { return AssignModuleAddress(line, wanted, a, b); },
      [wanted, a, b](const TOutcome&) {
        return tr("Modul s čísly %1, %2 má nyní adresu %3.").arg(a).arg(b).arg(Hex(wanted));
      });
}

}  // namespace duomat
