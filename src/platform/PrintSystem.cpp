// The answer of CUPS to the last request of this thread, which for a printed listing is the job.
#include "platform/PrintSystem.h"

#include <cups/cups.h>

namespace platform {

QString printJobRefusal()
{
    const ipp_status_t status = cupsLastError();
    if (status < IPP_STATUS_REDIRECTION_OTHER_SITE)
        return QString();
    const char *reason = cupsLastErrorString();
    return QString::fromLocal8Bit(reason && *reason ? reason : ippErrorString(status));
}

} // namespace platform
