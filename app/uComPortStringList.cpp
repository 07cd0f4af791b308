#include "app/uComPortStringList.h"

#include "core/uComPortScannerCore.h"

namespace duomat {

TComPortStringList::TComPortStringList(QObject* parent) : QObject(parent) {}

void TComPortStringList::Bind(QComboBox* list) { list_ = list; }

QString TComPortStringList::DefaultText(int Port, uint8_t State) {
  QString text = QStringLiteral("COM %1").arg(Port);
  if (State == psProbing) text += QStringLiteral(" ...");
  return text;
}

std::optional<TComPortItem> TComPortStringList::ItemAt(int index) const {
  const QVariant data = list_->itemData(index, Qt::UserRole);
  if (!data.canConvert<TComPortItem>()) return std::nullopt;
  return data.value<TComPortItem>();
}

int TComPortStringList::IndexOfPort(int Port) const {
  if (!list_) return -1;
  for (int i = list_->count() - 1; i >= 0; --i) {
    const std::optional<TComPortItem> item = ItemAt(i);
    if (!item || item->Port <= Port) return i;
  }
  return -1;
}

int TComPortStringList::PortAt(int Index) const {
  if (!list_ || Index < 0 || Index >= list_->count()) return 0;
  const std::optional<TComPortItem> item = ItemAt(Index);
  return item ? item->Port : 0;
}

void TComPortStringList::Update(int Port, int State) {
  if (!list_) return;
  const int at = IndexOfPort(Port);
  const std::optional<TComPortItem> found = at >= 0 ? ItemAt(at) : std::nullopt;
  const bool exists = found && found->Port == Port;
  if (State == psAbsent) {
    if (exists) list_->removeItem(at);
    return;
  }
  const TComPortItem item{Port, static_cast<uint8_t>(State)};
  QString text = DefaultText(Port, item.State);
  if (textEvent_) textEvent_(Port, item.State, text);
  if (exists) {
    list_->setItemData(at, QVariant::fromValue(item), Qt::UserRole);
    list_->setItemText(at, text);
  } else {
    list_->insertItem(at + 1, text, QVariant::fromValue(item));
  }
}

}  // namespace duomat
