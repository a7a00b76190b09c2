// The navigation guard's rule.
#include "core/PreviewRun.h"

#include "core/FileNameCodec.h"

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
