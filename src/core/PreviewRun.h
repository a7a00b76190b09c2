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

// What is known of a run's output once it is read.
struct OutputFacts
{
    bool present = false;     // something stands under the output's name
    bool regular = false;     // and it is a regular file, which was read
    qint64 size = 0;          // its whole size
    qint64 limit = 0;         // the bound the interpreter was held to
    bool scratchFull = false; // the scratch folder's file system has no room left
};

// The status bar's word on a page that looks complete but is not, or would not be shown;
// empty when nothing is amiss.
QString outputStateMessage(const OutputFacts &facts);
