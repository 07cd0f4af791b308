#include "app/ufConnectionDialog.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStyledItemDelegate>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cctype>
#include <chrono>
#include <thread>

#include "app/uAccessibleNames.h"
#include "app/uComPortIdentityView.h"
#include "app/uComPortScanner.h"
#include "app/uComPortStringList.h"
#include "comm/uci_ConnectionString.h"
#include "core/uInputRules.h"
#include "core/uScanFields.h"
#include "transports/ftdi/uFTDIDeviceList.h"
#include "transports/serial/uComPortMap.h"
#include "ui_ufConnectionDialog.h"

namespace duomat {

namespace {

const char* const BaudRates[] = {"110", "300", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
constexpr int DefaultBaudRateIndex = 5;
constexpr int ItemHeight = 15;

// The baud-rate lists draw the two usual rates bold, so they stand out.
class TBaudRateDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem item(option);
    item.font.setBold(IsBold(index.row()));
    QStyledItemDelegate::paint(painter, item, index);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width(), ItemHeight};
  }
  static bool IsBold(int row) { return row == 5 || row == 9; }
};

void FillBaudRates(QComboBox* list) {
  for (const char* rate : BaudRates) list->addItem(QString::fromLatin1(rate));
  list->setItemDelegate(new TBaudRateDelegate(list));
  // The closed list shows its selection the way the open one draws it.
  const auto boldWhenUsual = [list](int row) {
    QFont font = list->font();
    font.setBold(TBaudRateDelegate::IsBold(row));
    list->setFont(font);
  };
  QObject::connect(list, &QComboBox::currentIndexChanged, list, boldWhenUsual);
  list->setCurrentIndex(DefaultBaudRateIndex);
}

// The entry with exactly the rate's decimal text, else "110".
void SelectBaudRate(QComboBox* list, int32_t rate) {
  const int index = list->findText(QString::number(rate), Qt::MatchExactly);
  list->setCurrentIndex(index >= 0 ? index : 0);
}

std::string Text(const QString& s) { return s.toStdString(); }

// "COM 33 (/dev/ttyUSB0)": the device behind the number, links followed,
// since that is the name a Linux user knows the port by.
void ComPortText(int Port, uint8_t State, QString& text) {
  const std::string path = korvan::transport::ComPortDevicePath(Port);
  if (path.empty()) return;
  char resolved[PATH_MAX];
  const QString device = QString::fromLocal8Bit(realpath(path.c_str(), resolved) != nullptr ? resolved : path.c_str());
  text = TComPortStringList::DefaultText(Port, psNotScanned) + QStringLiteral(" (") + device + QLatin1Char(')');
  if (State == psProbing) text += QStringLiteral(" ...");
}

}  // namespace

TfConnectionDialog::TfConnectionDialog(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      ui(std::make_unique<Ui::TfConnectionDialog>()) {
  ui->setupUi(this);
  FormCreate();
}

TfConnectionDialog::~TfConnectionDialog() { FormDestroy(); }

void TfConnectionDialog::FormCreate() {
  comPorts_ = std::make_unique<TComPortStringList>();
  comPorts_->Bind(ui->cbCOM);
  comPorts_->SetTextEvent(&ComPortText);
  ShowComPortIdentities(ui->cbCOM);
  scanner_ = std::make_unique<TComPortScanner>();
  connect(scanner_.get(), &TComPortScanner::OnPortState, comPorts_.get(), &TComPortStringList::Update);
  setFixedSize(369, 339);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
  FillBaudRates(ui->cbCOMBaudrate);
  FillBaudRates(ui->cbUSBBaudRate);
  ui->iePort->SetMaxValue(65535);
  ui->iePort->SetValue(10001);
  ui->iePort->SetShowName(tr("Hodnota"));
  ui->iePort->SetColored(false);

  // The three buttons sit in different panels: one exclusive group keeps them
  // one choice however they are checked (mouse, keyboard, a screen reader's
  // toggle), and its toggle alone drives the enabling.
  choice_ = new QButtonGroup(this);
  choice_->setExclusive(true);
  for (QRadioButton* button : {ui->rbCOM, ui->rbUSB, ui->rbTCP}) choice_->addButton(button);
  connect(choice_, &QButtonGroup::buttonToggled, this, [this](QAbstractButton*, bool checked) {
    if (checked) rbCOMClick();
  });
  connect(ui->bCOMRefresh, &QPushButton::clicked, this, &TfConnectionDialog::bCOMRefreshClick);
  connect(ui->bUSBRefresh, &QPushButton::clicked, this, &TfConnectionDialog::bUSBRefreshClick);
  connect(ui->cbDeviceName, &QComboBox::activated, this, &TfConnectionDialog::cbDeviceNameChange);
  connect(ui->sbExpertMode, &QToolButton::clicked, this, &TfConnectionDialog::sbExpertModeClick);
  connect(ui->bOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(ui->bCancel, &QPushButton::clicked, this, &QDialog::reject);

  NameByLabel(ui->lCOM, ui->cbCOM);
  NameByLabel(ui->lCOMBaudrate, ui->cbCOMBaudrate, ui->rbCOM->text().chopped(1));
  NameByLabel(ui->lDeviceName, ui->cbDeviceName);
  NameByLabel(ui->lSerialNumber, ui->eSerialNumber);
  NameByLabel(ui->lUSBBaudRate, ui->cbUSBBaudRate, ui->rbUSB->text().chopped(1));
  NameByLabel(ui->lIP, ui->eIP);
  NameByLabel(ui->lPort, ui->iePort);
  // Hexadecimal, as the module's documents and the scan give it.
  ui->eAddress->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]{1,2}")), ui->eAddress));
  NameByLabel(ui->lAddress, ui->eAddress);

  ui->sbExpertMode->setChecked(false);
  sbExpertModeClick();
}

void TfConnectionDialog::FormDestroy() {
  scanner_->Stop();
  scanner_.reset();
  comPorts_.reset();
}

bool TfConnectionDialog::Execute(std::string& ConnectionString, int& Address) {
  ui->eAddress->setText(QString::fromStdString(AddressText(Address)).mid(2));
  if (!Execute(ConnectionString)) return false;
  const int typed = ParseHexAddress(ui->eAddress->text().toStdString());
  if (typed >= 0) Address = typed;
  return true;
}

bool TfConnectionDialog::Execute(std::string& ConnectionString) {
  FillFrom(ConnectionString);
  if (ui->rbUSB->isChecked() && !ui->sbExpertMode->isChecked()) {
    ui->sbExpertMode->setChecked(true);
    sbExpertModeClick();
  }
  if (exec() != QDialog::Accepted) return false;
  ConnectionString = this->ConnectionString();
  return true;
}

std::string TfConnectionDialog::ConnectionString() const {
  if (ui->rbCOM->isChecked())
    return "provider=SERIAL_PORT;comport=" + std::to_string(comPorts_->PortAt(ui->cbCOM->currentIndex())) +
           ";baudrate=" + Text(ui->cbCOMBaudrate->currentText());
  if (ui->rbUSB->isChecked())
    return "provider=FTD_USB;serial_number=" + Text(ui->eSerialNumber->text()) +
           ";baudrate=" + Text(ui->cbUSBBaudRate->currentText());
  return "provider=TCP_CLIENT;host=" + Text(ui->eIP->text()) + ";port=" + std::to_string(ui->iePort->Value());
}

void TfConnectionDialog::FillFrom(const std::string& S) {
  using korvan::GetConnectionInteger;
  using korvan::GetConnectionValue;
  std::string provider = GetConnectionValue(S, "provider", "");
  std::transform(provider.begin(), provider.end(), provider.begin(), [](unsigned char c) { return std::toupper(c); });
  if (provider == "FTD_USB") {
    Choose(ui->rbUSB);
    ui->eSerialNumber->setText(QString::fromStdString(GetConnectionValue(S, "serial_number", "")));
    SelectBaudRate(ui->cbUSBBaudRate, GetConnectionInteger(S, "baudrate", 9600));
  } else if (provider == "TCP_CLIENT") {
    Choose(ui->rbTCP);
    ui->eIP->setText(QString::fromStdString(GetConnectionValue(S, "host", "")));
    ui->iePort->SetValue(GetConnectionInteger(S, "port", 10001));
  } else {
    Choose(ui->rbCOM);
    ui->cbCOM->setCurrentIndex(comPorts_->IndexOfPort(GetConnectionInteger(S, "comport", 1)));
    SelectBaudRate(ui->cbCOMBaudrate, GetConnectionInteger(S, "baudrate", 9600));
  }
}

void TfConnectionDialog::Choose(QRadioButton* button) {
  if (button->isChecked())
    ChoiceHandling();
  else
    button->setChecked(true);  // the group's toggle runs the choice handling
}

void TfConnectionDialog::rbCOMClick() { ChoiceHandling(); }

void TfConnectionDialog::ChoiceHandling() {
  if (ui->rbCOM->isChecked() && ui->cbCOM->count() == 0) bCOMRefreshClick();
  if (ui->rbUSB->isChecked() && ui->cbDeviceName->count() == 0) bUSBRefreshClick();
  const bool com = ui->rbCOM->isChecked(), usb = ui->rbUSB->isChecked(), tcp = ui->rbTCP->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{ui->lCOM, ui->lCOMBaudrate, ui->cbCOM, ui->bCOMRefresh,
                                                    ui->cbCOMBaudrate})
    w->setEnabled(com);
  for (QWidget* w : std::initializer_list<QWidget*>{ui->lDeviceName, ui->lSerialNumber, ui->lUSBBaudRate,
                                                    ui->cbDeviceName, ui->eSerialNumber, ui->bUSBRefresh,
                                                    ui->cbUSBBaudRate})
    w->setEnabled(usb);
  for (QWidget* w : std::initializer_list<QWidget*>{ui->lIP, ui->lPort, ui->eIP, ui->iePort}) w->setEnabled(tcp);
}

void TfConnectionDialog::bCOMRefreshClick() {
  // The findings arrive as queued events: give the first ones a moment, so
  // that the list is not empty when the operator looks; the rest follow.
  scanner_->StartScan();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
  if (ui->cbCOM->count() > 0) ui->cbCOM->setCurrentIndex(0);
}

void TfConnectionDialog::bUSBRefreshClick() {
  using namespace korvan::transport;
  ui->cbDeviceName->clear();
  try {
    const int count = FTDIDeviceCount();
    for (int i = 0; i < count; ++i) {
      char description[FTDIDescriptionCapacity] = {};
      int length = FTDIDescriptionCapacity;
      if (FTDIDeviceDescription(i, description, length) == 0 && description[0] != 0)
        ui->cbDeviceName->addItem(QString::fromLocal8Bit(description), i);
    }
  } catch (...) {
    // a failing library leaves the entries listed so far
  }
  if (ui->cbDeviceName->count() == 0) {
    ui->eSerialNumber->clear();
    return;
  }
  ui->cbDeviceName->setCurrentIndex(0);
  cbDeviceNameChange();
}

void TfConnectionDialog::cbDeviceNameChange() {
  using namespace korvan::transport;
  const int entry = ui->cbDeviceName->currentIndex();
  if (entry < 0) {
    ui->eSerialNumber->clear();
    return;
  }
  char serial[FTDISerialNumberCapacity] = {};
  int length = FTDISerialNumberCapacity;
  const int device = ui->cbDeviceName->itemData(entry).toInt();
  ui->eSerialNumber->setText(FTDIDeviceSerialNumber(device, serial, length) == 0 ? QString::fromLocal8Bit(serial)
                                                                                 : QString());
}

void TfConnectionDialog::sbExpertModeClick() {
  const bool expert = ui->sbExpertMode->isChecked();
  ui->pUSB->setVisible(expert);
  ui->pAddress->setVisible(expert);
  ui->lCOMBaudrate->setVisible(expert);
  ui->cbCOMBaudrate->setVisible(expert);
}

}  // namespace duomat
