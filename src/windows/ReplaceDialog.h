// TReplaceDialog: a modeless replace dialog in the manner of the Windows common dialog.
#pragma once

#include "core/TextSearch.h"

#include <QDialog>
#include <memory>

namespace Ui {
class TReplaceDialog;
}

class TReplaceDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TReplaceDialog(QWidget *parent = nullptr);
    ~TReplaceDialog() override;

    void execute();

    QString findText() const;
    QString replaceText() const;
    void setTexts(const QString &find, const QString &replacement);
    SearchOptions options() const; // always downwards, as the Windows dialog has no direction

signals:
    void find();       // "Weitersuchen"
    void replace();    // "Ersetzen"
    void replaceAll(); // "Alle ersetzen"

private:
    std::unique_ptr<Ui::TReplaceDialog> ui;
};
