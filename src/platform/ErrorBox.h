// Application error box and the guard that every handler runs through.
#pragma once

#include "core/AppError.h"

#include <QMessageBox>
#include <QString>
#include <exception>

namespace platform {

// The message as the box shows it: a final "." when the last character sorts after ".".
QString errorBoxText(const QString &message);

// Caption "Korlith", error icon, one OK button, the reason (if any) beneath the message; waits
// until it is closed.
void showErrorBox(const QString &message, const QString &reason = QString());

// Runs a handler; an error it raises is shown in the error box and the program carries on.
// Errors must not cross Qt's event dispatch, so every slot and event handler goes through here.
// False when the handler stopped at an error.
template <typename F>
bool guarded(F &&handler)
{
    try {
        handler();
        return true;
    } catch (const AppError &e) {
        showErrorBox(e.message(), e.reason());
    } catch (const std::exception &e) {
        showErrorBox(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

} // namespace platform
