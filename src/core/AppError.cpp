#include "core/AppError.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

QString AppError::systemReason(int error)
{
    if (error == 0)
        return QString();
    char buffer[256];
    // The GNU strerror_r: thread-safe, and it may answer with a text of its own.
    return QString::fromLocal8Bit(strerror_r(error, buffer, sizeof buffer));
}

QString AppError::notAFile(unsigned mode)
{
    if (S_ISDIR(mode))
        return systemReason(EISDIR);
    if (S_ISFIFO(mode))
        return QStringLiteral("Unter diesem Namen steht eine benannte Pipe, keine Datei.");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("Unter diesem Namen steht ein Gerät, keine Datei.");
    if (S_ISSOCK(mode))
        return QStringLiteral("Unter diesem Namen steht ein Socket, keine Datei.");
    return QString();
}
