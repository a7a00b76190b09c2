// TFindDialog: reports its button presses; the owner reads the search text at that moment.
#include "FindDialog.h"
#include "ui_FindDialog.h"

#include "FormSupport.h"

TFindDialog::TFindDialog(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TFindDialog>())
{
    ui->setupUi(this);
    makeSearchDialog(this);
    ui->FindNext->setEnabled(false);
    connect(ui->FindEdit, &QLineEdit::textChanged, this, [this](const QString &t) { ui->FindNext->setEnabled(!t.isEmpty()); });
    connect(ui->FindNext, &QPushButton::clicked, this, &TFindDialog::find);
    connect(ui->Cancel, &QPushButton::clicked, this, &QDialog::hide);
}

TFindDialog::~TFindDialog() = default;

void TFindDialog::execute()
{
    showSearchDialog(this, ui->FindEdit);
}

QString TFindDialog::findText() const
{
    return ui->FindEdit->text();
}

SearchOptions TFindDialog::options() const
{
    return {ui->Down->isChecked(), ui->MatchCase->isChecked(), ui->WholeWord->isChecked()};
}

void TFindDialog::setFindText(const QString &text)
{
    ui->FindEdit->setText(text);
}
