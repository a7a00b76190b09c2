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
    QFileDialog *dialog() const { return m_dialog; }

private:
    QFileDialog *m_dialog;
};
