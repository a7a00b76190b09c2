// The navigation guard's rule.
#include "core/PreviewRun.h"

#include "core/FileNameCodec.h"

bool isPreviewOutputTarget(const QString &url)
{
    // A local file by its path's last component. Any other address is remote or the page's
    // own making, whatever its text ends in ("http://host/p:Output.htm" too).
    return url.startsWith(QLatin1String("file:"), Qt::CaseInsensitive) && fileNamePart(url) == OutputFileName;
}
