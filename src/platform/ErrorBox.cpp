// Application error box: the message with the application title as caption.
#include "platform/ErrorBox.h"

#include <QApplication>
#include <QLabel>

namespace platform {

QString errorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void showErrorBox(const QString &message, const QString &reason)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Korlith"), errorBoxText(message), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("ErrorBox"));
    // Messages carry file names and other text of the user's: never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(reason);
    if (auto *why = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel")))
        why->setTextFormat(Qt::PlainText);
    // Above the window it reports on, also when that one stays on top of the others.
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
}

} // namespace platform
