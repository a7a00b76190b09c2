// TLinkLabel: a label that looks like a hyperlink and opens its target on a left-button press.
#pragma once

#include <QLabel>

class TLinkLabel : public QLabel
{
    Q_OBJECT
    Q_PROPERTY(tLinkType LinkType READ LinkType WRITE setLinkType)
    Q_PROPERTY(QString HyperLink READ HyperLink WRITE setHyperLink)
public:
    enum tLinkType { ltfile, ltftp, ltgopher, lthttp, lthttps, ltmailto, ltnews, lttelnet, ltwais };
    Q_ENUM(tLinkType)

    // The owner becomes the parent and must be a form (a window); anything else raises
    // "Invalid class typecast".
    explicit TLinkLabel(QWidget *owner);

    tLinkType LinkType() const { return m_type; }
    void setLinkType(tLinkType type);
    QString HyperLink() const { return m_hyperLink; }
    void setHyperLink(const QString &link);

    static QString prefix(tLinkType type);
    QString target() const { return prefix(m_type) + m_hyperLink; }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    tLinkType m_type = lthttp;
    QString m_hyperLink;
    // The last press that opened the link, to know the second press of a double-click.
    bool m_lastPress = false;
    ulong m_lastPressTime = 0;
    QPoint m_lastPressAt;
};
