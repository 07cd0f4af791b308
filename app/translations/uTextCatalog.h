#pragma once
// The built-in catalogs of both programs and the core's translator hook (no Qt types, so
// that Qt's keywords stay out of the command line).
#include "core/uUiLanguage.h"

namespace duomat {

// The resource name of LANGUAGE's catalog: duomat_cs for Czech (the English
// texts of the core and the command line), duomat_en for English (the Czech
// texts of the window and the settings messages).
const char* TextCatalogName(TUiLanguage language);

// The folder of the built-in catalogs (":/translations"), made ready.
const char* TextCatalogFolder();

// For a program without a QCoreApplication (duomat-cli): loads LANGUAGE's
// catalog and makes it the core's translator. Call once at start, before any
// thread. Returns whether the catalog loaded.
bool InstallCoreCatalog(TUiLanguage language);

// For the window: the core's texts go through QCoreApplication::translate,
// whose translators the window installs.
void TranslateCoreThroughApplication();

}  // namespace duomat
