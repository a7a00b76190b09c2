// The program's own variables, and the environment it hands on.
#include "platform/ProgramVariables.h"

#include <QMutex>
#include <QProcess>
#include <QtGlobal>

#include <map>
#include <optional>
#include <string>

extern char **environ;

namespace platform {

namespace {
QMutex g_lock;
// By name: the value before the program set it, or none.
std::map<std::string, std::optional<QByteArray>> &givenValues()
{
    static std::map<std::string, std::optional<QByteArray>> values;
    return values;
}
} // namespace

void setProgramVariable(const char *name, const QByteArray &value)
{
    const QMutexLocker locker(&g_lock);
    auto &given = givenValues();
    if (given.find(name) == given.end())
        given[name] = qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name)) : std::nullopt;
    qputenv(name, value);
}

QList<QByteArray> givenEnvironment()
{
    const QMutexLocker locker(&g_lock);
    const auto &given = givenValues();
    QList<QByteArray> out;
    for (char **entry = environ; entry && *entry; ++entry) {
        const QByteArray variable(*entry);
        const qsizetype equals = variable.indexOf('=');
        const auto own = given.find(variable.left(equals < 0 ? variable.size() : equals).toStdString());
        if (own == given.end())
            out << variable;
        else if (own->second)
            out << QByteArray(own->first.c_str()) + '=' + *own->second;
    }
    return out;
}

QProcessEnvironment givenProcessEnvironment()
{
    QProcessEnvironment env;
    for (const QByteArray &variable : givenEnvironment()) {
        const qsizetype equals = variable.indexOf('=');
        if (equals > 0)
            env.insert(QString::fromLocal8Bit(variable.left(equals)), QString::fromLocal8Bit(variable.mid(equals + 1)));
    }
    return env;
}

bool startDetachedProgram(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessEnvironment(givenProcessEnvironment());
    return process.startDetached();
}

} // namespace platform
