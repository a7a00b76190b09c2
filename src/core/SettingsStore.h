// SettingsStore: the program's registry key "\Software\Korlith\" and its two string values.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

// Windows value types as the registry's export format names them.
enum RegType : int {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
};

struct RegValue
{
    QString name;      // "" is the key's default value ("@")
    int type = REG_SZ;
    QByteArray data;   // the bytes Windows would hold; strings include their zero byte
};

// Where the settings are kept: one key of the registry's stand-in, with the Windows meaning of
// open-or-create, query, set and close.
class SettingsKey
{
public:
    virtual ~SettingsKey() = default;
    virtual bool openOrCreate(const QString &keyPath) = 0;
    virtual std::optional<RegValue> query(const QString &name) const = 0;
    // A REG_SZ value: the text plus its zero byte.
    virtual bool setString(const QString &name, const QByteArray &text) = 0;
    virtual void close() = 0;
};

class SettingsStore
{
public:
    static inline const QString KeyPath = QStringLiteral("\\Software\\Korlith\\");
    static inline const QString ValueConfigured = QStringLiteral("configured");
    static inline const QString ValueInterpreter = QStringLiteral("Interpreter");
    static inline const QString ValueCgiInterpreter = QStringLiteral("CGIInterpreter");

    explicit SettingsStore(std::unique_ptr<SettingsKey> key);

    // Opens the key, creating it when missing. The outcome is not reported: when the open
    // failed, reads give empty text and writes fail.
    void open();

    // Empty for a missing value; a value that is not a string raises "Invalid data type for '%s'".
    QString readString(const QString &name) const;

    // Raises "Failed to set data for '%s'" when the value cannot be stored.
    void writeString(const QString &name, const QString &value);

    void close();

private:
    std::unique_ptr<SettingsKey> m_key;
};

// The two program-wide values as the main window reads them at start-up.
bool isConfiguredValue(const QString &configured);
