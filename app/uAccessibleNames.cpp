#include "app/uAccessibleNames.h"

#include <QLabel>

namespace duomat {

void NameByLabel(QLabel* label, QWidget* field, const QString& detail) {
  label->setBuddy(field);
  QString name = label->text().trimmed();
  if (name.endsWith(QLatin1Char(':'))) name.chop(1);
  if (!detail.isEmpty()) name += QStringLiteral(" (") + detail + QLatin1Char(')');
  field->setAccessibleName(name);
}

}  // namespace duomat
