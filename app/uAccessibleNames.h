#pragma once
// Names a window's fields for screen readers after their labels.
#include <QString>

class QLabel;
class QWidget;

namespace duomat {

// A screen reader names a field by its accessible name, else by the group box
// around it, so every field of a group would sound alike. The label becomes
// the field's buddy and its text, without the colon, the field's name;
// `detail` tells apart two fields whose labels read the same.
void NameByLabel(QLabel* label, QWidget* field, const QString& detail = {});

}  // namespace duomat
