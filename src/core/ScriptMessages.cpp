// Reading PHP's messages out of the output.
#include "core/ScriptMessages.h"

#include <QRegularExpression>

namespace {

// Where a tag that starts at the '<' at i ends (at its '>'), or -1 where the '<' starts none: a
// tag is a name, or '/' and a name, and its '>' comes on its line before any other '<'. PHP's
// plain messages hold a '<' of their own ("unexpected token "<""), as a page's text may.
qsizetype tagEnd(const QString &text, qsizetype i)
{
    qsizetype at = i + 1;
    if (at < text.size() && text[at] == QLatin1Char('/'))
        ++at;
    if (at >= text.size() || !text[at].isLetter())
        return -1;
    for (; at < text.size(); ++at) {
        const QChar c = text[at];
        if (c == QLatin1Char('>'))
            return at;
        if (c == QLatin1Char('<') || c == QLatin1Char('\n'))
            return -1;
    }
    return -1;
}

// The output with its markup taken out: html_errors wraps the parts in <b> and <br />.
QString plainText(const QByteArray &output)
{
    const QString html = QString::fromUtf8(output);
    QString out;
    out.reserve(html.size());
    for (qsizetype i = 0; i < html.size(); ++i) {
        const qsizetype end = html[i] == QLatin1Char('<') ? tagEnd(html, i) : -1;
        if (end >= 0)
            i = end;
        else
            out += html[i];
    }
    out.replace(QLatin1String("&quot;"), QLatin1String("\""));
    out.replace(QLatin1String("&#039;"), QLatin1String("'"));
    out.replace(QLatin1String("&lt;"), QLatin1String("<"));
    out.replace(QLatin1String("&gt;"), QLatin1String(">"));
    out.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return out;
}

} // namespace

QList<ScriptMessage> findScriptMessages(const QByteArray &output, const QString &scriptPath)
{
    const QString text = plainText(output);
    QList<ScriptMessage> found;
    // A severity, its message up to " in <script> on line <n>" within one line, or an uncaught
    // exception whose "thrown in <script> on line <n>" follows some lines later. Messages
    // about other files do not match: the script's path is part of the pattern.
    const QString path = QRegularExpression::escape(scriptPath);
    const QRegularExpression message(
        QStringLiteral("(Parse error|Fatal error|Recoverable fatal error|Warning|Notice|Deprecated):[ \\t]+([^\\n]*?)"
                       "[ \\t]+in[ \\t]+") + path + QStringLiteral(" on line[ \\t]+(\\d+)"));
    const QRegularExpression uncaught(
        QStringLiteral("Fatal error:[ \\t]+(Uncaught [^\\n]*?)[ \\t]+in[ \\t]+[^\\n]*\\n(?:[^\\n]*\\n){0,64}?"
                       "[ \\t]*thrown in[ \\t]+") + path + QStringLiteral(" on line[ \\t]+(\\d+)"));
    for (auto it = uncaught.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        found << ScriptMessage{m.captured(2).toInt(), true, QStringLiteral("Fatal error: ") + m.captured(1)};
    }
    for (auto it = message.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(2).startsWith(QLatin1String("Uncaught ")))
            continue;
        const QString severity = m.captured(1);
        found << ScriptMessage{m.captured(3).toInt(), severity.contains(QLatin1String("error")),
                               severity + QStringLiteral(": ") + m.captured(2)};
    }
    return found;
}
