// The windows speak the language the desktop or --lang chooses: English only
// for English, exactly the Czech texts for Czech and every other language.
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/uIntEdit.h"
#include "app/uProgramOptions.h"
#include "app/uQtTranslation.h"
#include "app/ufConnectionDialog.h"
#include "app/ufMain.h"
#include "app/ui/TUiTest.h"
#include "protocol/uKorvanModules.h"

using namespace duomat;
using duomat::test::AnswerNextMessage;
using duomat::test::TShownMessage;

namespace {
// The dialog's answer: a COM port that is not there, so connecting fails.
struct TMissingPortDialog : IConnectionDialog {
  bool Execute(std::string& connection) override {
    connection = "provider=SERIAL_PORT;comport=9;baudrate=9600";
    return true;
  }
};

QString ShownText(QWidget* w) {
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
  if (auto* group = qobject_cast<QGroupBox*>(w)) return group->title();
  return w->isWindow() ? w->windowTitle() : QString();
}

// A text in a window's language, found by the control's name ("" for the window).
struct TText {
  const char* Control;
  const char *Czech, *English;
};

const TText MainTexts[] = {
    {"grpIngra", "Nastavení Ingra", "Ingra settings"},
    {"lblIngraMeasureRange", "Pracovní rozsah vstupů:", "Input range:"},
    {"btnIngraLoad", "Nahrát ze zařízení", "Load from device"},
    {"btnOutraConnect", "Navázat spojení", "Connect"},
    {"lblOutraWatchDog2Enabled",
     "Nastavit druhý výstup po přerušení komunikace:", "Set output 2 when communication is lost:"},
    {"btnClose", "Ukončit", "Exit"},
};
const TText DialogTexts[] = {
    {"", "Nastavení připojení", "Connection settings"},
    {"rbCOM", "Sériový port:", "Serial port:"},
    {"lCOMBaudrate", "Komunikační rychlost [Bd]:", "Baud rate [Bd]:"},
    {"sbExpertMode", "Pro pokročilé", "Advanced"},
    {"bCancel", "Zrušit", "Cancel"},
};
}  // namespace

class TWindowLanguageTest : public QObject {
  Q_OBJECT

  QTemporaryDir noPorts_;

  static void Compare(QWidget* window, const TText* begin, const TText* end, bool english) {
    for (const TText* t = begin; t != end; ++t) {
      QWidget* w = *t->Control ? window->findChild<QWidget*>(t->Control) : window;
      QVERIFY2(w, t->Control);
      QCOMPARE(ShownText(w), QString::fromUtf8(english ? t->English : t->Czech));
    }
  }

  // No Czech left anywhere in an English window: Czech texts carry diacritics.
  static void AllEnglish(QWidget* window) {
    QList<QWidget*> all = window->findChildren<QWidget*>();
    all << window;
    for (QWidget* w : all) {
      const QString text = ShownText(w) + w->accessibleName();
      for (QChar c : text) QVERIFY2(c.unicode() < 0x80, qPrintable(w->objectName() + ": " + text));
    }
  }

 private slots:
  void initTestCase() {
    korvan::InitializeModules();
    qputenv("DUOMAT_PORT_DIR", noPorts_.path().toUtf8());
    qputenv("DUOMAT_DEV_DIR", noPorts_.path().toUtf8());
    qputenv("DUOMAT_SYSFS_ROOT", noPorts_.path().toUtf8());
  }
  void cleanupTestCase() {
    InstallUiLanguage(*QCoreApplication::instance(), TUiLanguage::Czech);
    korvan::FinalizeModules();
  }

  void theDesktopOrTheSwitchChooses_data() {
    QTest::addColumn<QByteArray>("lang");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("english");
    QTest::newRow("English desktop") << QByteArray("en_GB.UTF-8") << QStringList{} << true;
    QTest::newRow("Czech desktop") << QByteArray("cs_CZ.UTF-8") << QStringList{} << false;
    QTest::newRow("C locale") << QByteArray("C") << QStringList{} << false;
    QTest::newRow("German desktop") << QByteArray("de_DE.UTF-8") << QStringList{} << false;
    QTest::newRow("--lang en on a Czech desktop")
        << QByteArray("cs_CZ.UTF-8") << QStringList{"--lang", "en"} << true;
    QTest::newRow("--lang=cs on an English desktop")
        << QByteArray("en_GB.UTF-8") << QStringList{"--lang=cs"} << false;
  }
  void theDesktopOrTheSwitchChooses() {
    QFETCH(QByteArray, lang);
    QFETCH(QStringList, arguments);
    QFETCH(bool, english);
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"}) qunsetenv(name);
    qputenv("LANG", lang);
    std::vector<std::string> args{"duomat"};
    for (const QString& a : arguments) args.push_back(a.toStdString());
    // As the program chooses at start.
    const TProgramOptions options = ParseProgramOptions(args);
    QVERIFY(options.Error.empty());
    InstallUiLanguage(*QCoreApplication::instance(),
                      options.Language.value_or(DesktopUiLanguage()));

    TfMain main;
    Compare(&main, std::begin(MainTexts), std::end(MainTexts), english);
    QCOMPARE(main.findChild<QWidget*>("deOutraWatchDog1Value")->accessibleName(),
             english ? QString("Default output value [V/mA] (output 1)")
                     : QString("Výchozí hodnota výstupu [V/mA] (první výstup)"));
    if (english) AllEnglish(&main);

    // A message of the settings logic, in the window's message box.
    TMissingPortDialog missing;
    main.SetConnectionDialog(&missing);
    TShownMessage shown;
    AnswerNextMessage(shown);
    main.findChild<QPushButton*>("btnIngraConnect")->click();
    QCOMPARE(shown.Text, english ? QString("Could not open the connection!")
                                 : QString("Nepodařilo se otevřít spojení!"));

    TfConnectionDialog dialog;
    Compare(&dialog, std::begin(DialogTexts), std::end(DialogTexts), english);
    if (english) AllEnglish(&dialog);
    // The port field's range message names it in the window's language.
    dialog.findChild<QRadioButton*>("rbTCP")->setChecked(true);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto* port = dialog.findChild<TIntEdit*>("iePort");
    port->SetAutoCorrect(false);
    port->setFocus();
    port->setText("70000");
    AnswerNextMessage(shown);
    dialog.findChild<QWidget*>("eIP")->setFocus(Qt::TabFocusReason);
    QCOMPARE(shown.Text, english ? QString("Value must be in the range 0 to 65535!")
                                 : QString("Hodnota musí být v rozmezí od 0 do 65535!"));
  }
};

QTEST_MAIN(TWindowLanguageTest)
#include "uWindowLanguage_test.moc"
