#pragma once
// Qt's own texts in Czech, like the rest of the windows.
#include <QCoreApplication>
#include <QString>

namespace duomat {

// Qt's own texts (standard buttons, the edit fields' context menu) in Czech
// like the rest of the windows: qtbase_cs.qm from FOLDER (default Qt's
// translations folder) when it is there. Returns whether it was installed;
// without the file everything stays as it was.
bool InstallQtTranslation(QCoreApplication& app, const QString& folder = QString());

}  // namespace duomat
