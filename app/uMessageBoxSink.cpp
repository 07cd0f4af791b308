#include "app/uMessageBoxSink.h"

#include <QApplication>
#include <QMessageBox>

namespace duomat {

void TMessageBoxSink::ShowMessage(const std::string& text) { Show(parent_, text); }

void TMessageBoxSink::Show(QWidget* parent, const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), QString::fromStdString(text),
                  QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace duomat
