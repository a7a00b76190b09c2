// TForm5: the update notice; "Website besuchen" opens the maker's web site and stays open.
#include "Unit5.h"
#include "ui_Unit5.h"

#include "FormSupport.h"
#include "URL.h"
#include "core/Maker.h"
#include "platform/ErrorBox.h"
#include "platform/WindowFrames.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <algorithm>

TForm5 *Form5 = nullptr;

TForm5::TForm5(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::TForm5>())
{
    ui->setupUi(this);
    QFont bold = ui->Label1->font();
    bold.setBold(true);
    ui->Label1->setFont(bold);
    makeFixedDialog(this);
    m_baseSize = size() - QSize(0, platform::ownFrameHeight(this));
    URL1 = new TURL(this);
    URL1->setObjectName(QStringLiteral("URL1"));
    URL1->setURL(Maker::WebSite);
    connectClick(ui->Button1, this, &TForm5::Button1Click);
    connectClick(ui->Button2, this, &TForm5::Button2Click);
}

TForm5::~TForm5() = default;

void TForm5::setMessage(const QString &message)
{
    m_message = message;
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // The frame the window manager adds: known only some time after a showing, so never less
    // than a generous estimate.
    const int frame = std::max(32, frameGeometry().width() - width());
    // No wider than the screen, also where the screen is narrower than the notice's own width
    // (a small screen at a large scale): the text is then cut with an ellipsis.
    const int widest = std::max(ui->Button2->geometry().right() + 1 + ui->Label1->x(), available.width() - frame);
    const int margin = ui->Label1->x();
    const int room = widest - 2 * margin;
    const QFontMetrics metrics(ui->Label1->font());
    ui->Label1->setText(metrics.horizontalAdvance(message) > room ? metrics.elidedText(message, Qt::ElideRight, room)
                                                                 : message);
    ui->Label1->adjustSize();
    const int needed = ui->Label1->geometry().right() + 1 + margin;
    platform::setFixedWindowSize(this, QSize(std::min(std::max(needed, m_baseSize.width()), widest), m_baseSize.height()));
    // A window that is already placed keeps its place, unless it would now stand off the screen;
    // the window manager's frame for the new size is known only later, so look again then.
    keepOnScreen();
    QTimer::singleShot(100, this, [this] { keepOnScreen(); });
}

void TForm5::keepOnScreen()
{
    if (m_shownBefore && isVisible())
        keepFrameOnScreen(this);
}

void TForm5::fitToScreen()
{
    // The message is cut for the screen it stands on.
    setMessage(m_message);
}

void TForm5::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    keepOnScreen();
}

QString TForm5::message() const
{
    return m_message;
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
