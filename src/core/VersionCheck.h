// The update check's evaluation without windows: the published file's lines and number.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

inline constexpr qint32 OwnVersionNumber = 100;
inline const QString OwnVersionText = QStringLiteral("1.00");

// Lines end at CR LF, a lone CR or a lone LF.
QStringList splitLines(const QString &text);

// A whole number: leading blanks, a sign, decimal digits or hexadecimal after "$", "x", "X",
// "0x" or "0X", and nothing after the digits; nothing when the text is none.
std::optional<qint32> parseVersionNumber(const QString &text);

struct UpdateVerdict
{
    bool readable = false; // the first line is a number
    bool newer = false;
    QString message;       // the notice's text when newer
    bool complete = true;  // false: a file cut before its two lines ended, as a failed download
};

// cut: the text is the start of a longer file, which counts only where its first two lines end
// within that start (notes may follow them at any length; a first line that long is none).
UpdateVerdict evaluateVersionFile(const QString &text, bool cut = false);
