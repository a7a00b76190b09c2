// TForm5: the update notice.
#include "Unit5.h"
#include "ui_Unit5.h"

#include "FormSupport.h"

TForm5 *Form5 = nullptr;

TForm5::TForm5(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TForm5>())
{
    ui->setupUi(this);
    makeFixedDialog(this);
}

TForm5::~TForm5() = default;

void TForm5::showEvent(QShowEvent *event)
{
    centreOnFirstShow(this, m_shownBefore);
    QDialog::showEvent(event);
}
