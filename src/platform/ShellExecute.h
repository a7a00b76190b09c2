// Shell execute stand-in: hands a web or mail address to xdg-open, started detached.
#pragma once

#include <QString>

namespace platform {

// Above 32: the launcher was started and handed the target. 32 or less: it could not be started.
int shellExecute(const QString &target);

} // namespace platform
