// The navigation guard's rule.
#include "core/PreviewRun.h"

#include "core/FileNameCodec.h"

#include <QLocale>

bool isPreviewOutputTarget(const QString &url)
{
    // A local file by its path's last component. Any other address is remote or the page's
    // own making, whatever its text ends in ("http://host/p:Output.htm" too).
    return url.startsWith(QLatin1String("file:"), Qt::CaseInsensitive) && fileNamePart(url) == OutputFileName;
}

QString outputStateMessage(const OutputFacts &facts)
{
    if (facts.present && !facts.regular)
        return QStringLiteral("Die Ausgabe ist keine gewöhnliche Datei und wird nicht angezeigt.");
    if (facts.limit > 0 && facts.size >= facts.limit)
        return QStringLiteral("Die Ausgabe wurde nach %1 MB abgeschnitten.").arg(facts.limit / (1024 * 1024));
    if (facts.scratchFull)
        return QStringLiteral("Die Ausgabe ist unvollständig: Im Ordner für temporäre Dateien ist kein Platz mehr.");
    return QString();
}

QString PreviewRunState::countText(int seconds)
{
    return QStringLiteral("Skript läuft seit %1 s – Esc bricht ab").arg(seconds);
}

QString PreviewRunState::abortedText()
{
    return QStringLiteral("Skript abgebrochen.");
}

bool PreviewRunState::running() const
{
    return m_phase != Phase::Idle;
}

PreviewRunState::Step PreviewRunState::started(qint64 now)
{
    m_phase = Phase::Running;
    m_start = now;
    m_counted = 0;
    Step step;
    step.wakeAt = now + ShowAfterMs;
    return step;
}

PreviewRunState::Step PreviewRunState::finish(bool showPage)
{
    Step step;
    step.showPage = showPage;
    // Only a word this run put there is taken back.
    step.setStatus = m_counted > 0;
    m_phase = Phase::Idle;
    m_counted = 0;
    return step;
}

PreviewRunState::Step PreviewRunState::notStarted()
{
    return finish(true);
}

PreviewRunState::Step PreviewRunState::ended()
{
    return running() ? finish(true) : Step();
}

PreviewRunState::Step PreviewRunState::aborted()
{
    if (!running())
        return Step();
    Step step = finish(true);
    step.setStatus = true;
    step.status = abortedText();
    return step;
}

PreviewRunState::Step PreviewRunState::dropped()
{
    return running() ? finish(false) : Step();
}

PreviewRunState::Step PreviewRunState::tick(qint64 now)
{
    Step step;
    if (!running())
        return step;
    const qint64 elapsed = now - m_start;
    if (m_phase == Phase::Running && elapsed >= ShowAfterMs) {
        m_phase = Phase::Shown;
        step.showPage = true;
    }
    // Whole seconds, rounded: the count goes up half a second after each full one.
    const int seconds = elapsed >= CountAfterMs ? int((elapsed + 500) / 1000) : 0;
    if (seconds != m_counted) {
        m_counted = seconds;
        step.setStatus = true;
        step.status = countText(seconds);
    }
    if (m_phase == Phase::Running)
        step.wakeAt = m_start + ShowAfterMs;
    else if (m_counted == 0)
        step.wakeAt = m_start + CountAfterMs;
    else
        step.wakeAt = m_start + qint64(m_counted) * 1000 + 500;
    return step;
}

QString runCostMessage(const RunCost &cost)
{
    if (!cost.known)
        return QString();
    const QLocale german(QLocale::German, QLocale::Germany);
    const double seconds = double(cost.wallUs) / 1e6;
    const double megabytes = double(cost.peakKiB) * 1024.0 / 1e6;
    const QString time = german.toString(seconds, 'f', seconds < 10 ? 2 : 1);
    const QString memory = german.toString(megabytes, 'f', megabytes < 100 ? 1 : 0);
    const QString end = cost.exited ? QStringLiteral("Exit %1").arg(cost.code) : QStringLiteral("Signal %1").arg(cost.code);
    return QStringLiteral("Fertig in %1 s · %2 MB · %3").arg(time, memory, end);
}
