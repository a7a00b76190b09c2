// AppError: the one error type that handlers raise and the application error box shows.
#pragma once

#include <QString>
#include <stdexcept>

class AppError : public std::runtime_error
{
public:
    explicit AppError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }

    static AppError cannotCreateFile(const QString &path) { return AppError(QStringLiteral("Cannot create file %1").arg(path)); }
    static AppError cannotOpenFile(const QString &path) { return AppError(QStringLiteral("Cannot open file %1").arg(path)); }

private:
    QString m_message;
};
