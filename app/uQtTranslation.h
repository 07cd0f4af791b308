#pragma once
// The windows' language: our own texts and Qt's (standard buttons, the file dialog).
#include <QCoreApplication>
#include <QString>
#include <string>

#include "core/uUiLanguage.h"

namespace duomat {

// Qt's own texts in Czech like the rest of the windows: qtbase_cs.qm from
// FOLDER (default Qt's translations folder) when it is there. Returns whether
// it was installed; without the file everything stays as it was.
bool InstallQtTranslation(QCoreApplication& app, const QString& folder = QString());

// Puts the windows into LANGUAGE, replacing what an earlier call installed.
// Czech needs Qt's translation and ours of the core's English texts; English
// needs only ours of the Czech texts, since Qt's texts are English. Also
// routes the core's texts through the application's translators.
// Returns whether every translation the language needs was installed.
bool InstallUiLanguage(QCoreApplication& app, TUiLanguage language);

// A message of the settings logic (msg::) in the windows' language; any other
// text as it is.
std::string ModuleMessageText(const std::string& source);

}  // namespace duomat
