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
    e.SetValue(-7);
    QCOMPARE(e.text(), QString("0"));
    e.SetValue(90000);
    QCOMPARE(e.text(), QString("86400"));
    e.SetMinValue(100000);  // above the maximum: the maximum becomes the minimum
    QCOMPARE(e.MinValue(), 86400);
    e.SetMaxValue(5);  // below the minimum: stays at the minimum
    QCOMPARE(e.MaxValue(), 86400);
    e.SetIncrement(0);
    e.SetIncrement(-3);
    QCOMPARE(e.Increment(), 1);
  }

  void ValidateCorrectsOrAccepts_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("max");
    QTest::addColumn<QString>("shown");
    QTest::newRow("above the range") << "70000" << 65535 << "65535";
    QTest::newRow("digits before a letter") << "12a4" << 65535 << "12";
    QTest::newRow("below the range") << "-7" << 86400 << "0";
    QTest::newRow("dollar hex") << "$1F" << 65535 << "31";
    QTest::newRow("0x hex") << "0x10" << 65535 << "16";
    QTest::newRow("lowest") << "0" << 65535 << "0";
    QTest::newRow("highest") << "65535" << 65535 << "65535";
    QTest::newRow("empty") << "" << 65535 << "0";
    QTest::newRow("beyond 32 bits") << "99999999999" << 65535 << "65535";
  }
  void ValidateCorrectsOrAccepts() {
    QFETCH(QString, typed);
    QFETCH(int, max);
    QFETCH(QString, shown);
    TIntEdit e;
    e.SetMaxValue(max);
    e.setText(typed);
    QVERIFY(e.Validate());
    QCOMPARE(e.text(), shown);
  }

  void RejectedTextIsReportedAndKeepsTheFocus() {
    TFieldWindow<TIntEdit> w;
    w.field->SetMaxValue(65535);
    w.field->SetAutoCorrect(false);
    w.Type("70000");
    TShownMessage shown;
    AnswerNextMessage(shown);
    w.other->setFocus(Qt::TabFocusReason);
    QVERIFY(shown.Shown);
    QCOMPARE(shown.Text, QString("Hodnota musí být v rozmezí od 0 do 65535!"));
    QCOMPARE(shown.Title, QString("Confirm"));
    QCOMPARE(shown.Icon, QMessageBox::Question);
    QCOMPARE(shown.Buttons, 1);
    w.window.activateWindow();  // offscreen does not give it back after the box
    QVERIFY(QTest::qWaitFor([&] { return w.field->hasFocus(); }));
    QCOMPARE(w.field->selectedText(), QString("70000"));

    w.Type("65535");
    w.other->setFocus(Qt::TabFocusReason);
    QVERIFY(w.other->hasFocus());
  }

  void EnterValidates() {
    TFieldWindow<TIntEdit> w;
    w.field->SetMaxValue(10);
    w.Type("12a4");
    QTest::keyClick(w.field, Qt::Key_Return);
    QCOMPARE(w.field->text(), QString("10"));
  }

  void StepsTakeControlAndPageFromTheKey() {
    TFieldWindow<TIntEdit> w;
    w.field->SetMaxValue(150);
    QTest::keyClick(w.field, Qt::Key_Up, Qt::ControlModifier);
    QCOMPARE(w.field->Value(), 10);
    QTest::keyClick(w.field, Qt::Key_PageUp);
    QCOMPARE(w.field->Value(), 20);
    QTest::keyClick(w.field, Qt::Key_PageUp, Qt::ControlModifier);
    QCOMPARE(w.field->Value(), 120);
    w.field->SetPageMult(3);
    w.field->SetIncrement(2);
    QTest::keyClick(w.field, Qt::Key_PageDown);
    QCOMPARE(w.field->Value(), 114);
    w.Type("x");  // not a number: starts from the stored value
    QTest::keyClick(w.field, Qt::Key_Down);
    QCOMPARE(w.field->Value(), 112);
    w.field->SetMaxValue(1000000);
    w.field->SetIncrement(2000000000);
    QTest::keyClick(w.field, Qt::Key_PageUp, Qt::ControlModifier);  // no wrap-around
    QCOMPARE(w.field->Value(), 1000000);
  }

  void KeyFilterPassesDigitsAndMinus() {
    TFieldWindow<TIntEdit> w;
    w.field->clear();
    QTest::keyClicks(w.field, "1a +-.5");
    QCOMPARE(w.field->text(), QString("1-5"));
  }

  void ColourComesFromTheTextBeforeTheUpdate() {
    TIntEdit e;
    e.SetMinValue(-10);
    e.SetValue(-3);
    QCOMPARE(e.palette().color(QPalette::Text), QColor(Qt::black));
    e.Redisplay();
    QCOMPARE(e.palette().color(QPalette::Text), QColor(TMyCustomNumEdit::NegativeColour));
    e.SetValue(4);
    e.SetValue(4);
    QCOMPARE(e.palette().color(QPalette::Text), QColor(TMyCustomNumEdit::PositiveColour));
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
    QVERIFY(menu);
    QAction* paste = menu->findChild<QAction*>("edit-paste");
    QVERIFY(paste);
    QVERIFY(!paste->isEnabled());
    menu->close();
    w.field->SetEditorEnabled(true);
    QTest::keyClick(w.field, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(w.field->text(), QString("42"));
  }

  void EnteringSelectsAllAndChangesAreNotified() {
    TFieldWindow<TIntEdit> w;
    QSignalSpy changed(w.field, &TMyCustomNumEdit::OnChangeText);
    w.field->SetValue(7);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<TMyCustomNumEdit*>(), w.field);
    w.other->setFocus(Qt::TabFocusReason);
    w.field->setFocus(Qt::TabFocusReason);
    QCOMPARE(w.field->selectedText(), QString("7"));
  }
};

QTEST_MAIN(TIntEditTest)
#include "uIntEdit_test.moc"
