// TWebBrowser: preview pane over Qt WebEngine, with an off-the-record profile of its own.
#include "WebBrowser.h"

#include <QWebEngineProfile>
#include <QWebEngineSettings>

namespace {
const QString kBlank = QStringLiteral("about:blank");
}

TWebBrowserPage::TWebBrowserPage(QWebEngineProfile *profile, TWebBrowser *browser)
    : QWebEnginePage(profile, browser), m_browser(browser)
{
}

bool TWebBrowserPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool)
{
    const QString text = url.toString();
    // The program's own request for an empty pane passes; a page's way to about:blank does not.
    if (text == kBlank && m_browser->m_ownBlankPending) {
        m_browser->m_ownBlankPending = false;
        return true;
    }
    bool cancel = false;
    if (m_browser->OnBeforeNavigate2)
        m_browser->OnBeforeNavigate2(text, cancel);
    return !cancel;
}

QWebEnginePage *TWebBrowserPage::createWindow(WebWindowType)
{
    return nullptr;
}

TWebBrowser::TWebBrowser(QWidget *parent) : QWebEngineView(parent)
{
    // Off the record: no disk cache, so a rewritten output file is always read afresh.
    auto *profile = new QWebEngineProfile;
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    auto *page = new TWebBrowserPage(profile, this);
    // Owned by the page, the profile goes only after the page is gone.
    profile->setParent(page);
    QWebEngineSettings *settings = page->settings();
    settings->setDefaultTextEncoding(QStringLiteral("UTF-8"));
    // Nothing the preview needs: each would only add work to every run's page load.
    settings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    settings->setAttribute(QWebEngineSettings::TouchIconsEnabled, false);
    settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    settings->setAttribute(QWebEngineSettings::ScrollAnimatorEnabled, false);
    setPage(page);
    setCursor(Qt::ArrowCursor);
}

TWebBrowser::~TWebBrowser() = default;

void TWebBrowser::Navigate(const QString &target)
{
    if (target == kBlank) {
        m_ownBlankPending = true;
        load(QUrl(kBlank));
        return;
    }
    const QUrl url = QUrl::fromLocalFile(target);
    load(url);
}
