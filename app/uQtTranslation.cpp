#include "app/uQtTranslation.h"

#include <QLibraryInfo>
#include <QTranslator>

namespace duomat {

bool InstallQtTranslation(QCoreApplication& app, const QString& folder) {
  const QString dir = folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
  auto* translator = new QTranslator(&app);
  if (translator->load(QStringLiteral("qtbase_cs"), dir) && app.installTranslator(translator)) return true;
  delete translator;
  return false;
}

}  // namespace duomat
