// Registry stand-in: HKEY_LOCAL_MACHINE kept as one REGEDIT4 text file under XDG_CONFIG_HOME.
#pragma once

#include "core/SettingsStore.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace platform {

struct RegKey
{
    QString path;      // below the root, e.g. "Software\Korlith"
    QList<RegValue> values;
};

// The parsed file: its keys in file order.
struct RegDocument
{
    QList<RegKey> keys;

    RegKey *findKey(const QString &path);
    static std::optional<RegDocument> parse(const QByteArray &text);
};

// One open key of the root, with the Windows meaning of open-or-create, query, set and close.
class RegistryKey : public SettingsKey
{
public:
    // The file of HKEY_LOCAL_MACHINE: $XDG_CONFIG_HOME/Korlith/HKEY_LOCAL_MACHINE.reg.
    static QString defaultFilePath();

    explicit RegistryKey(QString filePath = defaultFilePath());

    // Opens the key, creating it (and the file) when it is missing. Fails when the file cannot
    // be read or parsed, or when a missing key cannot be written; a corrupt file is left as it is.
    bool openOrCreate(const QString &keyPath) override;
    bool isOpen() const { return m_open; }

    // The value as stored, or nothing when the key is not open or holds no such value.
    std::optional<RegValue> query(const QString &name) const override;

    // Writes a REG_SZ value (text plus zero byte), keeping every other key and value of the file.
    bool setString(const QString &name, const QByteArray &text) override;

    void close() override;

private:
    // Writes value into the open key (nullptr: only makes sure the key is there), changing no
    // other byte of the file.
    bool update(const RegValue *value);
    // The parsed file (empty when it is missing), and its bytes into raw where given.
    std::optional<RegDocument> load(QByteArray *raw) const;

    QString m_filePath;
    QString m_keyPath;
    RegKey m_snapshot;
    bool m_open = false;
};

// The program's settings, kept in the file of HKEY_LOCAL_MACHINE.
SettingsStore programSettings(const QString &filePath = RegistryKey::defaultFilePath());

} // namespace platform
