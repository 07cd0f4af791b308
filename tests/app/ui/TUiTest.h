#pragma once
// Shared pieces of the window tests: message boxes answered, field windows, screen-reader names, threads.
#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <dirent.h>

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

// Fields whose name for a screen reader is empty, or another's (their group's title, say).
inline QStringList UnnamedFields(QWidget* window) {
  QStringList names, problems;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!QStringList{"QLineEdit", "QComboBox", "QCheckBox", "QPlainTextEdit"}.contains(w->metaObject()->className()) &&
        !qobject_cast<QLineEdit*>(w))
      continue;
    const QString name = QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
    if (name.isEmpty() || names.contains(name)) problems << w->objectName() + ": " + name;
    names << name;
  }
  return problems;
}

// The threads of this process, for tests that nothing they start outlives them.
inline size_t ThreadCount() {
  size_t n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (const dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}

}  // namespace duomat::test
