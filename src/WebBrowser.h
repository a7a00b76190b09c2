// TWebBrowser: the preview pane, a web view whose every navigation asks OnBeforeNavigate2 first.
#pragma once

#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>

class TWebBrowser;

class TWebBrowserPage : public QWebEnginePage
{
    Q_OBJECT
public:
    TWebBrowserPage(QWebEngineProfile *profile, TWebBrowser *browser);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    // Pages the output opens in new windows are never opened.
    QWebEnginePage *createWindow(WebWindowType type) override;

private:
    TWebBrowser *m_browser;
};

class TWebBrowser : public QWebEngineView
{
    Q_OBJECT
public:
    explicit TWebBrowser(QWidget *parent = nullptr);
    ~TWebBrowser() override;

    // Starts showing a local file path or "about:blank"; returns without waiting for the load.
    void Navigate(const QString &target);

    // Raised before every navigation, the program's and the page's own; set cancel to stop it.
    std::function<void(const QString &url, bool &cancel)> OnBeforeNavigate2;

private:
    friend class TWebBrowserPage;
    bool m_ownBlankPending = false;
};
