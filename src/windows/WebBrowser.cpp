// TWebBrowser: preview pane over Qt WebEngine, with an off-the-record profile of its own.
#include "WebBrowser.h"

#include "platform/EngineClipboard.h"
#include "platform/WebEngineSetup.h"

#include <QApplication>
#include <QChildEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QFile>
#include <QWebChannel>
#include <QMenu>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QPointer>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineSettings>

#include <atomic>

namespace {
const QString kBlank = QStringLiteral("about:blank");
}

// Serves the shown page's relative addresses from the document's folder.
class PreviewAddressMap : public QWebEngineUrlRequestInterceptor
{
public:
    explicit PreviewAddressMap(QObject *parent) : QWebEngineUrlRequestInterceptor(parent) {}

    void setFolder(const QString &folder)
    {
        QMutexLocker lock(&m_mutex);
        m_folder = folder.isEmpty() ? QString() : QFileInfo(folder).canonicalFilePath();
    }

    // The local page being shown: its own folder is the one its relative addresses name.
    void setPage(const QString &path)
    {
        QMutexLocker lock(&m_mutex);
        const QFileInfo page(path);
        m_pageFolder = path.isEmpty() ? QString() : page.absolutePath() + QLatin1Char('/');
        m_pageName = page.fileName();
    }

    int refused() const { return m_refused; }

    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        const QUrl url = info.requestUrl();
        if (!knownKind(info.resourceType()) || !ownScheme(url)) {
            refuse(info);
            return;
        }
        if (!url.isLocalFile() || info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
            return;
        // What the page loads from the disk (images, styles, scripts, frames, fetch and XHR)
        // comes from the document's folder, by an address relative to the output page, and from
        // nowhere else: not from beside the scratch folder, not by an absolute path.
        QString folder, pageFolder, pageName;
        {
            QMutexLocker lock(&m_mutex);
            folder = m_folder;
            pageFolder = m_pageFolder;
            pageName = m_pageName;
        }
        const QString path = QDir::cleanPath(url.toLocalFile());
        if (pageFolder.isEmpty() || !path.startsWith(pageFolder)) {
            // Where a relative address was sent below (or the folder named outright): the
            // document's folder itself, without a link out of it.
            const QString real = QFileInfo(path).canonicalFilePath();
            if (folder.isEmpty() || real.isEmpty() || !real.startsWith(folder + QLatin1Char('/')))
                refuse(info);
            return;
        }
        const QString relative = path.mid(pageFolder.size());
        if (relative == pageName)
            return;
        if (relative.isEmpty() || folder.isEmpty()) {
            refuse(info);
            return;
        }
        // Links are followed, but what they lead to must lie inside the folder too.
        const QString target = QFileInfo(folder + QLatin1Char('/') + relative).canonicalFilePath();
        if (target.isEmpty() || !target.startsWith(folder + QLatin1Char('/'))) {
            refuse(info);
            return;
        }
        // Where the page's folder is the document's own, the address is already the file's: a
        // redirect to the same address is one the engine does not survive.
        if (target != path)
            info.redirect(QUrl::fromLocalFile(target));
    }

private:
    // What a page asks for is its own document or frame, or what a web page loads: styles,
    // scripts, images, fonts, media, workers, fetch and XHR. A beacon, a report, a socket (a
    // channel out in both directions), a service worker or a kind the engine adds later is none.
    static bool knownKind(QWebEngineUrlRequestInfo::ResourceType type)
    {
        using R = QWebEngineUrlRequestInfo;
        switch (type) {
        case R::ResourceTypeMainFrame:
        case R::ResourceTypeSubFrame:
        case R::ResourceTypeStylesheet:
        case R::ResourceTypeScript:
        case R::ResourceTypeImage:
        case R::ResourceTypeFontResource:
        case R::ResourceTypeSubResource:
        case R::ResourceTypeObject:
        case R::ResourceTypeMedia:
        case R::ResourceTypeWorker:
        case R::ResourceTypeSharedWorker:
        case R::ResourceTypePrefetch:
        case R::ResourceTypeFavicon:
        case R::ResourceTypeXhr:
        case R::ResourceTypePluginResource:
            return true;
        default:
            return false;
        }
    }

    // The page is a file of the disk: what it loads is too, or what the page holds itself. No
    // address of the network is asked for, by the page or by a frame it made.
    static bool ownScheme(const QUrl &url)
    {
        const QString scheme = url.scheme();
        return scheme == QLatin1String("file") || scheme == QLatin1String("data") || scheme == QLatin1String("blob")
            || scheme == QLatin1String("about");
    }

    void refuse(QWebEngineUrlRequestInfo &info)
    {
        info.block(true);
        ++m_refused;
    }

    std::atomic<int> m_refused{0};
    QMutex m_mutex;
    QString m_folder;
    QString m_pageFolder; // ends in "/"
    QString m_pageName;
};

TWebBrowserPage::TWebBrowserPage(QWebEngineProfile *profile, TWebBrowser *browser)
    : QWebEnginePage(profile, browser), m_browser(browser)
{
}

bool TWebBrowserPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool)
{
    // A link with a query may be a request of the document: then it runs, and the page stays.
    if (type == NavigationTypeLinkClicked && url.hasQuery() && m_browser->OnDocumentRequest) {
        WebRequest request;
        request.fields = -1;
        if (m_browser->OnDocumentRequest(url, request))
            return false;
    }
    const QString text = url.toString();
    bool cancel = false;
    if (m_browser->OnBeforeNavigate2)
        m_browser->OnBeforeNavigate2(text, cancel);
    return !cancel;
}

void TWebBrowserPage::javaScriptAlert(const QUrl &, const QString &) {}

bool TWebBrowserPage::javaScriptConfirm(const QUrl &, const QString &)
{
    return false;
}

bool TWebBrowserPage::javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *)
{
    return false;
}

QWebEnginePage *TWebBrowserPage::createWindow(WebWindowType)
{
    return nullptr;
}

void TWebFormBridge::submit(const QString &action, const QString &method, const QString &contentType,
                            const QString &body, int fields)
{
    if (!m_browser->OnDocumentRequest)
        return;
    WebRequest request;
    request.method = method == QLatin1String("POST") ? "POST" : "GET";
    if (request.method == "POST") {
        request.contentType = contentType.toLatin1();
        request.body = QByteArray::fromBase64(body.toLatin1());
    }
    request.fields = qMax(0, fields);
    m_browser->OnDocumentRequest(QUrl(action), request);
}

namespace {

// Every form submitted in every frame is taken by its submit event, after the page's own
// handlers (one that prevents it keeps it), and handed over with its fields encoded by the
// engine, as the submission itself would encode them. In a world of its own: the page can
// neither reach the bridge nor change what the script sees.
QString formScript()
{
    QFile channel(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!channel.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(channel.readAll()) + QStringLiteral(R"JS(
(function () {
  var bridge = null, waiting = [];
  var channel = new QWebChannel(qt.webChannelTransport, function (channel) {
    bridge = channel.objects.korlithForms;
    waiting.forEach(function (go) { go(); });
    waiting = [];
  });
  // The page's frames, and a page that replaced the one before while it was being answered,
  // share one transport: an answer to another channel's question is not this one's to take.
  var answer = channel.handleResponse;
  channel.handleResponse = function (message) {
    if (typeof channel.execCallbacks[message.id] === 'function') answer(message);
  };
  function send(action, method, type, body, fields) {
    var go = function () { bridge.submit(action, method, type, body, fields); };
    if (bridge) go(); else waiting.push(go);
  }
  function base64(bytes) {
    var text = '';
    for (var i = 0; i < bytes.length; i += 0x8000)
      text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(text);
  }
  function named(value) { return value instanceof File ? value.name : value; }
  function urlencoded(entries) {
    var params = new URLSearchParams();
    entries.forEach(function (e) { params.append(e[0], named(e[1])); });
    return params.toString();
  }
  window.addEventListener('submit', function (event) {
    var form = event.target;
    if (event.defaultPrevented || !(form instanceof HTMLFormElement)) return;
    var by = event.submitter;
    var own = function (name) { return by && by.hasAttribute(name); };
    var method = ((own('formmethod') ? by.getAttribute('formmethod') : form.getAttribute('method')) || 'get').toLowerCase();
    if (method === 'dialog') return;
    var action = own('formaction') ? by.formAction : form.action;
    var enctype = own('formenctype') ? by.formEnctype : form.enctype;
    var data = new FormData(form);
    if (by && by.name) data.append(by.name, by.value);
    var entries = Array.from(data.entries());
    event.preventDefault();
    if (method !== 'post') {
      var url = new URL(action);
      url.search = urlencoded(entries);
      send(url.href, 'GET', '', '', entries.length);
    } else if (enctype === 'multipart/form-data') {
      var response = new Response(data);
      var type = response.headers.get('content-type');
      response.arrayBuffer().then(function (buffer) {
        send(action, 'POST', type, base64(new Uint8Array(buffer)), entries.length);
      });
    } else if (enctype === 'text/plain') {
      var text = entries.map(function (e) { return e[0] + '=' + named(e[1]) + '\r\n'; }).join('');
      send(action, 'POST', 'text/plain', base64(new TextEncoder().encode(text)), entries.length);
    } else {
      send(action, 'POST', 'application/x-www-form-urlencoded',
           base64(new TextEncoder().encode(urlencoded(entries))), entries.length);
    }
  });
})();
)JS");
}

} // namespace

TWebBrowserPage *TWebBrowser::makePage(QWebEngineProfile *profile)
{
    auto *page = new TWebBrowserPage(profile, this);
    page->setBackgroundColor(emptyColour());
    // Owned by the page shown, the profile goes only after the last page is gone.
    profile->setParent(page);
    QWebEngineSettings *settings = page->settings();
    settings->setDefaultTextEncoding(QStringLiteral("UTF-8"));
    // Nothing the preview needs: each would only add work to every run's page load.
    settings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    settings->setAttribute(QWebEngineSettings::TouchIconsEnabled, false);
    settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    settings->setAttribute(QWebEngineSettings::ScrollAnimatorEnabled, false);
    // Peer connections are a way out that no request passes: every frame of every page finds
    // none, before its own scripts run.
    QWebEngineScript noPeers;
    noPeers.setName(QStringLiteral("KorlithNoPeerConnections"));
    noPeers.setInjectionPoint(QWebEngineScript::DocumentCreation);
    noPeers.setWorldId(QWebEngineScript::MainWorld);
    noPeers.setRunsOnSubFrames(true);
    noPeers.setSourceCode(QStringLiteral(
        "(function () {"
        "  for (const name of ['RTCPeerConnection', 'webkitRTCPeerConnection', 'RTCDataChannel',"
        "                      'RTCSessionDescription', 'RTCIceCandidate']) {"
        "    try { Object.defineProperty(window, name, {value: undefined, writable: false, configurable: false}); }"
        "    catch (e) {}"
        "  }"
        "})();"));
    page->scripts().insert(noPeers);
    auto *channel = new QWebChannel(page);
    channel->registerObject(QStringLiteral("korlithForms"), m_forms);
    page->setWebChannel(channel, QWebEngineScript::ApplicationWorld);
    QWebEngineScript forms;
    forms.setName(QStringLiteral("KorlithForms"));
    forms.setInjectionPoint(QWebEngineScript::DocumentCreation);
    forms.setWorldId(QWebEngineScript::ApplicationWorld);
    forms.setRunsOnSubFrames(true);
    forms.setSourceCode(formScript());
    page->scripts().insert(forms);
    // The menu's copy and select are the user's own commands.
    for (const QWebEnginePage::WebAction copying : {QWebEnginePage::Copy, QWebEnginePage::Cut})
        connect(page->action(copying), &QAction::triggered, this, [] { platform::EngineClipboard::grantCopy(); });
    connect(page->action(QWebEnginePage::SelectAll), &QAction::triggered, this,
            [] { platform::EngineClipboard::grantSelection(); });
    return page;
}

TWebBrowser::TWebBrowser(QWidget *parent)
    : QWebEngineView(parent), m_addresses(new PreviewAddressMap(this)), m_forms(new TWebFormBridge(this))
{
    m_forms->setParent(this);
    // Until the engine runs, the pane is the empty page it will show.
    setAutoFillBackground(true);
    QPalette blank = palette();
    blank.setColor(QPalette::Window, emptyColour());
    setPalette(blank);
    m_engineStart.setSingleShot(true);
    connect(&m_engineStart, &QTimer::timeout, this, &TWebBrowser::startEngine);
    if (!platform::webEngineMayStartLate())
        startEngine();
    setCursor(Qt::ArrowCursor);
    connect(this, &QWebEngineView::urlChanged, this, [this](const QUrl &url) { apply(m_navigation.urlChanged(url)); });
    // A page that runs an endless loop answers nothing, and no later page would replace it.
    m_answerWait.setSingleShot(true);
    m_answerWait.setInterval(3000);
    connect(&m_answerWait, &QTimer::timeout, this, [this] { apply(m_navigation.answerWaitOver()); });
    connect(this, &QWebEngineView::loadFinished, this, [this](bool ok) { apply(m_navigation.loadFinished(ok, url())); });
}

TWebBrowser::~TWebBrowser() = default;

bool TWebBrowser::engineStarted() const
{
    return m_navigation.engineRunning();
}

void TWebBrowser::startEngine()
{
    if (m_navigation.engineRunning())
        return;
    // Off the record: no disk cache, so a rewritten output file is always read afresh.
    auto *profile = new QWebEngineProfile;
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_addresses->setParent(profile);
    profile->setUrlRequestInterceptor(m_addresses);
    setPage(makePage(profile));
    apply(m_navigation.engineStarted());
}

void TWebBrowser::paintEvent(QPaintEvent *event)
{
    QWebEngineView::paintEvent(event);
    // The engine's start takes longer than all the rest of the program's: it begins once the
    // window has been painted, so that the window is there at once.
    m_painted = true;
    if (!m_navigation.engineRunning() && m_engineWanted)
        m_engineStart.start(0);
}

void TWebBrowser::warmUp()
{
    if (m_navigation.engineRunning() || m_engineWanted)
        return;
    m_engineWanted = true;
    if (m_painted)
        m_engineStart.start(WarmUpAfterMs);
}

// The view's own show and hide events reach for its page, which would start the engine with a
// default page of its own: before the engine runs, they are a plain widget's.
void TWebBrowser::showEvent(QShowEvent *event)
{
    if (m_navigation.engineRunning())
        QWebEngineView::showEvent(event);
    else
        QWidget::showEvent(event);
}

void TWebBrowser::hideEvent(QHideEvent *event)
{
    if (m_navigation.engineRunning())
        QWebEngineView::hideEvent(event);
    else
        QWidget::hideEvent(event);
}

// A drag over the pane reaches for its page as well: before the engine runs, the empty pane
// takes no drop.
bool TWebBrowser::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
        if (!m_navigation.engineRunning()) {
            event->ignore();
            return true;
        }
        break;
    default:
        break;
    }
    return QWebEngineView::event(event);
}

void TWebBrowser::Navigate(const QString &target)
{
    m_addresses->setPage(target == kBlank ? QString() : target);
    apply(m_navigation.navigate(target == kBlank ? QUrl(kBlank) : QUrl::fromLocalFile(target)));
}

QColor TWebBrowser::emptyColour() const
{
    return palette().color(QPalette::Base);
}

QColor TWebBrowser::backgroundFor(const QUrl &url) const
{
    // The empty pane is the editor's background; a page has a browser's white under its own
    // colours, as it would have anywhere else.
    return url.isEmpty() || url == QUrl(kBlank) ? emptyColour() : QColor(Qt::white);
}

void TWebBrowser::changeEvent(QEvent *event)
{
    QWebEngineView::changeEvent(event);
    if (event->type() != QEvent::PaletteChange && event->type() != QEvent::ApplicationPaletteChange)
        return;
    // A theme changed meanwhile: the empty pane follows it.
    QPalette blank = palette();
    if (blank.color(QPalette::Window) != emptyColour()) {
        blank.setColor(QPalette::Window, emptyColour());
        setPalette(blank);
    }
    if (m_navigation.engineRunning())
        page()->setBackgroundColor(backgroundFor(m_navigation.keep()));
}

void TWebBrowser::apply(const PaneNavigation::Step &step)
{
    using Do = PaneNavigation::Step::Do;
    switch (step.action) {
    case Do::Nothing:
        break;
    case Do::StartEngineSoon:
        // The empty page asked for before any other is what the pane shows without the engine.
        if (m_navigation.pending() == QUrl(kBlank) && m_navigation.shown().isEmpty())
            break;
        // After the pane's first paint, or a moment later where the pane is not shown.
        m_engineWanted = true;
        if (m_painted && isVisible())
            m_engineStart.start(0);
        else if (!m_engineStart.isActive())
            m_engineStart.start(StartAtTheLatestMs);
        break;
    case Do::Load: {
        page()->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
        page()->setBackgroundColor(backgroundFor(step.url));
        // The page shown so far must answer, or the new one load, before the wait is over.
        const QPointer<TWebBrowser> self(this);
        const quint64 probe = step.probe;
        page()->runJavaScript(QStringLiteral("0"), [self, probe](const QVariant &) {
            if (self)
                self->apply(self->m_navigation.answered(probe));
        });
        m_answerWait.start();
        load(step.url);
        break;
    }
    case Do::ReplacePage: {
        QWebEnginePage *hung = page();
        setPage(makePage(hung->profile()));
        delete hung;
        page()->setBackgroundColor(backgroundFor(step.url));
        if (!step.url.isEmpty())
            load(step.url);
        break;
    }
    case Do::AskLoaded: {
        // Asked in a world of the program's own, which a page's scripts being off leaves on.
        const QPointer<TWebBrowser> self(this);
        const QPointer<QWebEnginePage> asked(page());
        QTimer::singleShot(step.askAfterMs, this, [self, asked] {
            if (!self || asked != self->page())
                return;
            asked->runJavaScript(QStringLiteral("document.readyState === 'complete' ? location.href : ''"),
                                 QWebEngineScript::ApplicationWorld, [self, asked](const QVariant &address) {
                                     // A page going away answers with nothing, maybe while
                                     // the pane itself goes.
                                     if (address.isValid() && self && asked == self->page())
                                         self->apply(self->m_navigation.pageLoaded(QUrl(address.toString())));
                                 });
        });
        break;
    }
    case Do::Restore: {
        if (!step.scripts)
            page()->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        const QUrl keep = step.url;
        QMetaObject::invokeMethod(this, [this, keep] { load(keep); }, Qt::QueuedConnection);
        break;
    }
    }
}

int TWebBrowser::refusedRequests() const
{
    return m_addresses->refused();
}

void TWebBrowser::setDocumentFolder(const QString &folder)
{
    m_addresses->setFolder(folder);
}

void TWebBrowser::childEvent(QChildEvent *event)
{
    QWebEngineView::childEvent(event);
    if (event->added() && event->child()->isWidgetType())
        event->child()->installEventFilter(this);
}

bool TWebBrowser::eventFilter(QObject *watched, QEvent *event)
{
    using platform::EngineClipboard::grantCopy;
    using platform::EngineClipboard::grantSelection;
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut))
            grantCopy();
        else if (key->matches(QKeySequence::SelectAll)
                 || ((key->modifiers() & Qt::ShiftModifier) && key->key() >= Qt::Key_Home && key->key() <= Qt::Key_PageDown))
            grantSelection();
        break;
    }
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton) {
            m_pressed = true;
            m_pressedAt = mouse->position().toPoint();
        }
        break;
    }
    case QEvent::MouseMove: {
        // A drag selects; a click alone does not, whatever the page's scripts then select.
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (m_pressed && (mouse->buttons() & Qt::LeftButton)
            && (mouse->position().toPoint() - m_pressedAt).manhattanLength() >= QApplication::startDragDistance())
            grantSelection();
        break;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            m_pressed = false;
        break;
    case QEvent::MouseButtonDblClick:
        grantSelection();
        break;
    default:
        break;
    }
    return QWebEngineView::eventFilter(watched, event);
}

void TWebBrowser::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_navigation.engineRunning())
        return;
    QMenu *menu = createStandardContextMenu();
    const QWebEnginePage::WebAction leaving[] = {
        QWebEnginePage::Back, QWebEnginePage::Forward, QWebEnginePage::Reload, QWebEnginePage::ReloadAndBypassCache,
        QWebEnginePage::ViewSource, QWebEnginePage::OpenLinkInThisWindow, QWebEnginePage::OpenLinkInNewWindow,
        QWebEnginePage::OpenLinkInNewTab, QWebEnginePage::OpenLinkInNewBackgroundTab, QWebEnginePage::SavePage,
        QWebEnginePage::DownloadLinkToDisk, QWebEnginePage::DownloadImageToDisk, QWebEnginePage::DownloadMediaToDisk,
        QWebEnginePage::InspectElement};
    for (const QWebEnginePage::WebAction action : leaving)
        menu->removeAction(pageAction(action));
    // Copying and selecting are always offered, as in an editor's menu.
    for (const QWebEnginePage::WebAction action : {QWebEnginePage::Copy, QWebEnginePage::SelectAll})
        if (!menu->actions().contains(pageAction(action)))
            menu->addAction(pageAction(action));
    // No separator at either end or twice in a row.
    QAction *previous = nullptr;
    for (QAction *action : menu->actions()) {
        if (action->isSeparator() && (!previous || previous->isSeparator()))
            menu->removeAction(action);
        else
            previous = action;
    }
    if (previous && previous->isSeparator())
        menu->removeAction(previous);
    if (menu->actions().isEmpty()) {
        delete menu;
        return;
    }
    menu->setObjectName(QStringLiteral("WebBrowserMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
