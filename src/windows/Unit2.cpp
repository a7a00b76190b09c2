// TForm2: the settings dialog; reads the stored path on every showing, stores it on "OK".
#include "Unit2.h"
#include "ui_Unit2.h"

#include "FileDialog.h"
#include "FormSupport.h"
#include "core/AppSettings.h"
#include "core/SettingsStore.h"
#include "platform/Registry.h"
#include "platform/ErrorBox.h"

#include <QFileDialog>
#include <QShowEvent>

TForm2 *Form2 = nullptr;

TForm2::TForm2(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TForm2>())
{
    ui->setupUi(this);
    makeFixedDialog(this);

    connectClick(ui->Button1, this, &TForm2::Button1Click);
    connectClick(ui->Button2, this, &TForm2::Button2Click);
    connectClick(ui->Button3, this, &TForm2::Button3Click);
}

TForm2::~TForm2() = default;

QFileDialog *TForm2::OpenDialog1()
{
    // Made when first asked for: a file dialog costs the program's start some milliseconds.
    if (m_openDialog)
        return m_openDialog;
    m_openDialog = newFileDialog(this);
    m_openDialog->setObjectName(QStringLiteral("OpenDialog1"));
    m_openDialog->setFileMode(QFileDialog::ExistingFile);
    m_openDialog->setAcceptMode(QFileDialog::AcceptOpen);
    // One entry "PHP.exe" matching "php.exe"; on Linux the interpreter is named php.
    m_openDialog->setNameFilters({QStringLiteral("PHP.exe (php.exe php php[0-9]*)")});
    // The entry reads "PHP.exe" alone, as the Open dialog's entries read without their patterns.
    m_openDialog->setOption(QFileDialog::HideNameFilterDetails, true);
    return m_openDialog;
}

void TForm2::showEvent(QShowEvent *event)
{
    handleShowEvent(
        this, event, [this] { centreOnFirstShow(this, m_shownBefore); },
        [this](QShowEvent *e) { QDialog::showEvent(e); }, ui->Button1, &TForm2::FormShow);
}

void TForm2::FormShow()
{
    SettingsStore store = platform::programSettings();
    store.open();
    ui->Edit1->setText(store.readString(SettingsStore::ValueInterpreter));
    store.close();
}

void TForm2::Button1Click()
{
    const QString path = ui->Edit1->text();
    SettingsStore store = platform::programSettings();
    store.open();
    store.writeString(SettingsStore::ValueInterpreter, path);
    store.close();
    accept();
    AppSettings::instance().setInterpreterPath(path);
}

void TForm2::Button2Click()
{
    if (execFileDialog(OpenDialog1()) != QDialog::Accepted)
        return;
    const QStringList files = m_openDialog->selectedFiles();
    if (!files.isEmpty())
        ui->Edit1->setText(files.first());
}

void TForm2::Button3Click()
{
    reject();
}
