// TLinkLabel: blue, underlined, hand cursor; the link opens when the button goes down.
#include "LinkLabel.h"

#include "FormSupport.h"
#include "core/AppError.h"
#include "core/LinkPrefix.h"
#include "platform/ShellExecute.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>

namespace {
QWidget *requireForm(QWidget *owner)
{
    if (!owner || !owner->isWindow())
        throw AppError(QStringLiteral("Invalid class typecast"));
    return owner;
}
} // namespace

TLinkLabel::TLinkLabel(QWidget *owner) : QLabel(requireForm(owner))
{
    QFont f = font();
    f.setUnderline(true);
    f.setBold(false);
    f.setItalic(false);
    f.setStrikeOut(false);
    setFont(f);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, namedColourOn(QColor(0, 0, 255), p.color(QPalette::Window)));
    setPalette(p);
    setCursor(Qt::PointingHandCursor);
    // The caption is shown as it is written, whatever it holds.
    setTextFormat(Qt::PlainText);
    setText(QString());
}

void TLinkLabel::setLinkType(tLinkType type)
{
    if (type != m_type)
        m_type = type;
}

void TLinkLabel::setHyperLink(const QString &link)
{
    m_hyperLink = link;
    if (text().isEmpty())
        setText(link);
}

QString TLinkLabel::prefix(tLinkType type)
{
    return linkPrefix(type);
}

void TLinkLabel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QLabel::mousePressEvent(event);
        return;
    }
    // Qt delivers the second press of a double-click as a press of its own: it opens nothing.
    const bool secondOfDouble = m_lastPress && event->timestamp() - m_lastPressTime
                                                   < ulong(QGuiApplication::styleHints()->mouseDoubleClickInterval())
                                && (event->position().toPoint() - m_lastPressAt).manhattanLength()
                                       <= QGuiApplication::styleHints()->startDragDistance();
    m_lastPress = !secondOfDouble;
    m_lastPressTime = event->timestamp();
    m_lastPressAt = event->position().toPoint();
    event->accept();
    if (secondOfDouble)
        return;
    // Opened at once; the press goes no further, and the result is not looked at.
    platform::shellExecute(target());
}


void TLinkLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Its presses have been seen already; the double-click itself opens nothing.
    if (event->button() == Qt::LeftButton)
        event->accept();
    else
        QLabel::mouseDoubleClickEvent(event);
}
