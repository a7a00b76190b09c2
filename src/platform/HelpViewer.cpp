// HTML Help viewer stand-in.
#include "platform/HelpViewer.h"
#include "platform/ProgramVariables.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

QString helpFileBeside(const QString &programDir)
{
    const QString beside = programDir + QStringLiteral("/Korlith.chm");
    const QString installed = QDir::cleanPath(programDir + QStringLiteral("/../share/korlith/Korlith.chm"));
    return QFileInfo::exists(beside) || !QFileInfo::exists(installed) ? beside : installed;
}

void showHelpFile(const QString &path)
{
    QString viewer = QStandardPaths::findExecutable(QStringLiteral("xchm"));
    if (viewer.isEmpty())
        viewer = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!viewer.isEmpty())
        startDetachedProgram(viewer, {path});
}

} // namespace platform
