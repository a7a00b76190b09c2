// Fonts by name and pixel size.
#include "platform/Fonts.h"

namespace platform {

QFont fontByName(const QString &family, int pixelSize)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QFont dialogFont()
{
    return fontByName(QStringLiteral("MS Sans Serif"), 11);
}

} // namespace platform
