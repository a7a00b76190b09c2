// TReplaceDialog: reports its button presses; the owner reads texts and options at that moment.
#include "ReplaceDialog.h"
#include "ui_ReplaceDialog.h"

#include "FormSupport.h"

TReplaceDialog::TReplaceDialog(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TReplaceDialog>())
{
    ui->setupUi(this);
    makeSearchDialog(this);
    auto updateButtons = [this] {
        const bool any = !ui->FindEdit->text().isEmpty();
        ui->FindNext->setEnabled(any);
        ui->Replace->setEnabled(any);
        ui->ReplaceAll->setEnabled(any);
    };
    updateButtons();
    connect(ui->FindEdit, &QLineEdit::textChanged, this, updateButtons);
    connect(ui->FindNext, &QPushButton::clicked, this, &TReplaceDialog::find);
    connect(ui->Replace, &QPushButton::clicked, this, &TReplaceDialog::replace);
    connect(ui->ReplaceAll, &QPushButton::clicked, this, &TReplaceDialog::replaceAll);
    connect(ui->Cancel, &QPushButton::clicked, this, &QDialog::hide);
}

TReplaceDialog::~TReplaceDialog() = default;

void TReplaceDialog::execute()
{
    showSearchDialog(this, ui->FindEdit);
}

QString TReplaceDialog::findText() const
{
    return ui->FindEdit->text();
}

QString TReplaceDialog::replaceText() const
{
    return ui->ReplaceEdit->text();
}

void TReplaceDialog::setTexts(const QString &find, const QString &replacement)
{
    ui->FindEdit->setText(find);
    ui->ReplaceEdit->setText(replacement);
}

SearchOptions TReplaceDialog::options() const
{
    return {true, ui->MatchCase->isChecked(), ui->WholeWord->isChecked()};
}
