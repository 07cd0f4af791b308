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
  void initTestCase() { QLocale::setDefault(QLocale(QLocale::Czech, QLocale::CzechRepublic)); }

  void ValidateCorrectsCommaEmptyAndBadText() {
    TDoubleEdit e;
    e.SetValue(3.5);  // the initial range 0 to 0 holds every value at 0
    QCOMPARE(e.text(), QString("0"));
    Range(e, 0, 10);
    for (auto [typed, shown] : {std::pair{"12,5", "10"}, {"", "0"}, {"abc", "0"}, {"2,25", "2,25"}}) {
      e.setText(typed);
      QVERIFY(e.Validate());
      QCOMPARE(e.text(), QString(shown));
    }
    e.SetDecimalBenhaviour(dbRemember);  // takes the decimals from the text
    e.setText("3,125");
    QVERIFY(e.Validate());
    QCOMPARE(e.Decimals(), 3);
    QCOMPARE(e.text(), QString("3,125"));
  }

  void RejectedTextShowsTheBoundsWithTwoDecimals() {
    TFieldWindow<TDoubleEdit> w;
    Range(*w.field, 0, 10);
    w.field->SetAutoCorrect(false);
    w.field->setText("12,5");
    TShownMessage shown;
    AnswerNextMessage(shown);
    QTest::keyClick(w.field, Qt::Key_Return);
    QCOMPARE(shown.Text, QString("Hodnota musí být v rozmezí od 0,00 do 10,00!"));
    QCOMPARE(w.field->selectedText(), QString("12,5"));
  }

  void GroupedTextReadsBackWhatItShows() {
    TFieldWindow<TDoubleEdit> w;
    Range(*w.field, -5000, 5000);
    w.field->SetDecimalBenhaviour(dbManual);
    w.field->SetValue(1234.5);
    QCOMPARE(w.field->text(), QString("1\u00a0234,50"));  // a no-break space groups
    QCOMPARE(w.field->Value(), 1234.5);
    w.field->SetAutoCorrect(false);
    QVERIFY(w.field->Validate());
    QTest::keyClick(w.field, Qt::Key_Up);
    QCOMPARE(w.field->Value(), 1235.5);
  }

  void StepsColourAndKeypadPlus() {
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
    QTest::keyClicks(w.field, "1.5,a+");  // a point becomes the decimal comma
    QCOMPARE(w.field->text(), QString("551,5,"));
  }
};

QTEST_MAIN(TDoubleEditTest)
#include "uDoubleEdit_test.moc"
