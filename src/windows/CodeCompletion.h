// TCodeCompletion: the editor's list of what fits the word before the caret, and the tip with
// the parameters of the call the caret is in. The keyboard stays with the editor throughout:
// the list takes Up, Down, Page Up/Down, Tab and Escape while it shows, every other key is the
// editor's (Enter still runs the preview and breaks the line).
#pragma once

#include "core/PhpCompletion.h"

#include <QObject>

#include <functional>
#include <memory>

class QKeyEvent;
class QLabel;
class QListWidget;
class QTimer;
class TCodeEdit;

class TCodeCompletion : public QObject
{
    Q_OBJECT
public:
    static constexpr int VisibleRows = 10;
    // Up to this many characters the names are read at the key (a few milliseconds), beyond
    // it after typing pauses.
    static constexpr int ScanAtKey = 256 * 1024;
    static constexpr int ScanPause = 300; // ms
    using CatalogSource = std::function<std::shared_ptr<const PhpCatalog>()>;

    // catalog gives the interpreter's names, or null while they are not at hand.
    TCodeCompletion(TCodeEdit *editor, CatalogSource catalog);

    QListWidget *list() const { return m_list; }
    QLabel *tip() const { return m_tip; }
    bool listShown() const;
    bool tipShown() const;

    // Ctrl+Space: the list for the word before the caret, whatever its length.
    void openList();
    // Ctrl+Shift+Space: the tip of the call the caret is in.
    void openTip();
    void closeList();
    void closeTip();
    // The interpreter's names came: a list that shows takes them in.
    void catalogArrived();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool listKey(QKeyEvent *event);
    void afterKey(const QString &typed);
    CompletionSite siteAtCaret() const;
    const DocumentNames &names();
    // Fills the list for the caret's site; asked: opened by its key, not by typing.
    void fill(bool asked);
    void accept();
    void followTip();
    void place(QWidget *popup, bool above);
    void ensureWidgets();

    TCodeEdit *m_editor;
    CatalogSource m_catalog;
    QListWidget *m_list = nullptr;
    QLabel *m_tip = nullptr;
    bool m_asked = false;          // the list shows by Ctrl+Space
    int m_waiting = -1;            // the caret where nothing fitted before the interpreter's names came
    CompletionSite m_site;         // the site the list shows for
    // The document's names as of m_namesRevision. A large document is scanned off the window's
    // thread once typing pauses; until then its last names stand in.
    std::optional<DocumentNames> m_names;
    int m_namesRevision = -1;
    bool m_scanning = false;
    QTimer *m_scanLater = nullptr;
    int m_tipWaiting = -1; // the caret where the tip found no routine before the names came
    void scanInBackground();
    void namesArrived();
    // A large document's names are behind its text: a scan will bring them.
    bool namesPending() const;
};
