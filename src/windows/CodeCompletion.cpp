// TCodeCompletion: both popups are plain children of the editor's window, never windows of
// their own, so that they take no focus and sit right on every desktop (X11, Wayland).
#include "CodeCompletion.h"

#include "CodeEdit.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QPointer>
#include <QTextBlock>
#include <QThreadPool>
#include <QTimer>

namespace {

// The lines before the caret that a call's argument list may reach over.
constexpr int CallLines = 30;
constexpr int CallChars = 8000;
constexpr int TipInset = 4; // px kept free at the window's edges

// Marks that no signature holds, escaped apart from the text around them.
const QString MarkOn = QStringLiteral("\x01");
const QString MarkOff = QStringLiteral("\x02");

bool isCodeKind(SyntaxKind kind)
{
    switch (kind) {
    case SyntaxKind::Code:
    case SyntaxKind::Keyword:
    case SyntaxKind::Variable:
    case SyntaxKind::Constant:
    case SyntaxKind::Cast:
    case SyntaxKind::Number: return true;
    default: return false;
    }
}

} // namespace

TCodeCompletion::TCodeCompletion(TCodeEdit *editor, CatalogSource catalog)
    : QObject(editor), m_editor(editor), m_catalog(std::move(catalog))
{
    editor->installEventFilter(this);
    editor->viewport()->installEventFilter(this);
    m_scanLater = new QTimer(this);
    m_scanLater->setSingleShot(true);
    m_scanLater->setInterval(ScanPause);
    connect(m_scanLater, &QTimer::timeout, this, &TCodeCompletion::scanInBackground);
    connect(editor->document(), &QTextDocument::contentsChanged, this, [this] {
        // Only once the names were wanted: a large document nobody completes in costs nothing.
        if (m_names && m_editor->document()->characterCount() > ScanAtKey)
            m_scanLater->start();
    });
}

void TCodeCompletion::ensureWidgets()
{
    if (m_list)
        return;
    QWidget *window = m_editor->window();
    m_list = new QListWidget(window);
    m_list->setObjectName(QStringLiteral("Vervollstaendigung"));
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setUniformItemSizes(true);
    m_list->setFont(m_editor->font());
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->hide();
    connect(m_list, &QListWidget::itemClicked, this, [this] { accept(); });
    m_tip = new QLabel(window);
    m_tip->setObjectName(QStringLiteral("Parameterhilfe"));
    m_tip->setTextFormat(Qt::RichText); // the text is escaped: only the mark is markup
    m_tip->setFont(m_editor->font());
    m_tip->setAutoFillBackground(true);
    m_tip->setForegroundRole(QPalette::ToolTipText);
    m_tip->setBackgroundRole(QPalette::ToolTipBase);
    m_tip->setFrameShape(QFrame::Box);
    m_tip->setMargin(3);
    m_tip->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_tip->hide();
}

bool TCodeCompletion::listShown() const
{
    return m_list && m_list->isVisible();
}

bool TCodeCompletion::tipShown() const
{
    return m_tip && m_tip->isVisible();
}

void TCodeCompletion::closeList()
{
    if (m_list)
        m_list->hide();
    m_asked = false;
}

void TCodeCompletion::closeTip()
{
    if (m_tip)
        m_tip->hide();
}

bool TCodeCompletion::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_editor->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            closeList();
            closeTip();
        }
        return false;
    }
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // Keys the list or the tip takes are not the window's shortcuts meanwhile (Esc ends a run).
        auto *key = static_cast<QKeyEvent *>(event);
        const bool ours = (listShown() && (key->key() == Qt::Key_Escape || key->key() == Qt::Key_Tab
                                           || key->key() == Qt::Key_Up || key->key() == Qt::Key_Down
                                           || key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown))
                          || (tipShown() && key->key() == Qt::Key_Escape)
                          || (key->key() == Qt::Key_Space && (key->modifiers() & Qt::ControlModifier));
        if (ours)
            event->accept();
        return false;
    }
    case QEvent::KeyPress: {
        auto *key = static_cast<QKeyEvent *>(event);
        if (m_editor->isReadOnly())
            return false;
        if (key->key() == Qt::Key_Space && (key->modifiers() & Qt::ControlModifier)) {
            if (key->modifiers() & Qt::ShiftModifier)
                openTip();
            else
                openList();
            return true;
        }
        if (listShown() && listKey(key))
            return true;
        if (tipShown() && key->key() == Qt::Key_Escape && !listShown()) {
            closeTip();
            return true;
        }
        // The line break keeps its meaning; the list has nothing to do with it.
        if (isLineBreakKey(key))
            closeList();
        const QString typed = key->text();
        // Seen once the editor has taken the key.
        QMetaObject::invokeMethod(this, [this, typed] { afterKey(typed); }, Qt::QueuedConnection);
        return false;
    }
    case QEvent::FocusOut:
        closeList();
        closeTip();
        return false;
    case QEvent::Resize:
        closeList();
        closeTip();
        return false;
    default: return false;
    }
}

bool TCodeCompletion::listKey(QKeyEvent *event)
{
    const int rows = m_list->count();
    const int row = m_list->currentRow();
    switch (event->key()) {
    case Qt::Key_Escape: closeList(); return true;
    case Qt::Key_Tab: accept(); return true;
    case Qt::Key_Up: m_list->setCurrentRow(row > 0 ? row - 1 : rows - 1); return true;
    case Qt::Key_Down: m_list->setCurrentRow(row + 1 < rows ? row + 1 : 0); return true;
    case Qt::Key_PageUp: m_list->setCurrentRow(qMax(0, row - VisibleRows)); return true;
    case Qt::Key_PageDown: m_list->setCurrentRow(qMin(rows - 1, row + VisibleRows)); return true;
    default: return false;
    }
}

void TCodeCompletion::afterKey(const QString &typed)
{
    m_waiting = -1;
    if (listShown()) {
        fill(m_asked);
    } else if (typed.size() == 1) {
        const QChar c = typed[0];
        const CompletionSite site = siteAtCaret();
        const int letters = int(site.prefix.size()) - (site.kind == CompletionSite::Variable ? 1 : 0);
        const bool word = c.isLetterOrNumber() || c == QLatin1Char('_');
        if ((word && letters >= 2 && (site.kind == CompletionSite::Name || site.kind == CompletionSite::Variable))
            || ((c == QLatin1Char('>') || c == QLatin1Char(':'))
                && (site.kind == CompletionSite::Member || site.kind == CompletionSite::Static)))
            fill(false);
    }
    if (typed == QLatin1String("(") && !tipShown())
        openTip();
    else if (tipShown())
        followTip();
}

CompletionSite TCodeCompletion::siteAtCaret() const
{
    const QTextCursor caret = m_editor->textCursor();
    if (caret.hasSelection())
        return CompletionSite();
    const QTextBlock block = caret.block();
    const QTextBlock before = block.previous();
    const int start = before.isValid() ? SyntaxState::php(before.userState()) : SyntaxState::Html;
    return completionSite(block.text(), m_editor->syntaxOf(block), start, caret.positionInBlock());
}

const DocumentNames &TCodeCompletion::names()
{
    const int revision = m_editor->document()->revision();
    const bool large = m_editor->document()->characterCount() > ScanAtKey;
    if (m_names && (m_namesRevision == revision || large))
        return *m_names;
    if (large) {
        // The interpreter's names meanwhile; the document's follow into a list that shows.
        static const DocumentNames none;
        scanInBackground();
        return none;
    }
    m_names = scanDocumentNames(m_editor->editorFormText());
    m_namesRevision = revision;
    return *m_names;
}

bool TCodeCompletion::namesPending() const
{
    return m_namesRevision != m_editor->document()->revision() && m_editor->document()->characterCount() > ScanAtKey;
}

void TCodeCompletion::namesArrived()
{
    const int caret = m_editor->textCursor().position();
    const bool here = m_editor->hasFocus();
    const bool waited = here && m_waiting == caret;
    m_waiting = -1;
    if (listShown() || waited)
        fill(m_asked);
    if (tipShown() || (here && m_tipWaiting == caret))
        openTip();
    m_tipWaiting = -1;
}

void TCodeCompletion::scanInBackground()
{
    if (m_scanning) {
        m_scanLater->start(); // after the scan under way
        return;
    }
    const int revision = m_editor->document()->revision();
    if (m_names && m_namesRevision == revision)
        return;
    m_scanning = true;
    QPointer<TCodeCompletion> self(this);
    QThreadPool::globalInstance()->start([self, revision, text = m_editor->editorFormText()] {
        auto names = std::make_shared<DocumentNames>(scanDocumentNames(text));
        QMetaObject::invokeMethod(qApp, [self, revision, names] {
            if (!self)
                return;
            self->m_scanning = false;
            self->m_names = std::move(*names);
            self->m_namesRevision = revision;
            self->namesArrived();
        });
    });
}

void TCodeCompletion::openList()
{
    fill(true);
}

void TCodeCompletion::catalogArrived()
{
    const bool waited = m_waiting == m_editor->textCursor().position() && m_editor->hasFocus();
    m_waiting = -1;
    if (listShown() || waited)
        fill(m_asked);
}

void TCodeCompletion::fill(bool asked)
{
    const CompletionSite site = siteAtCaret();
    if (site.kind == CompletionSite::None) {
        closeList();
        return;
    }
    const std::shared_ptr<const PhpCatalog> catalog = m_catalog ? m_catalog() : nullptr;
    const DocumentNames &known = names();
    const QList<CompletionItem> items
        = completions(site, catalog.get(), known, known.classAt(m_editor->textCursor().position()));
    // Typed out already, or nothing fits: nothing to offer unless asked. Where the interpreter's
    // names are still to come, they may fit once they are in.
    if (items.isEmpty() || (!asked && items.size() == 1 && items.first().text == site.prefix)) {
        closeList();
        if (!catalog || namesPending())
            m_waiting = m_editor->textCursor().position();
        return;
    }
    ensureWidgets();
    const QString current = m_list->currentItem() ? m_list->currentItem()->text() : QString();
    m_list->setUpdatesEnabled(false);
    m_list->clear();
    int width = 0;
    const QFontMetrics metrics(m_list->font());
    int keep = 0;
    for (const CompletionItem &item : items) {
        auto *row = new QListWidgetItem(item.text);
        row->setData(Qt::UserRole, int(item.kind));
        if (!item.detail.isEmpty())
            row->setToolTip(item.detail);
        m_list->addItem(row);
        if (item.text == current)
            keep = m_list->count() - 1;
        if (m_list->count() <= 200)
            width = qMax(width, metrics.horizontalAdvance(item.text));
    }
    m_list->setCurrentRow(keep);
    m_list->setUpdatesEnabled(true);
    const int rows = qMin(VisibleRows, int(items.size()));
    const int frame = 2 * m_list->frameWidth();
    const int rowHeight = qMax(m_list->sizeHintForRow(0), metrics.height());
    m_list->resize(qMin(width + 4 * metrics.averageCharWidth() + m_list->verticalScrollBar()->sizeHint().width(),
                        m_editor->width()) + frame,
                   rows * rowHeight + frame);
    m_site = site;
    m_asked = asked;
    place(m_list, false);
    m_list->show();
    m_list->raise();
}

void TCodeCompletion::accept()
{
    if (!listShown() || !m_list->currentItem())
        return;
    const QString text = m_list->currentItem()->text();
    const CompletionSite site = siteAtCaret();
    closeList();
    if (site.kind == CompletionSite::None)
        return;
    QTextCursor cursor = m_editor->textCursor();
    cursor.setPosition(cursor.block().position() + site.start, QTextCursor::KeepAnchor);
    cursor.insertText(text);
    m_editor->setTextCursor(cursor);
    if (tipShown())
        followTip();
}

void TCodeCompletion::openTip()
{
    ensureWidgets();
    m_tip->show(); // followTip hides it again where the caret is in no known call
    followTip();
}

void TCodeCompletion::followTip()
{
    const QTextCursor caret = m_editor->textCursor();
    QTextBlock block = caret.block();
    // The code before the caret, its strings, comments and HTML blanked, a bounded way back.
    QString code;
    int column = caret.positionInBlock();
    for (int n = 0; block.isValid() && n < CallLines && code.size() < CallChars; ++n, block = block.previous()) {
        QString line = block.text().left(column);
        for (const SyntaxRange &r : m_editor->syntaxOf(block)) {
            const int length = qMin(r.length, int(line.size()) - r.start);
            if (!isCodeKind(r.kind) && length > 0)
                line.replace(r.start, length, QString(length, QLatin1Char(' ')));
        }
        code.prepend(line + QLatin1Char('\n'));
        column = INT_MAX;
    }
    code.chop(1);
    const CallSite call = callSiteBefore(code);
    const std::shared_ptr<const PhpCatalog> catalog = m_catalog ? m_catalog() : nullptr;
    const DocumentNames &known = names();
    const std::optional<PhpRoutine> routine
        = calledRoutine(call, catalog.get(), known, known.classAt(caret.position()));
    if (!routine) {
        closeTip();
        m_tipWaiting = namesPending() ? caret.position() : -1;
        return;
    }
    QString text = routine->signature(call.argument, MarkOn, MarkOff).toHtmlEscaped();
    text.replace(MarkOn, QStringLiteral("<b><u>")).replace(MarkOff, QStringLiteral("</u></b>"));
    m_tip->setText(text);
    m_tip->setProperty("argument", call.argument);
    m_tip->setProperty("signature", routine->signature());
    // On one line where the window has room for it; else wrapped at its blanks, never cut off.
    m_tip->setWordWrap(false);
    m_tip->adjustSize();
    const int room = qMax(1, m_editor->window()->width() - 2 * TipInset);
    if (m_tip->width() > room) {
        m_tip->setWordWrap(true);
        m_tip->resize(room, m_tip->heightForWidth(room));
    }
    place(m_tip, true);
    m_tip->show();
    m_tip->raise();
}

void TCodeCompletion::place(QWidget *popup, bool above)
{
    QTextCursor start = m_editor->textCursor();
    if (popup == m_list)
        start.setPosition(start.block().position() + m_site.start);
    const QRect caret = m_editor->cursorRect(start);
    QWidget *window = m_editor->window();
    const QPoint below = m_editor->viewport()->mapTo(window, caret.bottomLeft() + QPoint(0, 2));
    const QPoint over = m_editor->viewport()->mapTo(window, caret.topLeft() - QPoint(0, 2));
    QPoint at = above ? over - QPoint(0, popup->height()) : below;
    // Inside the window: over the line where there is no room under it, and the other way.
    if (!above && at.y() + popup->height() > window->height())
        at.setY(over.y() - popup->height());
    if (above && at.y() < 0)
        at.setY(below.y() + (listShown() && popup != m_list ? m_list->height() : 0));
    at.setX(qBound(0, at.x(), qMax(0, window->width() - popup->width())));
    popup->move(at);
}
