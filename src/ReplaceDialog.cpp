// TReplaceDialog: reports its button presses; the owner reads texts and options at that moment.
#include "ReplaceDialog.h"
#include "ui_ReplaceDialog.h"

#include "platform/Fonts.h"

TReplaceDialog::TReplaceDialog(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TReplaceDialog>())
{
    ui->setupUi(this);
    setModal(false);
    setFont(platform::dialogFont());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_QuitOnClose, false);
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
    show();
    raise();
    activateWindow();
    ui->FindEdit->setFocus();
    ui->FindEdit->selectAll();
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
