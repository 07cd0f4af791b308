#include "app/uComPortIdentityView.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QComboBox>
#include <QStyledItemDelegate>

#include "app/uComPortStringList.h"
#include "core/uPortIdentity.h"
#include "transports/serial/uComPortMap.h"

namespace duomat {

namespace {
// Only the drop-down's entries are drawn with the identity appended.
class TIdentityDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QString identity = index.data(ComPortIdentityRole).toString();
    if (!identity.isEmpty()) option->text += QStringLiteral("  ") + identity;
  }
};

void ShowCurrent(QComboBox* list) {
  list->setToolTip(list->currentData(ComPortIdentityRole).toString());
}

void Refresh(QComboBox* list, int first, int last) {
  for (int row = first; row <= last && row < list->count(); ++row) {
    const int port = list->itemData(row).value<TComPortItem>().Port;
    const std::string path = korvan::transport::ComPortDevicePath(port);
    const QString identity =
        path.empty() ? QString() : QString::fromStdString(UsbIdentityText(PortIdentity(path).Usb));
    if (list->itemData(row, ComPortIdentityRole).toString() != identity)
      list->setItemData(row, identity, ComPortIdentityRole);
  }
  ShowCurrent(list);
}
}  // namespace

void ShowComPortIdentities(QComboBox* list) {
  list->view()->setItemDelegate(new TIdentityDelegate(list->view()));
  QAbstractItemModel* model = list->model();
  QObject::connect(model, &QAbstractItemModel::rowsInserted, list,
                   [list](const QModelIndex&, int first, int last) { Refresh(list, first, last); });
  QObject::connect(model, &QAbstractItemModel::dataChanged, list,
                   [list](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
                     if (roles == QList<int>{ComPortIdentityRole}) return;  // our own change
                     Refresh(list, from.row(), to.row());
                   });
  QObject::connect(list, &QComboBox::currentIndexChanged, list, [list] { ShowCurrent(list); });
}

}  // namespace duomat
