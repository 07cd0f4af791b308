#pragma once
// A port drop-down's entries: one per existing port, sorted by number, each with its item data.
#include <QComboBox>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace duomat {

// What an entry of the port list carries.
struct TComPortItem {
  int32_t Port = 0;
  uint8_t State = 0;
};

// Keeps a drop-down list's items sorted by port number, one entry per port
// that exists (and, while it is probed, per port being probed). Each entry
// carries its TComPortItem as the item's data (Qt::UserRole).
class TComPortStringList : public QObject {
  Q_OBJECT

 public:
  // Makes an entry's text; without it the text is "COM n" (" ..." appended
  // while probed).
  using TTextEvent = std::function<void(int Port, uint8_t State, QString& Text)>;

  explicit TComPortStringList(QObject* parent = nullptr);

  void Bind(QComboBox* list);  // not owned
  QComboBox* List() const { return list_; }
  void SetTextEvent(TTextEvent event) { textEvent_ = std::move(event); }

  // The scanner's port-state event: absent ports leave the list, every other
  // state adds or updates the port's entry.
  void Update(int Port, int State);
  // The entry with the greatest port number not above Port (or the last
  // entry without an item after it), −1 when none.
  int IndexOfPort(int Port) const;
  // The port of an entry, 0 when there is none.
  int PortAt(int Index) const;

  static QString DefaultText(int Port, uint8_t State);

 private:
  std::optional<TComPortItem> ItemAt(int index) const;

  QPointer<QComboBox> list_;
  TTextEvent textEvent_;
};

}  // namespace duomat

Q_DECLARE_METATYPE(duomat::TComPortItem)
