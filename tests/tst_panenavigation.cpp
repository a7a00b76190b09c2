// The preview pane's navigation, move by move: what each event does in each state.
#include "core/PaneNavigation.h"

#include <QtTest>

namespace {

using State = PaneNavigation::State;
using Do = PaneNavigation::Step::Do;

const QUrl Output = QUrl::fromLocalFile(QStringLiteral("/tmp/korlith-0/1/Output.htm"));
const QUrl Blank(QStringLiteral("about:blank"));
const QUrl Elsewhere(QStringLiteral("https://example.org/"));

// A navigation brought into a state by the way the pane gets there.
PaneNavigation inState(State state)
{
    PaneNavigation n;
    if (state == State::EngineOff)
        return n;
    n.engineStarted();
    if (state == State::Shown) {
        n.navigate(Output);
        n.loadFinished(true, Output);
        return n;
    }
    const PaneNavigation::Step load = n.navigate(Output);
    if (state == State::Loading)
        n.answered(load.probe);
    return n;
}

enum class Event { Navigate, EngineStarted, Answered, StaleAnswer, LoadedRequest, LoadedOther, LoadFailed, AnswerWaitOver, LeftForElsewhere, UrlOfRequest };

PaneNavigation::Step send(PaneNavigation &n, Event e)
{
    switch (e) {
    case Event::Navigate:
        return n.navigate(Output);
    case Event::EngineStarted:
        return n.engineStarted();
    case Event::Answered: {
        // The probe of the request now loading: a new request, then its answer.
        return n.answered(n.navigate(Output).probe);
    }
    case Event::StaleAnswer:
        return n.answered(0);
    case Event::LoadedRequest:
        return n.loadFinished(true, QUrl(Output.toString() + QStringLiteral("#anker")));
    case Event::LoadedOther:
        return n.loadFinished(true, Elsewhere);
    case Event::LoadFailed:
        return n.loadFinished(false, Output);
    case Event::AnswerWaitOver:
        return n.answerWaitOver();
    case Event::LeftForElsewhere:
        return n.urlChanged(Blank);
    case Event::UrlOfRequest:
        return n.urlChanged(Output);
    }
    return {};
}

} // namespace

Q_DECLARE_METATYPE(State)
Q_DECLARE_METATYPE(Do)
Q_DECLARE_METATYPE(Event)

class TestPaneNavigation : public QObject
{
    Q_OBJECT
private slots:
    void transitions_data()
    {
        QTest::addColumn<State>("from");
        QTest::addColumn<Event>("event");
        QTest::addColumn<State>("to");
        QTest::addColumn<Do>("action");

        QTest::newRow("a request before the engine waits for it") << State::EngineOff << Event::Navigate << State::EngineOff << Do::StartEngineSoon;
        QTest::newRow("the engine without a request shows nothing") << State::EngineOff << Event::EngineStarted << State::Shown << Do::Nothing;
        QTest::newRow("no load before the engine") << State::EngineOff << Event::LoadedRequest << State::EngineOff << Do::Nothing;
        QTest::newRow("a request loads") << State::Shown << Event::Navigate << State::Asked << Do::Load;
        QTest::newRow("a second request while one loads") << State::Loading << Event::Navigate << State::Asked << Do::Load;
        QTest::newRow("the engine starts once") << State::Shown << Event::EngineStarted << State::Shown << Do::Nothing;
        QTest::newRow("the old page answers") << State::Asked << Event::Answered << State::Loading << Do::Nothing;
        QTest::newRow("an answer to an earlier request") << State::Asked << Event::StaleAnswer << State::Asked << Do::Nothing;
        QTest::newRow("the request loaded, its fragment aside") << State::Asked << Event::LoadedRequest << State::Shown << Do::Nothing;
        QTest::newRow("the request loaded after the answer") << State::Loading << Event::LoadedRequest << State::Shown << Do::Nothing;
        QTest::newRow("another address loaded: the page is asked") << State::Asked << Event::LoadedOther << State::Loading << Do::AskLoaded;
        QTest::newRow("a failed load is no page to keep") << State::Loading << Event::LoadFailed << State::Loading << Do::Nothing;
        QTest::newRow("no answer in time: a fresh page") << State::Asked << Event::AnswerWaitOver << State::Loading << Do::ReplacePage;
        QTest::newRow("answered in time: no replacement") << State::Loading << Event::AnswerWaitOver << State::Loading << Do::Nothing;
        QTest::newRow("shown pages are not replaced") << State::Shown << Event::AnswerWaitOver << State::Shown << Do::Nothing;
        QTest::newRow("leaving the shown page: back to it") << State::Shown << Event::LeftForElsewhere << State::Shown << Do::Restore;
        QTest::newRow("leaving while loading: back to the request") << State::Asked << Event::LeftForElsewhere << State::Asked << Do::Restore;
        QTest::newRow("the request's own address") << State::Asked << Event::UrlOfRequest << State::Asked << Do::Nothing;
        QTest::newRow("nothing asked for: nothing to go back to") << State::EngineOff << Event::LeftForElsewhere << State::EngineOff << Do::Nothing;
    }

    void transitions()
    {
        QFETCH(State, from);
        QFETCH(Event, event);
        QFETCH(State, to);
        QFETCH(Do, action);
        PaneNavigation n = inState(from);
        QCOMPARE(n.state(), from);
        const PaneNavigation::Step step = send(n, event);
        QCOMPARE(n.state(), to);
        QCOMPARE(step.action, action);
        if (action == Do::Load || action == Do::ReplacePage || action == Do::Restore)
            QCOMPARE(step.url, Output);
    }

    // What shows and what is kept through a run of moves as the pane meets them.
    void pagesKeptThroughARun()
    {
        PaneNavigation n;
        QCOMPARE(n.navigate(Output).action, Do::StartEngineSoon);
        const PaneNavigation::Step first = n.engineStarted();
        QCOMPARE(first.action, Do::Load);
        QCOMPARE(first.url, Output);
        QCOMPARE(n.pending(), Output);
        n.loadFinished(true, Output);
        QCOMPARE(n.shown(), Output);
        QVERIFY(n.pending().isEmpty());

        // The program empties the pane: about:blank is the request, the output stays kept
        // until it has loaded.
        const PaneNavigation::Step blank = n.navigate(Blank);
        QCOMPARE(blank.url, Blank);
        QVERIFY(blank.probe > first.probe);
        QCOMPARE(n.urlChanged(Blank).action, Do::Nothing);
        QCOMPARE(n.urlChanged(Output).action, Do::Nothing);
        n.loadFinished(true, Blank);
        QCOMPARE(n.shown(), Blank);

        // A hung page gives way to a fresh one that loads the request; once it shows, the
        // wait's end replaces nothing.
        n.navigate(Output);
        const PaneNavigation::Step fresh = n.answerWaitOver();
        QCOMPARE(fresh.action, Do::ReplacePage);
        QCOMPARE(fresh.url, Output);
        QCOMPARE(n.answerWaitOver().action, Do::Nothing);
        n.loadFinished(true, Output);
        QCOMPARE(n.state(), State::Shown);
        QCOMPARE(n.shown(), Output);
    }

    // A request made while the empty page still loads: the engine commits and finishes the
    // empty page after it, and may say nothing of the request's own end.
    void requestThatEndsWithoutAWordOfItsOwn()
    {
        PaneNavigation n = inState(State::Shown);
        n.navigate(Blank);
        n.navigate(Output);
        // The empty page's commit is the request it replaced, not the page leaving.
        QCOMPARE(n.urlChanged(Blank).action, Do::Nothing);
        const PaneNavigation::Step ask = n.loadFinished(true, Blank);
        QCOMPARE(ask.action, Do::AskLoaded);
        QCOMPARE(ask.askAfterMs, 0);
        QCOMPARE(n.state(), State::Loading);
        // Still loading: asked again a moment later, until the page is the request's.
        const PaneNavigation::Step again = n.pageLoaded(QUrl());
        QCOMPARE(again.action, Do::AskLoaded);
        QVERIFY(again.askAfterMs > 0);
        QCOMPARE(n.pageLoaded(Blank).action, Do::AskLoaded);
        QCOMPARE(n.pageLoaded(QUrl(Output.toString() + QStringLiteral("#oben"))).action, Do::Nothing);
        QCOMPARE(n.state(), State::Shown);
        QCOMPARE(n.shown(), Output);
        // Once shown, a late answer asks nothing more, and the empty page leaving is restored.
        QCOMPARE(n.pageLoaded(QUrl()).action, Do::Nothing);
        QCOMPARE(n.urlChanged(Blank).action, Do::Restore);
    }

    // A failed load of the request itself is followed by the engine's next word on it, not by
    // asking the page: the page answering could be the one the request replaces.
    void failedLoadOfTheRequestAsksNothing()
    {
        PaneNavigation n = inState(State::Shown);
        n.navigate(Output);
        QCOMPARE(n.loadFinished(false, Output).action, Do::Nothing);
        QCOMPARE(n.state(), State::Loading);
    }

    // A page that keeps leaving is taken back with its scripts on twice, then without them,
    // until the program's next request.
    void pageThatKeepsLeavingLosesItsScripts()
    {
        PaneNavigation n = inState(State::Shown);
        QList<bool> scripts;
        for (int i = 0; i < 4; ++i)
            scripts << n.urlChanged(Elsewhere).scripts;
        QCOMPARE(scripts, (QList<bool>{true, true, false, false}));
        n.navigate(Output);
        QVERIFY(n.urlChanged(Elsewhere).scripts);
    }
};

QTEST_GUILESS_MAIN(TestPaneNavigation)
#include "tst_panenavigation.moc"
