// The print system's answer to a job: on Linux, CUPS, which Qt hands the finished document to.
#pragma once

#include <QString>

namespace platform {

// Why the print system refused the job handed to it last on this thread (a queue that rejects
// jobs, a printer that does not exist, a scheduler that does not answer); empty when it took it.
// Qt's own hand-over does not tell.
QString printJobRefusal();

} // namespace platform
