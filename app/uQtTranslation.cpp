#include "app/uQtTranslation.h"

#include <QLibraryInfo>
#include <QTranslator>

#include "core/uModuleSettings.h"

// The English translation is in a resource of this static library: naming
// its initialiser keeps the linker from dropping it.
static void InitTranslationResource() {
  Q_INIT_RESOURCE(duomat_translations);
}

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
  if (language == TUiLanguage::English) {
    InitTranslationResource();
    return Install(app, QStringLiteral("duomat_en"), QStringLiteral(":/translations"));
  }
  return InstallQtTranslation(app);
}

std::string ModuleMessageText(const std::string& source) {
  return QCoreApplication::translate(msg::Context, source.c_str()).toStdString();
}

}  // namespace duomat
