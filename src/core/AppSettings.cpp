// AppSettings: one instance for the program.
#include "core/AppSettings.h"

AppSettings &AppSettings::instance()
{
    static AppSettings settings;
    return settings;
}

void AppSettings::setInterpreterPath(const QString &path)
{
    if (path == m_interpreterPath)
        return;
    m_interpreterPath = path;
    emit interpreterChanged(path);
}
