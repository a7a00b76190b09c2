// TFindDialog: a modeless find dialog in the manner of the Windows common dialog.
#pragma once


#include "core/TextSearch.h"

#include <QDialog>
#include <memory>

namespace Ui {
class TFindDialog;
}

class TFindDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TFindDialog(QWidget *parent = nullptr);
    ~TFindDialog() override;

    // Shows the dialog, or brings it to the front when it is open.
    void execute();

    QString findText() const;
    void setFindText(const QString &text);
    SearchOptions options() const;

signals:
    void find(); // "Weitersuchen"

private:
    std::unique_ptr<Ui::TFindDialog> ui;
};
