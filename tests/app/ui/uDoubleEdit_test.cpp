#include <QLocale>

#include "app/uDoubleEdit.h"
#include "app/ui/TUiTest.h"

using namespace duomat;
using namespace duomat::test;

class TDoubleEditTest : public QObject {
  Q_OBJECT

  static void Range(TDoubleEdit& e, double lo, double hi) {
    e.SetMaxValue(hi);
    e.SetMinValue(lo);
  }

 private slots:
  void init() { QLocale::setDefault(QLocale(QLocale::Czech, QLocale::CzechRepublic)); }
  void cleanup() { QLocale::setDefault(QLocale::c()); }

  void InitialRangeHoldsEveryValueAtZero() {
    TDoubleEdit e;
    QCOMPARE(e.text(), QString("0"));
    e.SetValue(3.5);
    QCOMPARE(e.text(), QString("0"));
    Range(e, -1, 10);
    e.SetValue(2.25);
    QCOMPARE(e.text(), QString("2,25"));
  }

  void CommaTextAboveTheRangeIsCorrected() {
    TDoubleEdit e;
    Range(e, 0, 10);
    e.setText("12,5");
    QVERIFY(e.Validate());
    QCOMPARE(e.text(), QString("10"));
    e.setText("");  // empty counts as 0
    QVERIFY(e.Validate());
    QCOMPARE(e.text(), QString("0"));
    e.setText("abc");
    QVERIFY(e.Validate());
    QCOMPARE(e.text(), QString("0"));
  }

  void RejectedTextShowsTheBoundsWithTwoDecimals() {
    TFieldWindow<TDoubleEdit> w;
    Range(*w.field, 0, 10);
    w.field->SetAutoCorrect(false);
    w.Type("12,5");
    TShownMessage shown;
    AnswerNextMessage(shown);
    QTest::keyClick(w.field, Qt::Key_Return);
    QVERIFY(shown.Shown);
    QCOMPARE(shown.Text, QString("Hodnota musí být v rozmezí od 0,00 do 10,00!"));
    QCOMPARE(w.field->selectedText(), QString("12,5"));
  }

  void TypedPointBecomesTheDecimalComma() {
    TFieldWindow<TDoubleEdit> w;
    w.field->clear();
    QTest::keyClicks(w.field, "1.5,2a+");
    QCOMPARE(w.field->text(), QString("1,5,2"));
  }

  void GroupedTextReadsBackWhatItShows_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("shown");
    QTest::newRow("Czech") << QLocale(QLocale::Czech, QLocale::CzechRepublic) << QString("1\u00a0234,50");
    QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << QString("1,234.50");
  }
  void GroupedTextReadsBackWhatItShows() {
    QFETCH(QLocale, locale);
    QFETCH(QString, shown);
    QLocale::setDefault(locale);
    TFieldWindow<TDoubleEdit> w;
    Range(*w.field, -5000, 5000);
    w.field->SetDecimalBenhaviour(dbManual);
    w.field->SetValue(1234.5);
    QCOMPARE(w.field->text(), shown);
    QCOMPARE(w.field->Value(), 1234.5);
    w.field->SetAutoCorrect(false);
    QVERIFY(w.field->Validate());
    QTest::keyClick(w.field, Qt::Key_Up);
    QCOMPARE(w.field->Value(), 1235.5);
  }

  void RememberTakesTheDecimalsFromTheText() {
    TDoubleEdit e;
    Range(e, 0, 100);
    e.SetDecimalBenhaviour(dbRemember);
    e.setText("3,125");
    QVERIFY(e.Validate());
    QCOMPARE(e.Decimals(), 3);
    QCOMPARE(e.text(), QString("3,125"));
    e.setText("7");
    QVERIFY(e.Validate());
    QCOMPARE(e.text(), QString("7"));
  }

  void StepsAndKeypadPlus() {
    TFieldWindow<TDoubleEdit> w;
    Range(*w.field, -200, 200);
    w.field->SetIncrement(0.5);
    QTest::keyClick(w.field, Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(w.field->Value(), -5.0);
    QCOMPARE(w.field->palette().color(QPalette::Text), QColor(Qt::black));  // from the text before
    QTest::keyClick(w.field, Qt::Key_PageDown, Qt::ControlModifier);
    QCOMPARE(w.field->Value(), -55.0);
    QCOMPARE(w.field->palette().color(QPalette::Text), QColor(TMyCustomNumEdit::NegativeColour));
    QTest::keyClick(w.field, Qt::Key_Plus, Qt::KeypadModifier);
    QCOMPARE(w.field->text(), QString("55"));
  }
};

QTEST_MAIN(TDoubleEditTest)
#include "uDoubleEdit_test.moc"
