#pragma once
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

namespace duomat::test {

// What a modal message box showed; it is closed with its OK button.
struct TShownMessage {
  bool Shown = false;
  QString Title, Text;
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
  int Buttons = 0;
};

// Answers the next modal message box while the code under test waits in it.
inline void AnswerNextMessage(TShownMessage& out) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, &out] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    out = {true, box->windowTitle(), box->text(), box->icon(), static_cast<int>(box->buttons().size())};
    timer->deleteLater();
    box->button(QMessageBox::Ok)->click();
  });
  timer->start(5);
}

// A shown, active window holding the field and a second edit to move to.
template <class TField>
struct TFieldWindow {
  QWidget window;
  TField* field = new TField;
  QLineEdit* other = new QLineEdit;

  TFieldWindow() {
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(field);
    layout->addWidget(other);
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) qWarning("window not active");
    field->setFocus();
  }
  void Type(const QString& text) {
    field->clear();
    field->insert(text);
  }
};

}  // namespace duomat::test
