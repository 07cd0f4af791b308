#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QSignalSpy>

#include "app/uIntEdit.h"
#include "app/ui/TUiTest.h"

using namespace duomat;
using namespace duomat::test;

class TIntEditTest : public QObject {
  Q_OBJECT

 private slots:
  void SettersClampInTheirOrder() {
    TIntEdit e;
    QCOMPARE(e.text(), QString("0"));
    e.SetMaxValue(86400);
    e.SetMinValue(100000);  // above the maximum: the maximum becomes the minimum
    QCOMPARE(e.MinValue(), 86400);
    QCOMPARE(e.text(), QString("86400"));
    e.SetIncrement(0);
    e.SetIncrement(-3);
    QCOMPARE(e.Increment(), 1);
    e.SetMinValue(-10);
    e.SetValue(-3);  // the colour comes from the text before the update
    QCOMPARE(e.palette().color(QPalette::Text), QColor(TMyCustomNumEdit::PositiveColour));
    e.Redisplay();
    QCOMPARE(e.palette().color(QPalette::Text), QColor(TMyCustomNumEdit::NegativeColour));
    // A disabled field keeps the style's greyed text, whatever its sign.
    QCOMPARE(e.palette().color(QPalette::Disabled, QPalette::Text),
             QLineEdit().palette().color(QPalette::Disabled, QPalette::Text));
  }

  void ValidateCorrectsOrAccepts() {
    TIntEdit e;
    e.SetMaxValue(65535);
    for (auto [typed, shown] : {std::pair{"70000", "65535"}, {"12a4", "12"}, {"-7", "0"}, {"$1F", "31"},
                                {"0x10", "16"}, {"0", "0"}, {"65535", "65535"}, {"", "0"}, {"99999999999", "65535"}}) {
      e.setText(typed);
      QVERIFY(e.Validate());
      QCOMPARE(e.text(), QString(shown));
    }
  }

  void RejectedTextIsReportedAndKeepsTheFocus() {
    TFieldWindow<TIntEdit> w;
    w.field->SetMaxValue(65535);
    w.field->SetAutoCorrect(false);
    w.field->setText("70000");
    TShownMessage shown;
    AnswerNextMessage(shown);
    w.other->setFocus(Qt::TabFocusReason);
    QCOMPARE(shown.Text, QString("Hodnota musí být v rozmezí od 0 do 65535!"));
    QCOMPARE(shown.Title + QString::number(shown.Icon) + QString::number(shown.Buttons), QString("Confirm41"));
    w.window.activateWindow();  // offscreen does not give it back after the box
    QVERIFY(QTest::qWaitFor([&] { return w.field->hasFocus(); }));
    QCOMPARE(w.field->selectedText(), QString("70000"));
  }

  void KeysStepFilterAndValidate() {
    TFieldWindow<TIntEdit> w;
    w.field->SetMaxValue(150);
    QTest::keyClick(w.field, Qt::Key_Up, Qt::ControlModifier);
    QCOMPARE(w.field->Value(), 10);
    QTest::keyClick(w.field, Qt::Key_PageUp, Qt::ControlModifier);
    QCOMPARE(w.field->Value(), 110);
    w.field->SetPageMult(3);
    w.field->SetIncrement(2);
    QTest::keyClick(w.field, Qt::Key_PageDown);
    QCOMPARE(w.field->Value(), 104);
    w.field->SetIncrement(2000000000);
    QTest::keyClick(w.field, Qt::Key_PageUp, Qt::ControlModifier);  // clamped, not wrapped
    QCOMPARE(w.field->Value(), 150);
    w.field->clear();
    QTest::keyClicks(w.field, "1a +-.5");
    QCOMPARE(w.field->text(), QString("1-5"));
    QTest::keyClick(w.field, Qt::Key_Return);
    QCOMPARE(w.field->text(), QString("1"));
  }

  void ClipboardNeedsEditorEnabled() {
    TFieldWindow<TIntEdit> w;
    QApplication::clipboard()->setText("42");
    w.field->SetEditorEnabled(false);
    w.field->clear();
    QTest::keyClick(w.field, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(w.field, Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(w.field->text(), QString());
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2), w.field->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(w.field, &click);
    QMenu* menu = w.field->findChild<QMenu*>();
    QVERIFY(menu && menu->findChild<QAction*>("edit-paste"));
    QVERIFY(!menu->findChild<QAction*>("edit-paste")->isEnabled());
    menu->close();
    w.field->SetEditorEnabled(true);
    QSignalSpy changed(w.field, &TMyCustomNumEdit::OnChangeText);
    QTest::keyClick(w.field, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(w.field->text(), QString("42"));
    QCOMPARE(changed.at(0).at(0).value<TMyCustomNumEdit*>(), w.field);
    w.other->setFocus(Qt::TabFocusReason);
    w.field->setFocus(Qt::OtherFocusReason);  // entering selects all, not only by Tab
    QCOMPARE(w.field->selectedText(), QString("42"));
  }
};

QTEST_MAIN(TIntEditTest)
#include "uIntEdit_test.moc"
