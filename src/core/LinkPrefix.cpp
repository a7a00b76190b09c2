#include "core/LinkPrefix.h"

#include <iterator>

QString linkPrefix(int type)
{
    static const char *const prefixes[] = {"file://", "ftp://",  "gopher://", "http://", "https://",
                                           "mailto:", "news:",   "telnet:",   "wais:"};
    if (type < 0 || type >= int(std::size(prefixes)))
        return QString();
    return QString::fromLatin1(prefixes[type]);
}
