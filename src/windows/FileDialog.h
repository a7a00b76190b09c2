// TFileDialog: an open or save dialog that remembers its file name between showings.
#pragma once

#include <QObject>
#include <QString>

class QFileDialog;
class QWidget;

class TFileDialog : public QObject
{
    Q_OBJECT
public:
    enum Kind { Open, Save };
    TFileDialog(Kind kind, const QString &windowsFilter, QWidget *parent, const QString &name);

    // Shows the dialog preset with FileName; true and FileName set when the user confirms.
    bool Execute();

    QString FileName;
    // The folder the dialog shows when FileName is empty (none: where it was last).
    QString InitialDir;
    QFileDialog *dialog();

private:
    Kind m_kind;
    QString m_filter;
    QWidget *m_parent;
    QFileDialog *m_dialog = nullptr;
};

// A file dialog that never leaves its name's completion list behind.
QFileDialog *newFileDialog(QWidget *parent);

// Runs a file dialog modally; nothing of it stays behind, its completion list included, and
// the keyboard goes back to a window of the program.
int execFileDialog(QFileDialog *dialog);
