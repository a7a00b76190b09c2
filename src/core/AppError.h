// AppError: the one error type that handlers raise and the application error box shows.
// A function that raises it says so in its header; nothing else is thrown on purpose.
#pragma once

#include <QString>
#include <stdexcept>

class AppError : public std::runtime_error
{
public:
    explicit AppError(const QString &message, const QString &reason = QString())
        : std::runtime_error(message.toStdString()), m_message(message), m_reason(reason) {}
    QString message() const { return m_message; }
    // Why, in the system's words where it gave any: shown beneath the message, which stays as
    // it stands. Empty where nothing is known.
    QString reason() const { return m_reason; }

    // The runtime's file errors, with the full path; error is the errno of the failed call (0:
    // none known).
    static AppError cannotCreateFile(const QString &path, int error = 0)
    {
        return AppError(QStringLiteral("Cannot create file %1").arg(path), systemReason(error));
    }
    static AppError cannotOpenFile(const QString &path, int error = 0)
    {
        return AppError(QStringLiteral("Cannot open file %1").arg(path), systemReason(error));
    }
    // The same error with another reason.
    AppError because(const QString &reason) const { return AppError(m_message, reason); }

    // The system's text for an errno, in the user's language where the system has it.
    static QString systemReason(int error);
    // What stands there instead of a regular file, by its st_mode.
    static QString notAFile(unsigned mode);

private:
    QString m_message;
    QString m_reason;
};
