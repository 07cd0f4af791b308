#include "app/uMessageBoxSink.h"

#include <QMessageBox>

namespace duomat {

void TMessageBoxSink::ShowMessage(const std::string& text) { Show(parent_, text); }

void TMessageBoxSink::Show(QWidget* parent, const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Duomat"), QString::fromStdString(text),
                  QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace duomat
