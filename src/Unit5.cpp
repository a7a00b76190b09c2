// TForm5: the update notice; "Website besuchen" opens the maker's web site and stays open.
#include "Unit5.h"
#include "ui_Unit5.h"

#include "FormSupport.h"
#include "URL.h"
#include "core/Maker.h"
#include "platform/ErrorBox.h"

TForm5 *Form5 = nullptr;

TForm5::TForm5(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TForm5>())
{
    ui->setupUi(this);
    QFont bold = ui->Label1->font();
    bold.setBold(true);
    ui->Label1->setFont(bold);
    makeFixedDialog(this);
    m_baseSize = size();
    URL1 = new TURL(this);
    URL1->setObjectName(QStringLiteral("URL1"));
    URL1->setURL(Maker::WebSite);
    connect(ui->Button1, &QPushButton::clicked, this, [this] { platform::guarded([this] { Button1Click(); }); });
    connect(ui->Button2, &QPushButton::clicked, this, [this] { platform::guarded([this] { Button2Click(); }); });
}

TForm5::~TForm5() = default;

void TForm5::setMessage(const QString &message)
{
    ui->Label1->setText(message);
    ui->Label1->adjustSize();
    const int needed = ui->Label1->geometry().right() + 1 + ui->Label1->x();
    setFixedSize(m_baseSize.expandedTo(QSize(needed, 0)));
}

QString TForm5::message() const
{
    return ui->Label1->text();
}

void TForm5::showEvent(QShowEvent *event)
{
    centreOnFirstShow(this, m_shownBefore);
    QDialog::showEvent(event);
}

void TForm5::Button1Click()
{
    URL1->OpenURL();
}

void TForm5::Button2Click()
{
    hide();
}
