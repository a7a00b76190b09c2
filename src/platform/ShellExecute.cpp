// Shell execute stand-in over xdg-open.
#include "platform/ShellExecute.h"

#include "platform/ProgramVariables.h"

#include <QStandardPaths>

namespace platform {

namespace {
constexpr int kLaunched = 42;
constexpr int kFileNotFound = 2; // ERROR_FILE_NOT_FOUND, as the shell reports a missing handler
}

int shellExecute(const QString &target)
{
    const QString launcher = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (launcher.isEmpty())
        return kFileNotFound;
    // One argument, no shell: the target reaches the launcher as it stands.
    return startDetachedProgram(launcher, {target}) ? kLaunched : kFileNotFound;
}

} // namespace platform
