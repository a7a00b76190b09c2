// TURL: scheme prefix + address, handed to the shell stand-in.
#include "URL.h"

#include "core/LinkPrefix.h"
#include "platform/ShellExecute.h"

namespace {
constexpr int SW_SHOWNOACTIVATE = 4;
} // namespace

TURL::TURL(QObject *owner) : QObject(owner) {}

void TURL::setURL(const QString &url)
{
    if (url != m_url)
        m_url = url;
}

void TURL::setURLType(TURLType type)
{
    if (type != m_type)
        m_type = type;
}

QString TURL::prefix(TURLType type)
{
    return linkPrefix(type);
}

bool TURL::OpenURL()
{
    if (m_url.isEmpty())
        return false;
    const int code = ShellLaunch(prefix(m_type) + m_url, QString(), QString(), SW_SHOWNOACTIVATE);
    return unsigned(code) > 32;
}

int ShellLaunch(const QString &fileName, const QString &, const QString &, int)
{
    // Parameters, directory and show command have no meaning for xdg-open; every caller
    // passes them empty and "no activation".
    return platform::shellExecute(fileName);
}
