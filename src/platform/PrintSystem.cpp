// The answer of CUPS to the last request of this thread, which for a printed listing is the job.
#include "platform/PrintSystem.h"

#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>

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

bool cancelNewestJob(const QString &printer, const QString &title)
{
    const QByteArray queue = printer.toLocal8Bit();
    const QByteArray name = title.toUtf8();
    cups_job_t *jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue.isEmpty() ? nullptr : queue.constData(), 1,
                                   CUPS_WHICHJOBS_ACTIVE);
    int newest = 0;
    for (int i = 0; i < count; ++i)
        if (jobs[i].title && name == jobs[i].title && jobs[i].id > newest)
            newest = jobs[i].id;
    cupsFreeJobs(count, jobs);
    return newest > 0 && cupsCancelJob2(CUPS_HTTP_DEFAULT, queue.constData(), newest, 0) == IPP_STATUS_OK;
}

bool printSchedulerAnswers(int timeoutMs)
{
    auto answered = std::make_shared<std::atomic<bool>>(false);
    // Left to itself when the scheduler keeps silent: it ends once it answers, or with the program.
    std::thread([answered] {
        cups_dest_t *dests = nullptr;
        const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
        cupsFreeDests(count, dests);
        answered->store(true);
    }).detach();
    QEventLoop wait;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &wait, [&] {
        if (answered->load())
            wait.quit();
    });
    look.start(5);
    QTimer::singleShot(timeoutMs, &wait, &QEventLoop::quit);
    wait.exec();
    return answered->load();
}

} // namespace platform
