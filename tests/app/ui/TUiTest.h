#pragma once
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

namespace duomat::test {

// What a modal message box showed: title, text, icon, number of buttons.
struct TShownMessage {
  QString Title, Text;
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
  qsizetype Buttons = 0;
};

// Answers the next modal message box with OK while the code under test waits in it.
inline void AnswerNextMessage(TShownMessage& out) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, &out] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      out = {box->windowTitle(), box->text(), box->icon(), box->buttons().size()};
      timer->deleteLater();
      box->button(QMessageBox::Ok)->click();
    }
  });
  timer->start(5);
}

// A shown, active window with the field (focused) and a second edit to move to.
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
    if (!QTest::qWaitForWindowActive(&window)) qWarning("window not active");
    field->setFocus();
  }
};

// The fields of a window whose name a screen reader would say is empty, the
// title of their group, or another field's name, each as "objectName: name".
inline QStringList UnnamedFields(QWidget* window) {
  QList<QWidget*> fields;
  for (QWidget* w : window->findChildren<QLineEdit*>()) fields << w;
  for (QWidget* w : window->findChildren<QComboBox*>()) fields << w;
  for (QWidget* w : window->findChildren<QCheckBox*>()) fields << w;
  for (QWidget* w : window->findChildren<QPlainTextEdit*>()) fields << w;
  QStringList names, problems;
  for (QWidget* w : fields) {
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(w);
    const QString name = reader ? reader->text(QAccessible::Name) : QString();
    QWidget* group = w->parentWidget();
    while (group && !qobject_cast<QGroupBox*>(group)) group = group->parentWidget();
    if (name.isEmpty() || names.contains(name) || (group && name == static_cast<QGroupBox*>(group)->title()))
      problems << w->objectName() + ": " + name;
    names << name;
  }
  return problems;
}

}  // namespace duomat::test
