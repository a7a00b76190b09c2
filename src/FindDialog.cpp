// TFindDialog: reports its button presses; the owner reads text and options at that moment.
#include "FindDialog.h"
#include "ui_FindDialog.h"

#include "platform/Fonts.h"

TFindDialog::TFindDialog(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TFindDialog>())
{
    ui->setupUi(this);
    setModal(false);
    setFont(platform::dialogFont());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_QuitOnClose, false);
    ui->FindNext->setEnabled(false);
    connect(ui->FindEdit, &QLineEdit::textChanged, this, [this](const QString &t) { ui->FindNext->setEnabled(!t.isEmpty()); });
    connect(ui->FindNext, &QPushButton::clicked, this, &TFindDialog::find);
    connect(ui->Cancel, &QPushButton::clicked, this, &QDialog::hide);
}

TFindDialog::~TFindDialog() = default;

void TFindDialog::execute()
{
    show();
    raise();
    activateWindow();
    ui->FindEdit->setFocus();
    ui->FindEdit->selectAll();
}

QString TFindDialog::findText() const
{
    return ui->FindEdit->text();
}

void TFindDialog::setFindText(const QString &text)
{
    ui->FindEdit->setText(text);
}

SearchOptions TFindDialog::options() const
{
    return {ui->Down->isChecked(), ui->MatchCase->isChecked(), ui->WholeWord->isChecked()};
}
