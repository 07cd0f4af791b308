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
#include "core/uOpenFailure.h"
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

// A control's text in both languages; "" names the window itself.
struct TText {
  const char *Control, *Czech, *English;
};
const TText MainTexts[] = {
    {"grpIngra", "Nastavení Ingra", "Ingra settings"},
    {"btnIngraLoad", "Nahrát ze zařízení", "Load from device"},
    {"lblOutraWatchDog2Enabled",
     "Nastavit druhý výstup po přerušení komunikace:", "Set output 2 when communication is lost:"},
};
const TText DialogTexts[] = {
    {"", "Nastavení připojení", "Connection settings"},
    {"lCOMBaudrate", "Komunikační rychlost [Bd]:", "Baud rate [Bd]:"},
    {"bCancel", "Zrušit", "Cancel"},
};

template <size_t N>
void CompareTexts(QWidget* window, const TText (&texts)[N], bool english) {
  for (const TText& t : texts) {
    QWidget* w = *t.Control ? window->findChild<QWidget*>(t.Control) : window;
    QVERIFY2(w, t.Control);
    QCOMPARE(ShownText(w), QString::fromUtf8(english ? t.English : t.Czech));
  }
  // No Czech left anywhere in an English window: Czech texts carry diacritics.
  QList<QWidget*> all = window->findChildren<QWidget*>() << window;
  for (QWidget* w : all) {
    const QString text = ShownText(w) + w->accessibleName();
    for (QChar c : text)
      QVERIFY2(!english || c.unicode() < 0x80, qPrintable(w->objectName() + ": " + text));
  }
}
}  // namespace

class TWindowLanguageTest : public QObject {
  Q_OBJECT
  QTemporaryDir noPorts_;

 private slots:
  void initTestCase() {
    korvan::InitializeModules();
    for (const char* name : {"DUOMAT_PORT_DIR", "DUOMAT_DEV_DIR", "DUOMAT_SYSFS_ROOT"})
      qputenv(name, noPorts_.path().toUtf8());
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
    QTest::newRow("--lang en, Czech desktop")
        << QByteArray("cs_CZ.UTF-8") << QStringList{"--lang", "en"} << true;
    QTest::newRow("--lang=cs, English desktop")
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
    const TProgramOptions options = ParseProgramOptions(args);  // as the program chooses at start
    InstallUiLanguage(*QCoreApplication::instance(),
                      options.Language.value_or(DesktopUiLanguage()));

    // Qt's own texts follow (qtbase_cs.qm comes with qt6-translations-l10n).
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), english ? "Cancel" : "Zrušit");
    TfMain main;
    CompareTexts(&main, MainTexts, english);
    QCOMPARE(main.findChild<QWidget*>("deOutraWatchDog1Value")->accessibleName(),
             english ? "Default output value [V/mA] (output 1)"
                     : "Výchozí hodnota výstupu [V/mA] (první výstup)");
    // A message of the settings logic, in the window's message box.
    TMissingPortDialog missing;
    main.SetConnectionDialog(&missing);
    TShownMessage shown;
    AnswerNextMessage(shown);
    main.findChild<QPushButton*>("btnIngraConnect")->click();
    // and why, in the same language.
    const QStringList lines = shown.Text.split("\n\n");
    QCOMPARE(lines.value(0), english ? "Could not open the connection!" : "Nepodařilo se otevřít spojení!");
    QVERIFY2(lines.value(1).endsWith(english ? "(COM9) does not exist." : "(COM9) neexistuje."), qPrintable(shown.Text));

    // A text the core writes in English, as the field-work dialogs show it: Czech in a Czech window.
    TOpenFailure refused;
    refused.Kind = TOpenFailureKind::Refused;
    refused.Device = "127.0.0.1:1";
    QCOMPARE(QString::fromStdString(ModuleMessageText(OpenFailureText(refused))),
             english ? "127.0.0.1:1 refused the connection (nothing listens on that port)"
                     : "127.0.0.1:1 odmítl spojení (na tomto portu nic nenaslouchá)");

    TfConnectionDialog dialog;
    CompareTexts(&dialog, DialogTexts, english);
    // The port field's range message names the field in the window's language.
    dialog.findChild<QRadioButton*>("rbTCP")->setChecked(true);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto* port = dialog.findChild<TIntEdit*>("iePort");
    port->SetAutoCorrect(false);
    port->setFocus();
    port->setText("70000");
    AnswerNextMessage(shown);
    dialog.findChild<QWidget*>("eIP")->setFocus(Qt::TabFocusReason);
    QCOMPARE(shown.Text, english ? "Value must be in the range 0 to 65535!"
                                 : "Hodnota musí být v rozmezí od 0 do 65535!");
  }
};

QTEST_MAIN(TWindowLanguageTest)
#include "uWindowLanguage_test.moc"
