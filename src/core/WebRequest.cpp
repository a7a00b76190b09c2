// WebRequest: the rules of a web server's CGI run and of a browser's cookies, kept small: one
// document, one site.
#include "core/WebRequest.h"

#include "core/FileNameCodec.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString cleaned(const QString &path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(path);
}

QByteArray trimmedValue(const QByteArray &line, qsizetype colon)
{
    return line.mid(colon + 1).trimmed();
}

} // namespace

bool leadsToDocument(const QUrl &url, const DocumentAddress &at, QByteArray *query)
{
    if (!url.isLocalFile() || at.script.isEmpty())
        return false;
    const QString path = cleaned(url.toLocalFile());
    const QFileInfo asked(path);
    const QString name = QFileInfo(at.script).fileName();
    const QString pageFolder = QFileInfo(at.page).absolutePath();
    const bool hit = path == cleaned(at.page) || path == cleaned(at.script)
        || path == QLatin1Char('/') + name
        || (asked.fileName() == name && asked.absolutePath() == pageFolder);
    if (hit && query)
        *query = url.hasQuery() ? url.query(QUrl::FullyEncoded).toLatin1() : QByteArray();
    return hit;
}

QList<QPair<QByteArray, QByteArray>> cgiVariables(const WebRequest &request, const QString &script,
                                                  const QByteArray &cookie)
{
    const QFileInfo file(script);
    const QByteArray name = encodeFileName(file.fileName());
    const QByteArray scriptName = '/' + name;
    QByteArray uri = '/' + QUrl::toPercentEncoding(QString::fromUtf8(name), "!$&'()*+,;=:@");
    if (!request.query.isEmpty())
        uri += '?' + request.query;
    QList<QPair<QByteArray, QByteArray>> vars{
        {"GATEWAY_INTERFACE", "CGI/1.1"},
        {"SERVER_SOFTWARE", "Korlith"},
        {"SERVER_PROTOCOL", "HTTP/1.1"},
        {"SERVER_NAME", "localhost"},
        {"SERVER_ADDR", "127.0.0.1"},
        {"SERVER_PORT", "80"},
        {"REQUEST_SCHEME", "http"},
        {"HTTP_HOST", "localhost"},
        {"REMOTE_ADDR", "127.0.0.1"},
        {"REQUEST_METHOD", request.method},
        {"QUERY_STRING", request.query},
        {"REQUEST_URI", uri},
        {"SCRIPT_NAME", scriptName},
        {"SCRIPT_FILENAME", encodeFileName(file.absoluteFilePath())},
        {"DOCUMENT_ROOT", encodeFileName(file.absolutePath())},
        // PHP's CGI interpreter runs a script only where the server says it sent it there.
        {"REDIRECT_STATUS", "200"},
    };
    if (request.method == "POST") {
        vars.append({"CONTENT_TYPE", request.contentType});
        vars.append({"CONTENT_LENGTH", QByteArray::number(request.body.size())});
    }
    if (!cookie.isEmpty())
        vars.append({"HTTP_COOKIE", cookie});
    return vars;
}

CgiResponse parseCgiResponse(const QByteArray &raw)
{
    CgiResponse response;
    // The headers end at the first empty line, whichever line end the interpreter wrote.
    const qsizetype crlf = raw.indexOf("\r\n\r\n");
    const qsizetype lf = raw.indexOf("\n\n");
    qsizetype end = -1, skip = 0;
    if (crlf >= 0 && (lf < 0 || crlf < lf)) {
        end = crlf;
        skip = 4;
    } else if (lf >= 0) {
        end = lf;
        skip = 2;
    }
    if (end < 0)
        return response;
    response.headed = true;
    response.bodyAt = end + skip;
    bool statusSet = false;
    for (QByteArray line : raw.left(end).split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray field = line.left(colon).trimmed().toLower();
        if (field == "status") {
            bool ok = false;
            const int code = trimmedValue(line, colon).split(' ').value(0).toInt(&ok);
            if (ok && code >= 100 && code <= 999) {
                response.status = code;
                statusSet = true;
            }
        } else if (field == "location") {
            response.location = trimmedValue(line, colon);
        } else if (field == "content-type") {
            response.contentType = trimmedValue(line, colon);
        } else if (field == "set-cookie") {
            response.cookies.append(trimmedValue(line, colon));
        }
    }
    // As a server does with a Location and no status of the script's own.
    if (!statusSet && !response.location.isEmpty())
        response.status = 302;
    return response;
}

bool redirectsToDocument(const QByteArray &location, const QString &script, QByteArray *query)
{
    const QString name = QFileInfo(script).fileName();
    const QUrl base(QStringLiteral("http://localhost/") + QString::fromUtf8(QUrl::toPercentEncoding(name)));
    const QUrl target = base.resolved(QUrl::fromEncoded(location.trimmed()));
    const bool hit = target.isValid() && target.scheme() == QLatin1String("http")
        && target.host() == QLatin1String("localhost") && (target.port() == -1 || target.port() == 80)
        && QDir::cleanPath(target.path()) == QLatin1Char('/') + name;
    if (hit && query)
        *query = target.hasQuery() ? target.query(QUrl::FullyEncoded).toLatin1() : QByteArray();
    return hit;
}

bool isPageType(const QByteArray &contentType)
{
    const QByteArray type = contentType.split(';').value(0).trimmed().toLower();
    return type.isEmpty() || type == "text/html" || type == "application/xhtml+xml";
}

void CookieJar::take(const QList<QByteArray> &setCookies, const QDateTime &now)
{
    for (const QByteArray &line : setCookies) {
        const QList<QByteArray> parts = line.split(';');
        const QByteArray pair = parts.value(0);
        const qsizetype equals = pair.indexOf('=');
        if (equals <= 0)
            continue;
        Cookie cookie{pair.left(equals).trimmed(), pair.mid(equals + 1).trimmed(), QDateTime()};
        bool maxAgeSeen = false;
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const QByteArray attribute = parts.at(i).trimmed();
            const qsizetype at = attribute.indexOf('=');
            const QByteArray key = (at < 0 ? attribute : attribute.left(at)).trimmed().toLower();
            const QByteArray value = at < 0 ? QByteArray() : attribute.mid(at + 1).trimmed();
            if (key == "max-age") {
                bool ok = false;
                const qint64 seconds = value.toLongLong(&ok);
                if (ok) {
                    cookie.expires = now.addSecs(seconds > 0 ? seconds : -1);
                    maxAgeSeen = true;
                }
            } else if (key == "expires" && !maxAgeSeen) {
                // "Thu, 01 Jan 1970 00:00:01 GMT" and its dashed form.
                QString date = QString::fromLatin1(value);
                date.replace(QLatin1Char('-'), QLatin1Char(' '));
                if (date.endsWith(QLatin1String(" GMT")) || date.endsWith(QLatin1String(" UTC")))
                    date = date.chopped(3) + QStringLiteral("+0000");
                const QDateTime when = QDateTime::fromString(date, Qt::RFC2822Date);
                if (when.isValid())
                    cookie.expires = when;
            }
        }
        m_cookies.removeIf([&](const Cookie &c) { return c.name == cookie.name; });
        if (!cookie.expires.isValid() || cookie.expires > now)
            m_cookies.append(cookie);
    }
}

QByteArray CookieJar::header(const QDateTime &now) const
{
    QByteArray text;
    for (const Cookie &c : m_cookies) {
        if (c.expires.isValid() && c.expires <= now)
            continue;
        if (!text.isEmpty())
            text += "; ";
        text += c.name + '=' + c.value;
    }
    return text;
}

namespace {

// "GET index.php?seite=2" for a link, "POST index.php" for a form.
QString requestHead(const WebRequest &request, const QString &name)
{
    const QString head = QString::fromLatin1(request.method) + QLatin1Char(' ') + name;
    return request.fields < 0 && !request.query.isEmpty() ? head + QLatin1Char('?') + QString::fromLatin1(request.query)
                                                          : head;
}

} // namespace

QString requestLabel(const WebRequest &request, const QString &name)
{
    const QString head = requestHead(request, name);
    if (request.fields < 0)
        return head;
    if (request.fields == 0)
        return head + QStringLiteral(" · keine Felder");
    return head + QStringLiteral(" · %1 %2").arg(request.fields).arg(request.fields == 1 ? QStringLiteral("Feld")
                                                                                         : QStringLiteral("Felder"));
}

QString responseNote(const WebRequest &request, const QString &name, const CgiResponse &response, bool followed)
{
    const QString head = requestHead(request, name);
    if (!response.headed)
        return head + QStringLiteral(" → keine Antwort des CGI-Interpreters");
    QStringList said;
    if (response.status != 200 && !followed) {
        QString status = QString::number(response.status);
        if (!response.location.isEmpty())
            status += QStringLiteral(" nach ") + QString::fromUtf8(response.location);
        said << status;
    }
    if (!isPageType(response.contentType))
        said << QStringLiteral("kein HTML (%1)").arg(QString::fromLatin1(response.contentType.split(';').value(0).trimmed()));
    return said.isEmpty() ? QString() : head + QStringLiteral(" → ") + said.join(QStringLiteral(", "));
}
