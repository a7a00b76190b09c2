// TForm3: the About dialog with the maker's contact data and two link labels.
#include "Unit3.h"
#include "ui_Unit3.h"

#include "FormSupport.h"
#include "LinkLabel.h"
#include "core/Maker.h"
#include "platform/Fonts.h"

#include <algorithm>

TForm3 *Form3 = nullptr;

TForm3::TForm3(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TForm3>())
{
    ui->setupUi(this);

    QFont title = platform::fontByName(QStringLiteral("MS Serif"), 19);
    title.setStyleHint(QFont::Serif);
    title.setBold(true);
    ui->Label1->setFont(title);
    ui->Label2->setFont(platform::fontByName(QStringLiteral("MS Sans Serif"), 13));
    for (QLabel *red : {ui->Label1, ui->Label2}) {
        QPalette p = red->palette();
        p.setColor(QPalette::WindowText, namedColourOn(Qt::red, p.color(QPalette::Window)));
        red->setPalette(p);
    }
    QFont underlined = platform::dialogFont();
    underlined.setUnderline(true);
    ui->Label4->setFont(underlined);

    ui->Label3->setText(Maker::Author);
    ui->Label9->setText(Maker::Icq);
    ui->LinkLabel1->setText(Maker::Mail);
    ui->LinkLabel1->setHyperLink(Maker::Mail);
    ui->LinkLabel2->setText(QStringLiteral("http://") + Maker::WebSite);
    ui->LinkLabel2->setHyperLink(Maker::WebSite);
    ui->LinkLabel1->raise();
    ui->LinkLabel2->raise();

    // The dialog font's substitute on Linux can be wider than the layout was drawn for: the
    // values move right as far as their captions need, so that "Homepage:" never touches its link.
    const int gap = QFontMetrics(ui->Label6->font()).horizontalAdvance(QLatin1Char(' ')) + 4;
    int column = 0;
    for (QLabel *caption : {ui->Label5, ui->Label8, ui->Label6}) {
        caption->adjustSize();
        column = std::max(column, caption->mapTo(this, QPoint(caption->width(), 0)).x() + gap);
    }
    for (QLabel *value : {static_cast<QLabel *>(ui->LinkLabel1), ui->Label9, static_cast<QLabel *>(ui->LinkLabel2)}) {
        const QPoint at = value->mapTo(this, QPoint(0, 0));
        if (at.x() < column)
            value->move(value->pos() + QPoint(column - at.x(), 0));
    }

    makeFixedDialog(this);
    connect(ui->Button1, &QPushButton::clicked, this, &QDialog::accept);
}

TForm3::~TForm3() = default;

void TForm3::showEvent(QShowEvent *event)
{
    centreOnFirstShow(this, m_shownBefore);
    QDialog::showEvent(event);
    ui->Button1->setFocus();
}
