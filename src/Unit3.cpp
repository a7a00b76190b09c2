// TForm3: the About dialog.
#include "Unit3.h"
#include "ui_Unit3.h"

#include "FormSupport.h"

TForm3 *Form3 = nullptr;

TForm3::TForm3(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TForm3>())
{
    ui->setupUi(this);
    makeFixedDialog(this);
}

TForm3::~TForm3() = default;

void TForm3::showEvent(QShowEvent *event)
{
    centreOnFirstShow(this, m_shownBefore);
    QDialog::showEvent(event);
}
