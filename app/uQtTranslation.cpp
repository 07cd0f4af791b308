#include "app/uQtTranslation.h"

#include <QLibraryInfo>
#include <QTranslator>

#include "app/translations/uTextCatalog.h"
#include "core/uModuleSettings.h"

namespace duomat {

namespace {
// Marks the translators installed here, so that a later call finds and removes them.
const char* const InstalledName = "duomat-ui-language";

bool Install(QCoreApplication& app, const QString& name, const QString& folder) {
  auto* translator = new QTranslator(&app);
  translator->setObjectName(QLatin1String(InstalledName));
  if (translator->load(name, folder) && app.installTranslator(translator)) return true;
  delete translator;
  return false;
}
}  // namespace

bool InstallQtTranslation(QCoreApplication& app, const QString& folder) {
  return Install(app, QStringLiteral("qtbase_cs"),
                 folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder);
}

bool InstallUiLanguage(QCoreApplication& app, TUiLanguage language) {
  for (QTranslator* old :
       app.findChildren<QTranslator*>(QLatin1String(InstalledName), Qt::FindDirectChildrenOnly)) {
    QCoreApplication::removeTranslator(old);
    delete old;
  }
  // The core's texts come through the application's translators from now on.
  TranslateCoreThroughApplication();
  const bool ours = Install(app, QString::fromLatin1(TextCatalogName(language)),
                            QString::fromLatin1(TextCatalogFolder()));
  if (language == TUiLanguage::English) return ours;
  return InstallQtTranslation(app) && ours;
}

std::string ModuleMessageText(const std::string& source) {
  return QCoreApplication::translate(msg::Context, source.c_str()).toStdString();
}

}  // namespace duomat
