// PHP's messages about the scratch script, read from a run's output: which line, how bad, what.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct ScriptMessage
{
    int line = 0;        // 1-based, in the script
    bool error = false;  // an error (parse, fatal, uncaught); otherwise a warning, notice, deprecation
    QString text;        // "Warning: Undefined variable $x"
};

// Finds "<severity>: <message> in <scriptPath> on line <n>", as PHP writes it with html_errors
// on or off, to standard output or (with "PHP " in front) standard error; an uncaught exception
// by its "thrown in <scriptPath> on line <n>". Messages about other files are left out.
// Linear in the output's size.
QList<ScriptMessage> findScriptMessages(const QByteArray &output, const QString &scriptPath);
