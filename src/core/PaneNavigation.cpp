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

PaneNavigation::Step PaneNavigation::navigate(const QUrl &url)
{
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
    m_state = State::Shown;
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
    if (ok && !m_pending.isEmpty() && url.adjusted(QUrl::RemoveFragment) == m_pending) {
        m_shown = m_pending;
        m_pending.clear();
        m_state = State::Shown;
    } else if (m_state == State::Asked) {
        m_state = State::Loading;
    }
    return {};
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
    if (document == m_pending || document == m_shown || keep().isEmpty())
        return {};
    // The engine asks nobody before about:blank or a step in the history: back to the page.
    Step step;
    step.action = Step::Do::Restore;
    step.url = keep();
    step.scripts = ++m_restores <= RestoresWithScripts;
    return step;
}
