// Registry stand-in: parser of the REGEDIT4 file, and locked, atomic updates that rewrite only
// the line of the value they set.
#include "platform/Registry.h"

#include <QDir>
#include <QHash>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

const QByteArray kHeader = "REGEDIT4";
const QString kRoot = QStringLiteral("HKEY_LOCAL_MACHINE");

QString normalizeKeyPath(QString path)
{
    while (path.startsWith(QLatin1Char('\\')))
        path.remove(0, 1);
    while (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    return path;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A quoted string of the export format, with \\ and \" escapes. Advances pos past the quote.
std::optional<QByteArray> parseQuoted(const QByteArray &line, int &pos)
{
    if (pos >= line.size() || line[pos] != '"')
        return std::nullopt;
    QByteArray out;
    for (++pos; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c == '\\') {
            if (++pos >= line.size())
                return std::nullopt;
            out += line[pos];
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> parseHexBytes(const QByteArray &text)
{
    QByteArray out;
    const QByteArray trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return out;
    for (const QByteArray &part : trimmed.split(',')) {
        const QByteArray byte = part.trimmed();
        bool ok = false;
        const int v = byte.toInt(&ok, 16);
        if (!ok || byte.size() > 2 || v < 0 || v > 255)
            return std::nullopt;
        out += char(v);
    }
    return out;
}

std::optional<RegValue> parseData(const QByteArray &data)
{
    RegValue v;
    if (data.startsWith('"')) {
        int pos = 0;
        auto text = parseQuoted(data, pos);
        if (!text || !data.mid(pos).trimmed().isEmpty())
            return std::nullopt;
        v.type = REG_SZ;
        v.data = *text + '\0';
        return v;
    }
    if (data.startsWith("dword:")) {
        const QByteArray digits = data.mid(6).trimmed();
        bool ok = false;
        const quint32 n = digits.toUInt(&ok, 16);
        if (!ok || digits.size() != 8)
            return std::nullopt;
        v.type = REG_DWORD;
        v.data = QByteArray(4, '\0');
        for (int i = 0; i < 4; ++i)
            v.data[i] = char((n >> (8 * i)) & 0xff);
        return v;
    }
    int colon = data.indexOf(':');
    if (colon < 0)
        return std::nullopt;
    const QByteArray kind = data.left(colon);
    if (kind == "hex") {
        v.type = REG_BINARY;
    } else if (kind.startsWith("hex(") && kind.endsWith(')')) {
        bool ok = false;
        v.type = kind.mid(4, kind.size() - 5).toInt(&ok, 16);
        if (!ok || v.type < 0)
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    auto bytes = parseHexBytes(data.mid(colon + 1));
    if (!bytes)
        return std::nullopt;
    v.data = *bytes;
    return v;
}

QByteArray quote(const QByteArray &text)
{
    QByteArray out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

QByteArray hexList(const QByteArray &data)
{
    QByteArray out;
    for (int i = 0; i < data.size(); ++i) {
        if (i)
            out += ',';
        out += QByteArray::number(uchar(data[i]), 16).rightJustified(2, '0');
    }
    return out;
}

QByteArray serializeValue(const RegValue &v)
{
    const QByteArray name = v.name.isEmpty() ? QByteArray("@") : quote(v.name.toLocal8Bit());
    if (v.type == REG_SZ && v.data.endsWith('\0')) {
        const QByteArray text = v.data.left(v.data.size() - 1);
        // Line breaks and inner zero bytes have no quoted form in the format.
        if (!text.contains('\0') && !text.contains('\n') && !text.contains('\r'))
            return name + '=' + quote(text);
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        quint32 n = 0;
        for (int i = 0; i < 4; ++i)
            n |= quint32(uchar(v.data[i])) << (8 * i);
        return name + "=dword:" + QByteArray::number(n, 16).rightJustified(8, '0');
    }
    const QByteArray kind = v.type == REG_BINARY ? QByteArray("hex") : "hex(" + QByteArray::number(v.type, 16) + ')';
    return name + '=' + kind + ':' + hexList(v.data);
}


// One logical line of the file (continuation lines joined) with where its bytes stand.
struct RawLine
{
    qsizetype start, end;   // the bytes of its physical lines, without the last line break
    qsizetype next;         // where the line after it starts
    QByteArray text;        // joined and trimmed, as the parser reads it
    bool crlf;              // its last physical line ended in CR LF
};

QList<RawLine> rawLines(const QByteArray &file)
{
    QList<RawLine> lines;
    QByteArray pending;
    qsizetype start = -1;
    for (qsizetype pos = 0; pos < file.size();) {
        qsizetype eol = file.indexOf('\n', pos);
        const qsizetype next = eol < 0 ? file.size() : eol + 1;
        if (eol < 0)
            eol = file.size();
        const bool crlf = eol > pos && file[eol - 1] == '\r';
        QByteArray line = file.mid(pos, eol - pos - (crlf ? 1 : 0));
        if (start < 0)
            start = pos;
        if (!pending.isEmpty())
            line = pending + line.trimmed();
        pending.clear();
        if (line.endsWith('\\') && !line.startsWith('[')) {
            pending = line.left(line.size() - 1);
            pos = next;
            continue;
        }
        lines.append(RawLine{start, eol - (crlf ? 1 : 0), next, line.trimmed(), crlf});
        start = -1;
        pos = next;
    }
    return lines;
}

// The file with only the value's line (or the key's section) written anew: comments, spacing,
// line ends and every other line keep their bytes. The file must have parsed.
QByteArray patchFile(const QByteArray &file, const QString &keyPath, const RegValue *value)
{
    const QList<RawLine> lines = rawLines(file);
    qsizetype lastSection = -1, insertAt = -1, valueLine = -1;
    QString storedName; // a value keeps the spelling of its name that the file has
    bool crlf = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray &t = lines[i].text;
        if (t.startsWith('[')) {
            const QString full = QString::fromLocal8Bit(t.mid(1, t.size() - 2));
            const bool ours = sameName(normalizeKeyPath(full.mid(kRoot.size())), keyPath);
            if (ours) {
                lastSection = i;
                insertAt = i;
                crlf = lines[i].crlf;
            } else {
                lastSection = -1;
            }
            continue;
        }
        if (lastSection < 0 || t.isEmpty() || t.startsWith(';'))
            continue;
        insertAt = i;
        if (!value)
            continue;
        QString name;
        int pos = 0;
        if (!t.startsWith('@')) {
            if (const auto quoted = parseQuoted(t, pos))
                name = QString::fromLocal8Bit(*quoted);
        }
        if (sameName(name, value->name) && (t.startsWith('@') == value->name.isEmpty())) {
            valueLine = i;
            storedName = name;
        }
    }
    const QByteArray eol = crlf ? "\r\n" : "\n";
    if (value && valueLine >= 0) {
        const RawLine &l = lines[valueLine];
        // Keep the blanks the line had before and after.
        qsizetype indent = l.start, end = l.end;
        while (indent < end && (file[indent] == ' ' || file[indent] == '\t'))
            ++indent;
        while (end > indent && (file[end - 1] == ' ' || file[end - 1] == '\t'))
            --end;
        RegValue stored = *value;
        stored.name = storedName;
        return file.left(indent) + serializeValue(stored) + file.mid(end);
    }
    if (insertAt >= 0) {
        if (!value)
            return file;
        const RawLine &l = lines[insertAt];
        const bool ended = l.next > l.end;
        return file.left(l.next) + (ended ? QByteArray() : eol) + serializeValue(*value) + eol + file.mid(l.next);
    }
    // A key the file does not have: a section of its own at the end, after a blank line, and
    // followed by one.
    QByteArray out = file;
    const QByteArray fileEol = file.contains("\r\n") ? "\r\n" : "\n";
    if (!out.isEmpty() && !out.endsWith('\n'))
        out += fileEol;
    if (!out.endsWith(fileEol + fileEol))
        out += fileEol;
    out += '[' + kRoot.toLocal8Bit() + (keyPath.isEmpty() ? QByteArray() : '\\' + keyPath.toLocal8Bit()) + ']' + fileEol;
    if (value)
        out += serializeValue(*value) + fileEol;
    return out + fileEol;
}

} // namespace

RegKey *RegDocument::findKey(const QString &path)
{
    for (RegKey &k : keys)
        if (sameName(k.path, path))
            return &k;
    return nullptr;
}

std::optional<RegDocument> RegDocument::parse(const QByteArray &text)
{
    // Join continuation lines (a trailing backslash) first.
    QList<QByteArray> lines;
    QByteArray pending;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!pending.isEmpty())
            line = pending + line.trimmed();
        pending.clear();
        if (line.endsWith('\\') && !line.startsWith('[')) {
            pending = line.left(line.size() - 1);
            continue;
        }
        lines += line;
    }
    if (!pending.isEmpty())
        return std::nullopt;

    RegDocument doc;
    bool headerSeen = false;
    RegKey *current = nullptr;
    // Names by their case-folded form, so that each line costs the same however many came before.
    QHash<QString, qsizetype> keyIndex;
    QList<QHash<QString, qsizetype>> valueIndex;
    QHash<QString, qsizetype> *currentValues = nullptr;
    for (const QByteArray &raw : lines) {
        QByteArray line = raw.trimmed();
        if (!headerSeen && line.startsWith("\xEF\xBB\xBF"))
            line.remove(0, 3);
        if (line.isEmpty() || line.startsWith(';'))
            continue;
        if (!headerSeen) {
            if (line != kHeader)
                return std::nullopt;
            headerSeen = true;
            continue;
        }
        if (line.startsWith('[')) {
            if (!line.endsWith(']'))
                return std::nullopt;
            const QString full = QString::fromLocal8Bit(line.mid(1, line.size() - 2));
            if (!full.startsWith(kRoot, Qt::CaseInsensitive))
                return std::nullopt;
            const QString rest = full.mid(kRoot.size());
            if (!rest.isEmpty() && !rest.startsWith(QLatin1Char('\\')))
                return std::nullopt;
            const QString path = normalizeKeyPath(rest);
            const QString folded = path.toCaseFolded();
            auto found = keyIndex.constFind(folded);
            if (found == keyIndex.constEnd()) {
                found = keyIndex.insert(folded, doc.keys.size());
                doc.keys.append(RegKey{path, {}});
                valueIndex.append(QHash<QString, qsizetype>());
            }
            current = &doc.keys[*found];
            currentValues = &valueIndex[*found];
            continue;
        }
        if (!current)
            return std::nullopt;
        QString name;
        int pos = 0;
        if (line.startsWith('@')) {
            pos = 1;
        } else {
            auto quoted = parseQuoted(line, pos);
            if (!quoted)
                return std::nullopt;
            name = QString::fromLocal8Bit(*quoted);
        }
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        if (pos >= line.size() || line[pos] != '=')
            return std::nullopt;
        auto value = parseData(line.mid(pos + 1).trimmed());
        if (!value)
            return std::nullopt;
        value->name = name;
        const QString folded = name.toCaseFolded();
        const auto existing = currentValues->constFind(folded);
        if (existing != currentValues->constEnd()) {
            current->values[*existing] = *value;
        } else {
            currentValues->insert(folded, current->values.size());
            current->values.append(*value);
        }
    }
    if (!headerSeen)
        return std::nullopt;
    return doc;
}

QString RegistryKey::defaultFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Korlith/HKEY_LOCAL_MACHINE.reg");
}

RegistryKey::RegistryKey(QString filePath) : m_filePath(std::move(filePath)) {}

std::optional<RegDocument> RegistryKey::load(QByteArray *raw) const
{
    // Only a regular file is read, and opening never waits: a named pipe or a device under
    // this name counts as unreadable, and so is never written through either.
    const QByteArray native = QFile::encodeName(m_filePath);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? std::optional<RegDocument>(RegDocument{}) : std::nullopt;
    struct stat st;
    QFile file;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
    const QByteArray text = file.readAll();
    if (raw)
        *raw = text;
    // An empty file holds no key yet; the next write gives it its first.
    if (text.trimmed().isEmpty())
        return RegDocument{};
    return RegDocument::parse(text);
}

bool RegistryKey::update(const RegValue *value)
{
    const QString dir = QFileInfo(m_filePath).absolutePath();
    if (!QDir().mkpath(dir))
        return false;
    QLockFile lock(m_filePath + QStringLiteral(".lock"));
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(2000))
        return false;
    // Read again under the lock: another instance may have written since we opened.
    QByteArray text;
    auto doc = load(&text);
    if (!doc)
        return false;
    // A file that holds no key yet gets the format's header and its line ends, CR LF; any
    // other keeps its own bytes and line ends.
    QByteArray bytes = text.trimmed().isEmpty() ? kHeader + "\r\n" : text;
    bytes = patchFile(bytes, m_keyPath, value);
    QSaveFile out(m_filePath);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    if (out.write(bytes) != bytes.size())
        return false;
    if (!out.commit())
        return false;
    if (auto written = RegDocument::parse(bytes))
        if (RegKey *k = written->findKey(m_keyPath))
            m_snapshot = *k;
    return true;
}

bool RegistryKey::openOrCreate(const QString &keyPath)
{
    close();
    m_keyPath = normalizeKeyPath(keyPath);
    auto doc = load(nullptr);
    if (!doc)
        return false;
    if (RegKey *k = doc->findKey(m_keyPath)) {
        m_snapshot = *k;
        m_open = true;
        return true;
    }
    m_open = update(nullptr);
    return m_open;
}

std::optional<RegValue> RegistryKey::query(const QString &name) const
{
    if (!m_open)
        return std::nullopt;
    for (const RegValue &v : m_snapshot.values)
        if (sameName(v.name, name))
            return v;
    return std::nullopt;
}

bool RegistryKey::setString(const QString &name, const QByteArray &text)
{
    if (!m_open)
        return false;
    const RegValue value{name, REG_SZ, text + '\0'};
    return update(&value);
}

void RegistryKey::close()
{
    m_open = false;
    m_snapshot = RegKey{};
}

SettingsStore programSettings(const QString &filePath)
{
    return SettingsStore(std::make_unique<RegistryKey>(filePath));
}

} // namespace platform
