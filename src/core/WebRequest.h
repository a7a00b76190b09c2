// WebRequest: a request of the page to its own document, run as a web server runs it through
// PHP's CGI interpreter; and what comes back: headers, body, cookies.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

struct WebRequest
{
    QByteArray method = "GET"; // GET or POST
    QByteArray query;          // without its "?", as the page encoded it
    QByteArray contentType;    // of the body, POST only
    QByteArray body;
    int fields = 0;            // the form's fields, for the status bar; -1: a link or a redirect
};

// Where the document stands for the page: the output page's file and the script as the run
// named it.
struct DocumentAddress
{
    QString page;   // the output file shown
    QString script; // the script's path as the run saw it
};

// Whether an address the page asks for is a request of the document: the page itself (an empty
// action, "#…", "?…"), the document's file name beside the page or in its own folder, or its
// PHP_SELF (the script's path under the CLI, "/" and its name under CGI). Sets query to what
// follows "?" (encoded as it came).
bool leadsToDocument(const QUrl &url, const DocumentAddress &at, QByteArray *query = nullptr);

// The variables a web server sets for the CGI interpreter, the document's folder its root.
// cookie: the Cookie header's value; empty for none.
QList<QPair<QByteArray, QByteArray>> cgiVariables(const WebRequest &request, const QString &script,
                                                  const QByteArray &cookie);

// The CGI interpreter's answer: its headers (up to the first empty line) and the body after them.
struct CgiResponse
{
    bool headed = false;        // the headers ended: a response at all
    int status = 200;
    QByteArray location;        // a Location header; empty when none
    QByteArray contentType;
    QList<QByteArray> cookies;  // the Set-Cookie headers, in their order
    qsizetype bodyAt = 0;       // where the body begins in what was read
};
CgiResponse parseCgiResponse(const QByteArray &raw);
// Whether a response's Location leads back to the document, as the browser resolves it against
// the request's address (http://localhost/NAME); sets query as for leadsToDocument.
bool redirectsToDocument(const QByteArray &location, const QString &script, QByteArray *query = nullptr);
// Whether a content type is a page: text/html or the XHTML types; none at all counts as one.
bool isPageType(const QByteArray &contentType);

// The cookies the document set, for its next request: as a browser keeps them for one site,
// without paths or domains (every request goes to the same document).
class CookieJar
{
public:
    void take(const QList<QByteArray> &setCookies, const QDateTime &now);
    QByteArray header(const QDateTime &now) const; // "a=1; b=2"; empty when none
    void clear() { m_cookies.clear(); }
    bool isEmpty() const { return m_cookies.isEmpty(); }

private:
    struct Cookie
    {
        QByteArray name, value;
        QDateTime expires; // invalid: until the session's end
    };
    QList<Cookie> m_cookies;
};

// The status bar's words: the request ("POST index.php · 2 Felder") and, when the answer was
// not a plain page, what it was ("POST index.php → 302 nach /login.php").
QString requestLabel(const WebRequest &request, const QString &name);
QString responseNote(const WebRequest &request, const QString &name, const CgiResponse &response,
                     bool followed);
