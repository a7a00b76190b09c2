#include "core/PaneNavigation.h"

PaneNavigation::Step PaneNavigation::load()
{
    m_state = State::Asked;
    Step step;
    step.action = Step::Do::Load;
    step.url = m_pending;
    step.probe = ++m_probe;
    return step;
}

void PaneNavigation::show()
{
    m_shown = m_pending;
    m_pending.clear();
    m_superseded.clear();
    m_state = State::Shown;
}

PaneNavigation::Step PaneNavigation::navigate(const QUrl &url)
{
    // The engine may still commit the request this one replaces (an empty page commits at
    // once): that is not the page leaving.
    if (!m_pending.isEmpty() && m_pending != url)
        m_superseded = m_pending;
    m_pending = url;
    m_restores = 0;
    if (m_state == State::EngineOff) {
        Step step;
        step.action = Step::Do::StartEngineSoon;
        return step;
    }
    return load();
}

PaneNavigation::Step PaneNavigation::engineStarted()
{
    if (m_state != State::EngineOff)
        return {};
    if (!m_pending.isEmpty())
        return load();
    show();
    return {};
}

PaneNavigation::Step PaneNavigation::answered(quint64 probe)
{
    // An answer to an earlier request says nothing about the page of this one.
    if (m_state == State::Asked && probe == m_probe)
        m_state = State::Loading;
    return {};
}

PaneNavigation::Step PaneNavigation::loadFinished(bool ok, const QUrl &url)
{
    if (m_state == State::EngineOff)
        return {};
    // A refused navigation reports its address on the way too: only the request's own load
    // makes it the page to keep.
    const QUrl document = url.adjusted(QUrl::RemoveFragment);
    if (ok && !m_pending.isEmpty() && document == m_pending) {
        show();
        return {};
    }
    if (m_state == State::Asked)
        m_state = State::Loading;
    // The engine reports loads, not requests: a request made while another page loaded may
    // end without a word of its own once that one has finished.
    if (m_pending.isEmpty() || document == m_pending)
        return {};
    Step step;
    step.action = Step::Do::AskLoaded;
    return step;
}

PaneNavigation::Step PaneNavigation::pageLoaded(const QUrl &url)
{
    if (m_pending.isEmpty() || m_state == State::EngineOff)
        return {};
    if (url.adjusted(QUrl::RemoveFragment) == m_pending) {
        show();
        return {};
    }
    Step step;
    step.action = Step::Do::AskLoaded;
    step.askAfterMs = AskAgainMs;
    return step;
}

PaneNavigation::Step PaneNavigation::answerWaitOver()
{
    if (m_state != State::Asked)
        return {};
    // A page in an endless loop answers nothing, and no later page would replace it.
    m_state = State::Loading;
    Step step;
    step.action = Step::Do::ReplacePage;
    step.url = keep();
    return step;
}

PaneNavigation::Step PaneNavigation::urlChanged(const QUrl &url)
{
    const QUrl document = url.adjusted(QUrl::RemoveFragment);
    if (document == m_pending || document == m_shown || keep().isEmpty()
        || (!m_superseded.isEmpty() && document == m_superseded))
        return {};
    // The engine asks nobody before about:blank or a step in the history: back to the page.
    Step step;
    step.action = Step::Do::Restore;
    step.url = keep();
    step.scripts = ++m_restores <= RestoresWithScripts;
    return step;
}
