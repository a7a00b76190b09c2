// The print system's answer to a job: on Linux, CUPS, which Qt hands the finished document to.
#pragma once

#include <QString>

namespace platform {

// Why the print system refused the job handed to it last on this thread (a queue that rejects
// jobs, a printer that does not exist, a scheduler that does not answer); empty when it took it.
// Qt's own hand-over does not tell.
QString printJobRefusal();

// Cancels this user's newest job named title on printer, which the hand-over has just queued:
// Qt's printer cannot drop a document it has begun, so a listing stopped by the user is
// taken back from the queue. Whether one was found.
bool cancelNewestJob(const QString &printer, const QString &title);

// Whether the print scheduler answers a question within timeoutMs (one that fails at once, as
// with no scheduler running, is an answer too). It is asked on a thread of its own and the
// window's events go on meanwhile: Qt's printer and print dialog ask it on the window's thread
// and would freeze it for as long as a stopped scheduler keeps silent.
bool printSchedulerAnswers(int timeoutMs);

// How long the scheduler gets before the program says that it does not answer.
constexpr int PrintSchedulerAnswerMs = 2000;

} // namespace platform
