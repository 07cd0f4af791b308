// Qt's own texts follow the windows into Czech when Qt's translation is installed.
#include <QLibraryInfo>
#include <QTemporaryDir>
#include <QtTest>

#include "app/uQtTranslation.h"

class TQtTranslationTest : public QObject {
  Q_OBJECT

 private slots:
  void withoutTheFileNothingChanges() {
    QTemporaryDir empty;
    QVERIFY(!duomat::InstallQtTranslation(*QCoreApplication::instance(), empty.path()));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("Cancel"));
  }
  void standardButtonsSpeakCzech() {
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_cs.qm"))
      QSKIP("Qt's Czech translation is not installed (qt6-translations-l10n)");
    QVERIFY(duomat::InstallQtTranslation(*QCoreApplication::instance()));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("Zrušit"));
  }
};

QTEST_MAIN(TQtTranslationTest)
#include "uQtTranslation_test.moc"
