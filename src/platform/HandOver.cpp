// Synchronous hand-over: BlockingQueuedConnection on a receiver that lives in the GUI thread.
#include "platform/HandOver.h"

#include <QCoreApplication>
#include <QEvent>

namespace platform {

bool HandOver::call(const std::function<void()> &fn)
{
    bool ran = false;
    QMetaObject::invokeMethod(
        this,
        [this, &fn, &ran] {
            if (m_abandoned)
                return;
            fn();
            ran = true;
        },
        Qt::BlockingQueuedConnection);
    return ran;
}

void HandOver::drain()
{
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

} // namespace platform
