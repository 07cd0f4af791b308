#include "app/translations/uTextCatalog.h"

#include <QCoreApplication>
#include <QTranslator>

#include "core/uText.h"

// The catalogs are in a resource of this static library: naming its
// initialiser keeps the linker from dropping it.
static void InitCatalogResource() {
  Q_INIT_RESOURCE(duomat_translations);
}

namespace duomat {

namespace {
QTranslator* g_catalog = nullptr;  // lives to the end of the process

std::string FromCatalog(const char* context, const char* source) {
  return g_catalog == nullptr ? std::string() : g_catalog->translate(context, source).toStdString();
}

std::string FromApplication(const char* context, const char* source) {
  return QCoreApplication::translate(context, source).toStdString();
}
}  // namespace

const char* TextCatalogName(TUiLanguage language) {
  return language == TUiLanguage::English ? "duomat_en" : "duomat_cs";
}

const char* TextCatalogFolder() {
  InitCatalogResource();
  return ":/translations";
}

bool InstallCoreCatalog(TUiLanguage language) {
  auto* catalog = new QTranslator;
  if (!catalog->load(QString::fromLatin1(TextCatalogName(language)),
                     QString::fromLatin1(TextCatalogFolder()))) {
    delete catalog;
    return false;
  }
  delete g_catalog;
  g_catalog = catalog;
  SetTranslator(&FromCatalog);
  return true;
}

void TranslateCoreThroughApplication() {
  SetTranslator(&FromApplication);
}

}  // namespace duomat
