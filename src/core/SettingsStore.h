// SettingsStore: the program's registry key "\Software\Korlith\" and its two string values.
#pragma once

#include "platform/Registry.h"

#include <QString>

class SettingsStore
{
public:
    static inline const QString KeyPath = QStringLiteral("\\Software\\Korlith\\");
    static inline const QString ValueConfigured = QStringLiteral("configured");
    static inline const QString ValueInterpreter = QStringLiteral("Interpreter");

    explicit SettingsStore(const QString &filePath = platform::RegistryKey::defaultFilePath());

    // Opens the key, creating it when missing. The outcome is not reported: when the open
    // failed, reads give empty text and writes fail.
    void open();

    // Empty for a missing value; a value that is not a string raises "Invalid data type for '%s'".
    QString readString(const QString &name) const;

    // Raises "Failed to set data for '%s'" when the value cannot be stored.
    void writeString(const QString &name, const QString &value);

    void close();

private:
    platform::RegistryKey m_key;
};

// The two program-wide values as the main window reads them at start-up.
bool isConfiguredValue(const QString &configured);
