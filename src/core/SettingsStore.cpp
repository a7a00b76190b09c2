// SettingsStore: typed reads and writes of the program's key, with the registry's error messages.
#include "core/SettingsStore.h"

#include "core/AppError.h"

SettingsStore::SettingsStore(std::unique_ptr<SettingsKey> key) : m_key(std::move(key)) {}

void SettingsStore::open()
{
    m_key->openOrCreate(KeyPath);
}

QString SettingsStore::readString(const QString &name) const
{
    const auto value = m_key->query(name);
    if (!value || value->data.isEmpty())
        return QString();
    if (value->type != REG_SZ && value->type != REG_EXPAND_SZ)
        throw AppError(QStringLiteral("Invalid data type for '%1'").arg(name));
    // Up to the first zero byte; environment references are not expanded.
    const int end = value->data.indexOf('\0');
    return QString::fromLocal8Bit(end < 0 ? value->data : value->data.left(end));
}

void SettingsStore::writeString(const QString &name, const QString &value)
{
    if (!m_key->setString(name, value.toLocal8Bit()))
        throw AppError(QStringLiteral("Failed to set data for '%1'").arg(name));
}

void SettingsStore::close()
{
    m_key->close();
}

bool isConfiguredValue(const QString &configured)
{
    return configured == QLatin1String("1");
}
