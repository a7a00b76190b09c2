// HTML Help viewer stand-in.
#include "platform/HelpViewer.h"

#include <QProcess>
#include <QStandardPaths>

namespace platform {

void showHelpFile(const QString &path)
{
    QString viewer = QStandardPaths::findExecutable(QStringLiteral("xchm"));
    if (viewer.isEmpty())
        viewer = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!viewer.isEmpty())
        QProcess::startDetached(viewer, {path});
}

} // namespace platform
