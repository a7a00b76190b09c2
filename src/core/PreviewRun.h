// The preview run's names and the navigation guard's rule.
#pragma once

#include <QString>

inline const QString ScriptFileName = QStringLiteral("temp.php");
inline const QString OutputFileName = QStringLiteral("Output.htm");
// The script reaches the interpreter on its standard input, so that __DIR__ is the folder it
// runs in (the document's), as on a web server; PHP's messages then name it so.
inline const QString ScriptNameInMessages = QStringLiteral("Standard input code");

// The navigation guard's rule: only a local file whose name is exactly "Output.htm" passes.
bool isPreviewOutputTarget(const QString &url);
