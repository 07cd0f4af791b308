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
// Czech is the source of our texts, so it needs only Qt's translation; English
// needs only ours (built into the program), since Qt's texts are English.
// Returns whether every translation the language needs was installed.
bool InstallUiLanguage(QCoreApplication& app, TUiLanguage language);

// A message of the settings logic (msg::) in the windows' language; any other
// text as it is.
std::string ModuleMessageText(const std::string& source);

}  // namespace duomat
