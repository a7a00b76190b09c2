// Synchronous hand-over from a worker thread to the GUI thread.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>

namespace platform {

// The GUI-thread end of the hand-over. The worker's call is queued to it and the worker blocks
// until the GUI thread has run it. Once abandoned (its owner is going away) queued calls are
// still taken off the queue, so no worker stays blocked, but they no longer run.
class HandOver : public QObject
{
public:
    explicit HandOver(QObject *parent = nullptr) : QObject(parent) {}

    // From the worker thread; false when the call was abandoned and did not run.
    bool call(const std::function<void()> &fn);

    // From the GUI thread: stop running calls and release every worker blocked in call().
    void abandon() { m_abandoned = true; }
    void drain();

private:
    std::atomic<bool> m_abandoned{false};
};

} // namespace platform
