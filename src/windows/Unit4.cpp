// TForm4: marks the store as configured as soon as it is shown, whatever the answer.
#include "Unit4.h"
#include "ui_Unit4.h"

#include "FormSupport.h"
#include "Unit2.h"
#include "core/SettingsStore.h"
#include "platform/Registry.h"
#include "platform/ErrorBox.h"

#include <QShowEvent>

TForm4 *Form4 = nullptr;

TForm4::TForm4(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TForm4>())
{
    ui->setupUi(this);
    makeFixedDialog(this);
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    connectClick(ui->Button1, this, &TForm4::Button1Click);
    connectClick(ui->Button2, this, &TForm4::Button2Click);
}

TForm4::~TForm4() = default;

void TForm4::showEvent(QShowEvent *event)
{
    handleShowEvent(
        this, event,
        [this] {
            if (parentWidget())
                centreOver(this, parentWidget());
        },
        [this](QShowEvent *e) { QDialog::showEvent(e); }, ui->Button1, &TForm4::FormShow);
}

void TForm4::FormShow()
{
    SettingsStore store = platform::programSettings();
    store.open();
    store.writeString(SettingsStore::ValueConfigured, QStringLiteral("1"));
    store.close();
}

void TForm4::Button1Click()
{
    Form2->show();
    hide();
}

void TForm4::Button2Click()
{
    hide();
}
