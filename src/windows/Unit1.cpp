// TForm1: start-up reading of the settings, the live preview, the edit actions and the guard.
#include "Unit1.h"
#include "ui_Unit1.h"

#include "FileDialog.h"
#include "FindDialog.h"
#include "FormSupport.h"
#include "HTTPGet.h"
#include "CodeCompletion.h"
#include "CodeEdit.h"
#include "ReplaceDialog.h"
#include "URL.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "Preview.h"
#include "WebBrowser.h"
#include "core/AppSettings.h"
#include "core/Document.h"
#include "core/FileNameCodec.h"
#include "core/EditorText.h"
#include "core/Maker.h"
#include "core/PrinterText.h"
#include "platform/PrinterSurface.h"
#include "core/ScriptMessages.h"
#include "core/SettingsStore.h"
#include "platform/Registry.h"
#include "core/TextSearch.h"
#include "core/VersionCheck.h"
#include "platform/ErrorBox.h"
#include "platform/Fonts.h"
#include "platform/HelpViewer.h"
#include "platform/InterpreterProcess.h"
#include "platform/PrintSystem.h"
#include "platform/ClipboardAnswer.h"
#include "platform/ProgramEnd.h"
#include "platform/ScratchDir.h"
#include "platform/WindowFrames.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QShortcut>
#include <QWindow>
#include <QInputDialog>
#include <QLayout>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMessageBox>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QCloseEvent>
#include <QTextBlock>

#include <utility>

TForm1 *Form1 = nullptr;

namespace {
const QString kOpenFilter = QStringLiteral("PHP-Dateien (*.php;*.php3)|*.php;*.php3|Alle Dateien (*.*)|*.*");
} // namespace

// Before any file is chosen, the document's folder is the one Korlith was started in.
TForm1::TForm1(QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TForm1>()), m_document(QDir::currentPath())
{
    ui->setupUi(this);
    showCaption();
    setUpWidgets();
    setUpPreview();
    connectMenuHandlers();
    createComponents();
    connectEditActions();
    setUpRecoveryCopy();
    platform::guarded([this] { FormCreate(); });
}

// Fonts, bars and the splitter as the window is laid out.
void TForm1::setUpWidgets()
{
    setFont(platform::dialogFont());
    // The system's fixed-width font at the size of the window's font.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPixelSize(QFontInfo(font()).pixelSize());
    ui->memo1->setFont(fixed);
    ui->ToolBar1->setFixedHeight(26);
    ui->StatusBar1->setFixedHeight(19);
    m_statusText = new QLabel(QStringLiteral("Korlith by %1 - %2").arg(Maker::Name, Maker::WebSite), this);
    m_statusText->setObjectName(QStringLiteral("StatusBar1Panel"));
    m_statusText->setTextFormat(Qt::PlainText);
    ui->StatusBar1->addWidget(m_statusText, 1);
    // Beside the bar's messages, which cover its panel but not this.
    m_runCost = new QLabel(this);
    m_runCost->setObjectName(QStringLiteral("RunCostPanel"));
    m_runCost->setTextFormat(Qt::PlainText);
    m_runCost->setContentsMargins(6, 0, 6, 0);
    ui->StatusBar1->addPermanentWidget(m_runCost);
    ui->Splitter1->setSizes({369, width() - 369 - ui->Splitter1->handleWidth()});
    ui->Splitter1->setStretchFactor(1, 1);
    ui->Splitter1->handle(1)->setCursor(Qt::SplitHCursor);
}

// The preview: Enter and F5 hand it the text; its output comes back as marks and a status.
void TForm1::setUpPreview()
{
    ui->memo1->installEventFilter(this);
    m_preview = new Preview(ui->WebBrowser1, this);
    connect(m_preview, &Preview::shown, this, &TForm1::showOutput);
    connect(m_preview, &Preview::statusChanged, this, &TForm1::showRunStatus);
    // A form or a link of the page that leads to the document: run as its request. Shift+F5
    // runs the last one again with the text as it stands.
    connect(m_preview, &Preview::documentRequested, this,
            [this](const WebRequest &web) { platform::guarded([&] { Anfragen(web); }); });
    auto *repeatKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5), this);
    repeatKey->setObjectName(QStringLiteral("AnfrageWiederholen"));
    repeatKey->setContext(Qt::WindowShortcut);
    connect(repeatKey, &QShortcut::activated, this, [this] { platform::guarded([this] { AnfrageWiederholen(); }); });
    // Esc is the page's and the editor's own while no script runs.
    m_abortKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_abortKey->setContext(Qt::WindowShortcut);
    m_abortKey->setEnabled(false);
    connect(m_abortKey, &QShortcut::activated, this, [this] { platform::guarded([this] { Abbrechen(); }); });
    connect(m_preview, &Preview::runningChanged, m_abortKey, &QShortcut::setEnabled);
    // Completion asks the interpreter what it knows only when it is first wanted.
    m_catalogs = new platform::PhpCatalogSource(this);
    m_completion = new TCodeCompletion(ui->memo1, [this] {
        return m_catalogs->catalog(AppSettings::instance().interpreterPath());
    });
    connect(m_catalogs, &platform::PhpCatalogSource::arrived, m_completion, &TCodeCompletion::catalogArrived);
    connect(m_catalogs, &platform::PhpCatalogSource::unavailable, this,
            [this](const QString &message) { ui->StatusBar1->showMessage(message); });
    // The text parsed once typing pauses; a result for a text that has changed since is dropped
    // (the change brings its own check).
    m_syntaxCheck = new platform::SyntaxCheck(this);
    m_checkLater.setSingleShot(true);
    m_checkLater.setInterval(CheckAfterMs);
    connect(ui->memo1->document(), &QTextDocument::contentsChanged, &m_checkLater, qOverload<>(&QTimer::start));
    connect(&m_checkLater, &QTimer::timeout, this, [this] { platform::guarded([this] { SyntaxPruefen(); }); });
    connect(m_syntaxCheck, &platform::SyntaxCheck::checked, this, [this](const QList<ScriptMessage> &errors) {
        if (m_checkLater.isActive())
            return;
        m_markedScript = m_checkingScript;
        if (errors.isEmpty())
            ui->memo1->clearCheckMark();
        else
            ui->memo1->setCheckMark(errors.first().line, errors.first().text);
    });
    // A run's messages name the lines of its text; what is typed while it runs moves them.
    // The first edit brings the preview's engine up, so that the first run finds it ready; a
    // window nobody has typed into holds none of its processes.
    connect(ui->memo1->document(), &QTextDocument::contentsChange, ui->WebBrowser1, &TWebBrowser::warmUp);
    connect(ui->memo1->document(), &QTextDocument::contentsChange, this, [this](int position, int removed, int added) {
        if (m_preview->isRunning())
            m_runTrail.record(position, removed, added);
    });
}

void TForm1::connectMenuHandlers()
{
    connectHandler(ui->Jetztaktualisieren1, &TForm1::Jetztaktualisieren1Click);
    connectHandler(ui->Einstellungen1, &TForm1::Optionen1Click);
    connectHandler(ui->Beenden1, &TForm1::Beenden1Click);
    connectHandler(ui->Neu1, &TForm1::Neu1Click);
    // In this order: New first, then the tool button's own step (the next Save asks for a name).
    connectHandler(ui->ToolButton1, &TForm1::Neu1Click);
    connectHandler(ui->ToolButton1, &TForm1::ToolButton1Click);
    connectHandler(ui->ffnnen1, &TForm1::ffnnen1Click);
    connectHandler(ui->Speichern1, &TForm1::Speichern1Click);
    connectHandler(ui->ToolButton3, &TForm1::Speichern1Click);
    connectHandler(ui->Speichernunter1, &TForm1::Speichernunter1Click);
    connectHandler(ui->SearchFind1, &TForm1::SearchFind1Execute);
    connectHandler(ui->SearchReplace1, &TForm1::SearchReplace1Execute);

    connectHandler(ui->PrintDlg1, &TForm1::PrintDlg1Execute);
    connectHandler(ui->Hilfe2, &TForm1::Hilfe2Click);
    // F1 opens the help, as on every desktop; the menu entry stays as it is.
    auto *helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    helpKey->setContext(Qt::WindowShortcut);
    connect(helpKey, &QShortcut::activated, this, [this] { platform::guarded([this] { Hilfe2Click(); }); });
    // Keys of an editor beside the menus' own: a message names a line; a word is sought again.
    const auto windowKey = [this](const QKeySequence &key, const QString &name, auto handler) {
        auto *shortcut = new QShortcut(key, this);
        shortcut->setObjectName(name);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, handler] { platform::guarded([&] { handler(); }); });
    };
    windowKey(QKeySequence(Qt::CTRL | Qt::Key_G), QStringLiteral("GeheZuZeile"), [this] { GeheZuZeile(); });
    windowKey(QKeySequence(Qt::Key_F3), QStringLiteral("Weitersuchen"), [this] { Weitersuchen(false); });
    windowKey(QKeySequence(Qt::SHIFT | Qt::Key_F3), QStringLiteral("Zuruecksuchen"), [this] { Weitersuchen(true); });
    connectHandler(ui->KorlithOnline1, &TForm1::KorlithOnline1Click);
    connectHandler(ui->Updates1, &TForm1::Updates1Click);
    connectHandler(ui->Info1, &TForm1::Info1Click);
}

// The update check's HTTP client, the address link and the file and search dialogs.
void TForm1::createComponents()
{
    URL1 = new TURL(this);
    URL1->setObjectName(QStringLiteral("URL1"));
    URL1->setURL(Maker::WebSite);
    HTTPGet1 = new THTTPGet(this);
    HTTPGet1->setObjectName(QStringLiteral("HTTPGet1"));
    HTTPGet1->AcceptTypes = QStringLiteral("*/*");
    HTTPGet1->Agent = QStringLiteral("Presmark HTTPGet");
    HTTPGet1->BinaryData = false;
    HTTPGet1->URL = QStringLiteral("http://") + Maker::UpdateHost + Maker::UpdatePath;
    HTTPGet1->UseCache = false;
    HTTPGet1->WaitThread = false;
    // The version file is two short lines, perhaps followed by release notes: its first 64 KiB
    // are read, the rest is not fetched.
    HTTPGet1->MaxTextSize = 64 * 1024;
    HTTPGet1->CutText = true;
    HTTPGet1->OnDoneString = [this](QObject *sender, const QByteArray &result) { HTTPGet1DoneString(sender, result); };

    OpenDialog1 = new TFileDialog(TFileDialog::Open, kOpenFilter, this, QStringLiteral("OpenDialog1"));
    SaveDialog1 = new TFileDialog(TFileDialog::Save, QString(), this, QStringLiteral("SaveDialog1"));
    FindDialog1 = new TFindDialog(this);
    ReplaceDialog1 = new TReplaceDialog(this);
    connect(FindDialog1, &TFindDialog::find, this, [this] { platform::guarded([this] { SearchFind1FindDialogFind(); }); });
    connect(ReplaceDialog1, &TReplaceDialog::find, this,
            [this] { platform::guarded([this] { SearchReplace1ReplaceDialogFind(); }); });
    connect(ReplaceDialog1, &TReplaceDialog::replace, this,
            [this] { platform::guarded([this] { SearchReplace1Replace(false); }); });
    connect(ReplaceDialog1, &TReplaceDialog::replaceAll, this,
            [this] { platform::guarded([this] { SearchReplace1Replace(true); }); });
}

void TForm1::connectEditActions()
{
    // The standard edit actions act on the editor while it has the focus.
    auto onEditor = [this](void (QPlainTextEdit::*op)()) {
        return [this, op] {
            if (ui->memo1->hasFocus())
                (ui->memo1->*op)();
        };
    };
    connect(ui->EditUndo1, &QAction::triggered, this, onEditor(&QPlainTextEdit::undo));
    connect(ui->EditCut1, &QAction::triggered, this, onEditor(&QPlainTextEdit::cut));
    connect(ui->EditCopy1, &QAction::triggered, this, onEditor(&QPlainTextEdit::copy));
    connect(ui->EditPaste1, &QAction::triggered, this, [this] {
        if (ui->memo1->hasFocus())
            ui->memo1->pasteWhenAnswered();
    });
    connect(ui->memo1, &TCodeEdit::clipboardSilent, this, [this] {
        ui->StatusBar1->showMessage(QStringLiteral("Die Zwischenablage antwortet nicht: Das Programm, das sie hält, "
                                                   "reagiert nicht. Es wurde nichts eingefügt."), 10000);
    });
    connect(ui->EditSelectAll1, &QAction::triggered, this, onEditor(&QPlainTextEdit::selectAll));
    // Application-wide senders outlive this window: their connections have a context object of
    // their own, which goes before the window's children do, so no signal reaches a
    // half-destroyed window.
    m_appSenderContext = std::make_unique<QObject>();
    connect(qApp, &QApplication::focusChanged, m_appSenderContext.get(), [this] { updateActions(); });
    connect(ui->memo1, &QPlainTextEdit::textChanged, this, &TForm1::updateActions);
    connect(ui->memo1, &QPlainTextEdit::copyAvailable, this, &TForm1::updateActions);
    connect(ui->memo1, &QPlainTextEdit::undoAvailable, this, &TForm1::updateActions);
    // Asking the clipboard can mean a round trip to another program: only when it changes.
    // Asked without holding the window, in case that program does not answer.
    auto clipboardChanged = [this] {
        platform::whenClipboardAnswers(m_appSenderContext.get(), QClipboard::Clipboard, [this](platform::ClipboardAnswer answer) {
            ui->memo1->setClipboardOffersText(answer.hasText);
            updateActions();
        });
    };
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, m_appSenderContext.get(), clipboardChanged);
    clipboardChanged();
}

void TForm1::setUpRecoveryCopy()
{
    // Unsaved text is copied a moment after typing pauses, never on a key's own path, and while
    // typing goes on at most five seconds after the oldest change it does not hold (a crash
    // loses no more); a saved (or emptied) document needs no copy. An end by a signal writes
    // what is pending; the user's own Exit leaves none.
    m_recoveryPause.setSingleShot(true);
    m_recoveryPause.setInterval(1000);
    connect(&m_recoveryPause, &QTimer::timeout, this, &TForm1::keepRecoveryCopy);
    QTextDocument *document = ui->memo1->document();
    connect(document, &QTextDocument::contentsChanged, this, [this, document] {
        if (!document->isModified())
            return;
        if (!m_recoveryPause.isActive())
            m_recoveryDue.start();
        else if (m_recoveryDue.elapsed() >= 4000)
            return; // not put off again: it comes within the pause
        m_recoveryPause.start();
    });
    connect(document, &QTextDocument::modificationChanged, this, [this](bool modified) {
        if (!modified)
            noCopyNeeded();
    });
    connect(ui->memo1, &TCodeEdit::textTaken, this,
            [this](const QString &held, const QList<TextFormat::LineEnd> &lineEnds) {
                if (!ui->memo1->document()->isModified())
                    return;
                if (held.isEmpty())
                    m_copyWriter.remove();
                else
                    m_copyWriter.write({held, m_document.openedFile(), m_document.caption(), m_document.format(), lineEnds});
            });
    connect(qApp, &QCoreApplication::aboutToQuit, m_appSenderContext.get(), [this] {
        if (!m_userExit && (m_recoveryPause.isActive() || ui->memo1->isTaking()))
            keepRecoveryCopyNow();
        m_copyWriter.finish();
    });
}

TForm1::~TForm1()
{
    m_appSenderContext.reset();
    // The editor goes with the children, after this body; its last signals find nobody.
    ui->memo1->disconnect(this);
}

QPlainTextEdit *TForm1::memo1() const
{
    return ui->memo1;
}

TWebBrowser *TForm1::WebBrowser1() const
{
    return ui->WebBrowser1;
}

QAction *TForm1::action(const char *name) const
{
    return findChild<QAction *>(QString::fromLatin1(name));
}

void TForm1::connectHandler(QAction *action, void (TForm1::*handler)())
{
    connect(action, &QAction::triggered, this, [this, handler] { platform::guarded([&] { (this->*handler)(); }); });
}

QString TForm1::caption() const
{
    return m_document.caption();
}

void TForm1::showCaption()
{
    // Qt reads "[*]" as its modified marker; doubled, it shows as written.
    QString title = m_document.caption();
    setWindowTitle(title.replace(QLatin1String("[*]"), QLatin1String("[*][*]")));
}

void TForm1::updateActions()
{
    const bool focused = ui->memo1->hasFocus();
    const bool hasText = !ui->memo1->document()->isEmpty();
    const bool hasSelection = ui->memo1->textCursor().hasSelection();
    ui->EditUndo1->setEnabled(focused && ui->memo1->document()->isUndoAvailable());
    ui->EditCut1->setEnabled(focused && hasSelection && !ui->memo1->isReadOnly());
    ui->EditCopy1->setEnabled(focused && hasSelection);
    ui->EditPaste1->setEnabled(focused && ui->memo1->clipboardOffersText());
    ui->EditSelectAll1->setEnabled(focused && hasText);
    ui->SearchFind1->setEnabled(focused && hasText);
    ui->SearchReplace1->setEnabled(focused && hasText);
}

void TForm1::FormCreate()
{
    SettingsStore store = platform::programSettings();
    store.open();
    AppSettings &settings = AppSettings::instance();
    settings.setConfigured(isConfiguredValue(store.readString(SettingsStore::ValueConfigured)));
    settings.setInterpreterPath(store.readString(SettingsStore::ValueInterpreter));
    // Ours alone, and only where php-cgi lies elsewhere: a value of the wrong type is none.
    try {
        settings.setCgiInterpreterPath(store.readString(SettingsStore::ValueCgiInterpreter));
    } catch (const AppError &) {
        settings.setCgiInterpreterPath(QString());
    }
    store.close();
    ui->WebBrowser1->Navigate(QStringLiteral("about:blank"));
}

void TForm1::showEvent(QShowEvent *event)
{
    const bool first = !m_shownBefore;
    centreOnFirstShow(this, m_shownBefore);
    QMainWindow::showEvent(event);
    // Once the main window is on the screen and active: a prompt mapped before it could end
    // up beneath it, and the window manager's activation of the main window would take the
    // keyboard from it. Without a window manager nothing activates it: a moment later then.
    if (first) {
        m_formShowPending = true;
        QTimer::singleShot(0, this, [this] { runFormShowOnceActive(); });
    }
}

void TForm1::runFormShowOnceActive()
{
    // Now if the window has the keyboard, else on its activation (changeEvent), and without a
    // window manager a moment later.
    if (isActiveWindow())
        runFormShow();
    QTimer::singleShot(1000, this, [this] { runFormShow(); });
}

void TForm1::runFormShow()
{
    if (m_startAsks)
        return; // a start-up question has the keyboard: the prompt comes after it
    if (std::exchange(m_formShowPending, false))
        platform::guarded([this] { FormShow(); });
}

void TForm1::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        runFormShow();
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // Closing without saving has always been the user's choice: no copy outlives it.
    m_userExit = true;
    noCopyNeeded();
    QMainWindow::closeEvent(event);
}

// The editor holds a saved (or new) document: no copy is kept of it.
void TForm1::noCopyNeeded()
{
    // Replacing the whole text does not always tell the document's modification signal.
    ui->memo1->document()->setModified(false);
    m_recoveryPause.stop();
    dropRecoveryCopy();
}

void TForm1::dropRecoveryCopy()
{
    ui->memo1->stopTaking();
    m_copyWriter.remove();
}

void TForm1::keepRecoveryCopy()
{
    m_recoveryPause.stop();
    QTextDocument *document = ui->memo1->document();
    if (!document->isModified())
        return;
    if (document->isEmpty()) {
        dropRecoveryCopy();
        return;
    }
    // Taken between the window's events and written on the writer's thread: typing goes on.
    // A copy that cannot be written leaves the last one.
    ui->memo1->takeText(m_document.format().lineEnd);
}

void TForm1::keepRecoveryCopyNow()
{
    m_recoveryPause.stop();
    ui->memo1->stopTaking();
    QTextDocument *document = ui->memo1->document();
    if (document->isModified() && !document->isEmpty())
        m_copyWriter.write({document->toRawText(), m_document.openedFile(), m_document.caption(), m_document.format(),
                            ui->memo1->lineEnds(m_document.format().lineEnd)});
    m_copyWriter.finish();
}

// A question's buttons as a German user reads and presses them.
static void nameYesAndNo(QMessageBox &box)
{
    box.button(QMessageBox::Yes)->setText(QStringLiteral("&Ja"));
    box.button(QMessageBox::No)->setText(QStringLiteral("&Nein"));
}

bool TForm1::RecoverAtStart()
{
    const auto orphan = m_recovery.claimOrphan();
    if (!orphan)
        return false;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Korlith"),
                    QStringLiteral("Korlith wurde nicht ordnungsgemäß beendet. "
                                   "Möchten Sie den nicht gespeicherten Text wiederherstellen?"),
                    QMessageBox::Yes | QMessageBox::No, this);
    QAbstractButton *yes = box.button(QMessageBox::Yes);
    QAbstractButton *no = box.button(QMessageBox::No);
    nameYesAndNo(box);
    // Only "Nein" lets the text go: Esc and the close box answer nothing (they would take the
    // box's only rejecting button for the answer), and the next start asks again.
    QAbstractButton *later = box.addButton(QMessageBox::Cancel);
    later->hide();
    box.setEscapeButton(later);
    box.setDefaultButton(QMessageBox::Yes);
    box.exec();
    const QAbstractButton *answer = box.clickedButton();
    // Nor does a signal that ends the program while the question waits (a logout, a shutdown).
    if (platform::endRequested() || (answer != yes && answer != no)) {
        m_recovery.releaseClaimed();
        return false;
    }
    const bool take = answer == yes;
    if (take) {
        // The document as it was, unsaved; nothing runs until the user asks.
        const RecoveredText &copy = *orphan;
        ui->memo1->setUserText(copy.text, copy.lineEnds);
        m_document.restore(copy.fileName, copy.caption, copy.format);
        OpenDialog1->FileName = copy.fileName;
        if (!copy.fileName.isEmpty())
            ui->WebBrowser1->setDocumentFolder(m_document.folder());
        showCaption();
        ui->memo1->document()->setModified(true);
        // This instance's own copy exists before the old one goes.
        keepRecoveryCopyNow();
    }
    m_recovery.discardClaimed();
    return take;
}

void TForm1::StartUp(const QString &file)
{
    // Held from before the first showing: its handler could come before the question.
    m_startAsks = true;
    show();
    platform::endWithWindow(this);
    // From inside the event loop, so that the program's end by a signal ends it at any point;
    // once the window is on the screen (a large file takes a while), or a moment later where
    // it is not shown.
    auto *painted = new QTimer(this);
    painted->setInterval(10);
    QElapsedTimer since;
    since.start();
    connect(painted, &QTimer::timeout, this, [this, file, painted, since] {
        if (!(windowHandle() && windowHandle()->isExposed()) && since.elapsed() < FirstPaintWaitMs)
            return;
        painted->stop();
        painted->deleteLater();
        askAtStart(file);
    });
    painted->start();
}

void TForm1::askAtStart(const QString &file)
{
    if (!RecoverAtStart() && !file.isEmpty())
        OpenAtStart(file);
    m_startAsks = false;
    if (platform::endRequested())
        return;
    // The first showing's handler was held back: it comes as after any first showing.
    runFormShowOnceActive();
}

void TForm1::FormShow()
{
    if (!AppSettings::instance().configured()) {
        Form4->show();
        // On top and with the keyboard, so that typing goes to the prompt, not into the editor.
        Form4->raise();
        Form4->activateWindow();
    }
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->memo1 && event->type() == QEvent::KeyPress) {
        // Character 13: the key that breaks the line, seen here before the editor takes it.
        if (isLineBreakKey(static_cast<QKeyEvent *>(event))) {
            QChar ch(13);
            // A handler that stops at an error changes nothing else: no line break goes in.
            const bool ok = platform::guarded([&] { Memo1KeyPress(ch); });
            if (!ok || ch.isNull())
                return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::Memo1KeyPress(QChar &key)
{
    // The run has the text as it stood before the line break, which goes in as the key's own.
    if (key == QChar(13))
        Aktualisieren();
}

void TForm1::Jetztaktualisieren1Click()
{
    Aktualisieren();
}

void TForm1::Aktualisieren()
{
    m_preview->run(currentRun());
}

QByteArray TForm1::scriptBytes(const QString &editorForm) const
{
    // The interpreter reads the text as its file holds it: its encoding, its line ends.
    const TextFormat &format = m_document.format();
    return EditorBytes(editorForm, format, ui->memo1->lineEnds(format.lineEnd)).rest();
}

platform::PreviewRequest TForm1::currentRun()
{
    const QString text = ui->memo1->editorFormText();
    m_runTrail.reset(text);
    platform::PreviewRequest request;
    request.interpreter = AppSettings::instance().interpreterPath();
    request.script = scriptBytes(text);
    request.documentPath = m_document.saveTarget();
    request.folder = m_document.folder();
    return request;
}

bool TForm1::withCgiInterpreter(platform::PreviewRequest &request)
{
    const AppSettings &settings = AppSettings::instance();
    request.cgiInterpreter = platform::PreviewRunner::cgiInterpreterFor(settings.interpreterPath(),
                                                                       settings.cgiInterpreterPath());
    if (!request.cgiInterpreter.isEmpty())
        return true;
    // Said once; the page stays as it is.
    if (!m_toldNoCgi)
        ui->StatusBar1->showMessage(QStringLiteral("Formulare der Vorschau brauchen PHPs CGI-Interpreter "
                                                   "(Paket php-cgi); er ist nicht installiert."));
    m_toldNoCgi = true;
    return false;
}

void TForm1::Anfragen(const WebRequest &web)
{
    platform::PreviewRequest request = currentRun();
    request.web = web;
    if (withCgiInterpreter(request))
        m_preview->request(request);
}

void TForm1::AnfrageWiederholen()
{
    platform::PreviewRequest request = currentRun();
    if (!withCgiInterpreter(request))
        return;
    if (!m_preview->repeatRequest(request))
        ui->StatusBar1->showMessage(QStringLiteral("Die Seite hat noch keine Anfrage gestellt, die sich wiederholen ließe."));
}

void TForm1::Abbrechen()
{
    m_preview->abort();
}

void TForm1::showRunStatus(const QString &message)
{
    if (!message.isEmpty())
        ui->StatusBar1->showMessage(message);
    else if (!m_runStatus.isEmpty() && ui->StatusBar1->currentMessage() == m_runStatus)
        ui->StatusBar1->clearMessage();
    m_runStatus = message;
}

void TForm1::showOutput(const QList<ScriptMessage> &messages, const QString &state, const QString &cost)
{
    m_runCost->setText(cost);
    // PHP's messages about the script, on their lines in the gutter, where those lines stand now.
    QList<std::tuple<int, bool, QString>> marks;
    const QTextDocument *document = ui->memo1->document();
    for (const ScriptMessage &m : messages) {
        const int place = m_runTrail.lineStartNow(m.line);
        const QTextBlock line = place >= 0 ? document->findBlock(place) : QTextBlock();
        if (line.isValid())
            marks.append({line.blockNumber() + 1, m.error, m.text});
    }
    ui->memo1->setLineMarks(marks);
    if (!state.isEmpty())
        ui->StatusBar1->showMessage(state);
    else if (!ui->StatusBar1->currentMessage().isEmpty())
        ui->StatusBar1->clearMessage();
}

void TForm1::Optionen1Click()
{
    if (Form2->isVisible())
        throw AppError(QStringLiteral("Cannot make a visible window modal"));
    // Over the prompt, which stays on top: otherwise the modal dialog would open beneath it
    // and neither could be used.
    Form2->setWindowFlag(Qt::WindowStaysOnTopHint, Form4->isVisible());
    Form2->exec();
    // Only this modal showing needs it: shown again by the prompt, it is an ordinary dialog.
    Form2->setWindowFlag(Qt::WindowStaysOnTopHint, false);
}

void TForm1::Beenden1Click()
{
    close();
}

void TForm1::Neu1Click()
{
    m_preview->clear();
    m_runCost->clear();
    ui->StatusBar1->clearMessage();
    ui->memo1->clearLineMarks();
    ui->memo1->clear();
    noCopyNeeded();
    m_document.clear();
    showCaption();
}

void TForm1::ToolButton1Click()
{
    SaveDialog1->FileName.clear();
}

void TForm1::ffnnen1Click()
{
    if (!OpenDialog1->Execute())
        return;
    chooseFile(OpenDialog1->FileName);
    loadChosenFile(OpenDialog1->FileName, true);
}

void TForm1::OpenAtStart(const QString &path)
{
    // As the Open command with this file chosen, but the script does not run: a file manager
    // hands over downloaded files too, and running one is the user's decision. The program
    // starts empty when the file cannot be loaded.
    const QString file = QFileInfo(path).absoluteFilePath();
    OpenDialog1->FileName = file;
    chooseFile(file);
    const bool loaded = platform::guarded([&] { loadChosenFile(file, false); });
    if (loaded)
        ui->StatusBar1->showMessage(QStringLiteral("F5 führt das Skript aus."));
}

void TForm1::loadChosenFile(const QString &path, bool run)
{
    // A large file takes seconds: the status bar says so, painted at once.
    const bool large = QFileInfo(path).size() > LargeFileBytes;
    if (large) {
        ui->StatusBar1->showMessage(QStringLiteral("%1 wird geladen …").arg(QFileInfo(path).fileName()));
        ui->StatusBar1->repaint();
    }
    DecodedText doc;
    try {
        doc = loadDocument(path);
    } catch (const AppError &) {
        // The document is still the one that was, and the dialog offers its file again.
        OpenDialog1->FileName = m_document.openedFile();
        if (large)
            ui->StatusBar1->clearMessage();
        throw;
    }
    ui->memo1->setUserText(doc.text, doc.lineEnds);
    if (large)
        ui->StatusBar1->clearMessage();
    noCopyNeeded();
    m_document.opened(path, doc.format);
    m_preview->forgetRequests();
    showCaption();
    if (run)
        Aktualisieren();
}

void TForm1::chooseFile(const QString &path)
{
    // The chosen file's folder is the document's: the interpreter runs there, so that relative
    // includes work as on a web server, and the page's relative addresses lead there.
    m_document.chooseFile(path);
    ui->WebBrowser1->setDocumentFolder(m_document.folder());
}

void TForm1::writeDocument(const QString &path)
{
    refuseScratchTarget(path);
    // Only Windows-1252 may not hold a character typed; UTF-8 holds them all.
    if (m_document.format().encoding == TextFormat::Windows1252 && !encodingHolds(path, ui->memo1->userText()))
        return;
    const TextFormat &format = m_document.format();
    EditorBytes bytes(ui->memo1->document()->toRawText(), format, ui->memo1->lineEnds(format.lineEnd));
    saveDocument(path, bytes);
    noCopyNeeded();
}

bool TForm1::encodingHolds(const QString &path, const QString &text)
{
    const auto at = firstUnencodable(text, m_document.format());
    if (!at)
        return true;
    // A file never changes its encoding without the user's word: every character already in it
    // beyond ASCII would be written anew.
    const qsizetype length = text.at(*at).isHighSurrogate() && *at + 1 < text.size() ? 2 : 1;
    const qsizetype line = QStringView(text).left(*at).count(QLatin1Char('\n')) + 1;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Korlith"),
                    QStringLiteral("Die Datei %1 ist in Windows-1252 gespeichert; das Zeichen „%2“ in Zeile %3 gibt es darin "
                                   "nicht.\n\nSoll sie als UTF-8 gespeichert werden? Umlaute und andere Sonderzeichen, die "
                                   "schon darin stehen, werden dann anders geschrieben. Mit „Nein“ wird nichts gespeichert.")
                        .arg(QFileInfo(path).fileName(), text.mid(*at, length))
                        .arg(line),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setTextFormat(Qt::PlainText);
    nameYesAndNo(box);
    box.setDefaultButton(QMessageBox::No);
    box.exec();
    if (box.clickedButton() != box.button(QMessageBox::Yes))
        return false;
    m_document.changeToUtf8();
    return true;
}

void TForm1::refuseScratchTarget(const QString &path)
{
    // The next run would overwrite a document kept there.
    if (platform::isInScratchDirectory(path))
        throw AppError(QStringLiteral("In %1 legt Korlith die Dateien der Vorschau ab und überschreibt sie bei jedem Lauf. "
                                      "Bitte speichern Sie das Dokument in einem anderen Ordner.")
                           .arg(QFileInfo(path).absolutePath()));
}

bool TForm1::executeSaveDialog()
{
    // A new name starts in the document's folder, as Open's dialog does.
    SaveDialog1->InitialDir = m_document.folder();
    return SaveDialog1->Execute();
}

void TForm1::Speichern1Click()
{
    // An opened file is saved where it came from; an untitled document asks for a name.
    const QString target = m_document.saveTarget();
    if (target.isEmpty())
        saveUnderNewName();
    else
        writeDocument(target);
}

void TForm1::Speichernunter1Click()
{
    saveUnderNewName();
}

void TForm1::saveUnderNewName()
{
    if (!executeSaveDialog())
        return;
    refuseScratchTarget(SaveDialog1->FileName);
    chooseFile(SaveDialog1->FileName);
    writeDocument(SaveDialog1->FileName);
}

void TForm1::SearchFind1Execute()
{
    FindDialog1->execute();
}

void TForm1::SearchReplace1Execute()
{
    m_replaceTarget = ui->memo1->hasFocus() ? ui->memo1 : nullptr;
    ReplaceDialog1->execute();
}

void TForm1::selectEditorRange(int editorStart, int length)
{
    const QString plain = ui->memo1->editorFormText();
    const int start = toControlPosition(plain, editorStart);
    const int end = toControlPosition(plain, editorStart + length);
    QTextCursor cursor = ui->memo1->textCursor();
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    ui->memo1->setTextCursor(cursor);
}

void TForm1::SearchFind1FindDialogFind()
{
    selectFirstInLines(FindDialog1->findText());
}

void TForm1::SearchReplace1ReplaceDialogFind()
{
    selectFirstInLines(ReplaceDialog1->findText());
}

void TForm1::selectFirstInLines(const QString &text)
{
    // Line by line from the first, reading no further than the first occurrence.
    QTextBlock block = ui->memo1->document()->begin();
    const auto hit = firstInLines(
        [&]() -> std::optional<QString> {
            if (!block.isValid())
                return std::nullopt;
            const QString line = block.text();
            block = block.next();
            return line;
        },
        text);
    if (!hit)
        return;
    // The occurrence lies in its line: its place is the line's start and its column.
    const int start = ui->memo1->document()->findBlockByNumber(hit->line).position() + hit->column;
    QTextCursor cursor = ui->memo1->textCursor();
    cursor.setPosition(start);
    cursor.setPosition(start + int(text.size()), QTextCursor::KeepAnchor);
    ui->memo1->setFocus();
    ui->memo1->setTextCursor(cursor);
}

void TForm1::SyntaxPruefen()
{
    const QString text = ui->memo1->editorFormText();
    const QByteArray script = scriptBytes(text);
    // Colouring a line also reports a change: the same text is not checked twice.
    if (script == m_markedScript) {
        m_syntaxCheck->stop();
        return;
    }
    if (m_syntaxCheck->isRunning() && script == m_checkingScript)
        return;
    m_checkingScript = script;
    const QString interpreter = AppSettings::instance().interpreterPath();
    if (text.trimmed().isEmpty() || interpreter.isEmpty()
        || !m_syntaxCheck->start(interpreter, script, m_document.saveTarget())) {
        m_syntaxCheck->stop();
        m_markedScript = script;
        ui->memo1->clearCheckMark();
    }
}

void TForm1::Weitersuchen(bool backwards)
{
    const QString text = FindDialog1->findText();
    if (text.isEmpty()) {
        FindDialog1->execute();
        return;
    }
    const SearchOptions options = FindDialog1->options();
    QTextDocument::FindFlags flags;
    if (backwards)
        flags |= QTextDocument::FindBackward;
    if (options.matchCase)
        flags |= QTextDocument::FindCaseSensitively;
    if (options.wholeWord)
        flags |= QTextDocument::FindWholeWords;
    TCodeEdit *memo = ui->memo1;
    QTextDocument *document = memo->document();
    // From the caret (past a selection, the way the search goes), then round from the other end.
    QTextCursor found = document->find(text, memo->textCursor(), flags);
    if (found.isNull()) {
        QTextCursor end(document);
        end.movePosition(backwards ? QTextCursor::End : QTextCursor::Start);
        found = document->find(text, end, flags);
    }
    if (found.isNull()) {
        statusBar()->showMessage(QStringLiteral("\"%1\" nicht gefunden.").arg(text));
        return;
    }
    memo->setTextCursor(found);
    memo->setFocus();
}

void TForm1::GeheZuZeile()
{
    TCodeEdit *memo = ui->memo1;
    const int lines = memo->document()->blockCount();
    QInputDialog dialog(this, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                                  | Qt::WindowCloseButtonHint);
    dialog.setFont(platform::dialogFont());
    dialog.setWindowTitle(QStringLiteral("Gehe zu Zeile"));
    dialog.setLabelText(QStringLiteral("Zeilennummer (1 bis %1):").arg(lines));
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setIntRange(1, lines);
    dialog.setIntValue(memo->textCursor().blockNumber() + 1);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Abbrechen"));
    // A question of fixed size, with a close box alone where the program draws the frame.
    if (dialog.layout())
        dialog.layout()->setSizeConstraint(QLayout::SetFixedSize);
    platform::drawOwnFrame(&dialog);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QTextBlock block = memo->document()->findBlockByNumber(dialog.intValue() - 1);
    memo->setTextCursor(QTextCursor(block.isValid() ? block : memo->document()->lastBlock()));
    memo->centerCursor();
    memo->setFocus();
}

void TForm1::SearchReplace1Replace(bool all)
{
    TCodeEdit *target = m_replaceTarget;
    // The target is forgotten after every press, also when the handler stops at an error.
    m_replaceTarget = nullptr;
    if (!target)
        return;
    const QString findText = ReplaceDialog1->findText();
    const QString replacement = ReplaceDialog1->replaceText();
    const SearchOptions options = ReplaceDialog1->options();

    // The text with CR LF breaks and the selection in editor positions.
    const QString plain = target->editorFormText();
    QString text = withCrLf(plain);
    QTextCursor cursor = target->textCursor();
    int selStart = toEditorPosition(plain, cursor.selectionStart());
    int selLength = toEditorPosition(plain, cursor.selectionEnd()) - selStart;

    if (!all) {
        if (selectionMatches(text, selStart, selLength, findText)) {
            cursor.insertText(replacement);
            target->setTextCursor(cursor);
            text.replace(selStart, selLength, replacement);
            selStart += int(replacement.size());
            selLength = 0;
        }
        if (const auto found = standardSearch(text, selStart, selLength, findText, options)) {
            selectEditorRange(*found, int(findText.size()));
        } else {
            QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Korlith"),
                            QStringLiteral("Text not found: \"%1\"").arg(findText), QMessageBox::Ok, this);
            box.setTextFormat(Qt::PlainText);
            box.exec();
        }
        return;
    }

    // Replace-all puts its result into the editor once, as one step that a single undo takes back.
    const auto replaced = replaceAll(text, selStart, selLength, findText, replacement, options);
    if (!replaced)
        return;
    // Each occurrence is replaced where it stands, as one step that a single undo takes back:
    // the lines stay the same blocks, with their line ends and their marks.
    int moved = 0;
    cursor.beginEditBlock();
    for (const ReplacedText::Piece &piece : replaced->pieces) {
        cursor.setPosition(piece.start + moved);
        cursor.setPosition(piece.start + moved + piece.length, QTextCursor::KeepAnchor);
        cursor.insertText(replacement);
        moved += int(replacement.size()) - piece.length;
    }
    cursor.endEditBlock();
    // The caret stands after the replacement made last.
    target->setTextCursor(cursor);
}

void TForm1::KorlithOnline1Click()
{
    URL1->OpenURL();
}

void TForm1::Updates1Click()
{
    HTTPGet1->StartDownload();
}

void TForm1::HTTPGet1DoneString(QObject *, const QByteArray &Result)
{
    // Read as documents are: UTF-8 where the bytes are that, else Windows-1252. Of a file cut
    // at the bound only its whole lines, so that a character cut in two does not turn its text
    // into Windows-1252.
    const bool cut = HTTPGet1->TextCut;
    const QByteArray whole = cut ? Result.left(std::max(Result.lastIndexOf('\n'), Result.lastIndexOf('\r')) + 1) : Result;
    const UpdateVerdict verdict = evaluateVersionFile(decodeText(whole).text, cut);
    // Quiet, as any download that fails.
    if (!verdict.complete)
        return;
    if (!verdict.readable) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Update"),
                        QStringLiteral("Die Versionsinformation konnte nicht gelesen werden. "
                                       "Bitte versuchen Sie es später noch einmal."),
                        QMessageBox::Ok, this);
        box.exec();
        return;
    }
    if (verdict.newer) {
        Form5->setMessage(verdict.message);
        Form5->show();
        Form5->raise();
        Form5->activateWindow();
        return;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Update"),
                    QStringLiteral("Sie besitzen die aktuellste Version von Korlith."), QMessageBox::Ok, this);
    box.exec();
}

void TForm1::Info1Click()
{
    Form3->exec();
}

namespace {

// "Drucken" has Qt's dialog ask the scheduler about the chosen printer on the window's thread:
// one that stopped answering while the dialog was open would freeze the window. It is asked
// first, with the bound Ctrl+P has; silent, the dialog closes and nothing is printed.
class PrintDialog : public QPrintDialog
{
public:
    using QPrintDialog::QPrintDialog;
    bool schedulerSilent = false;

    void accept() override
    {
        // A second press while the scheduler is asked waits for the first one's answer.
        if (m_asking)
            return;
        bool answers;
        {
            const QScopedValueRollback<bool> asking(m_asking, true);
            answers = platform::printSchedulerAnswers(platform::PrintSchedulerAnswerMs);
        }
        if (!answers) {
            schedulerSilent = true;
            reject();
            return;
        }
        QPrintDialog::accept();
    }

private:
    bool m_asking = false;
};

} // namespace

void TForm1::PrintDlg1Execute()
{
    // Qt's printer and dialog ask the scheduler on this thread: one that does not answer would
    // freeze the window, so it is asked first, with a bound.
    if (m_askingPrintSystem)
        return;
    {
        const QScopedValueRollback<bool> asking(m_askingPrintSystem, true);
        if (!platform::printSchedulerAnswers(platform::PrintSchedulerAnswerMs))
            throw AppError(QStringLiteral("Der Druckdienst antwortet nicht."));
    }
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    PrintDialog dialog(m_printer.get(), this);
    dialog.setObjectName(QStringLiteral("PrintDlg1"));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (dialog.schedulerSilent)
        throw AppError(QStringLiteral("Der Druckdienst antwortet nicht."));
    if (accepted)
        PrintDlg1Accept(*m_printer);
}

void TForm1::PrintDlg1Accept(QPrinter &printer)
{
    printer.setDocName(caption());
    // The editor's font at its size in points, so that it prints as large as it shows.
    QFont font = ui->memo1->font();
    if (font.pixelSize() > 0)
        font.setPointSizeF(font.pixelSize() * 72.0 / ui->memo1->logicalDpiY());
    platform::PrinterSurface surface(printer, font);
    PrinterTextDevice prn(surface);
    // A long listing shows how far it is and can be stopped; the window and the program's end
    // by a signal are served meanwhile.
    const int lines = ui->memo1->document()->blockCount();
    QProgressDialog progress(QStringLiteral("Das Skript wird gedruckt..."), QStringLiteral("Abbrechen"), 0, lines, this);
    progress.setObjectName(QStringLiteral("PrintProgress"));
    progress.setWindowTitle(QStringLiteral("Drucken"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    const bool whole = writeListing(prn, [&](int done) {
        if (sinceEvents.elapsed() < 50)
            return true;
        sinceEvents.restart();
        progress.setValue(done);
        QCoreApplication::processEvents();
        return !progress.wasCanceled() && !platform::endRequested();
    });
    if (!whole) {
        surface.abandon();
        if (printer.outputFormat() == QPrinter::NativeFormat)
            platform::cancelNewestJob(printer.printerName(), printer.docName());
        ui->StatusBar1->showMessage(QStringLiteral("Der Druck wurde abgebrochen."));
        return;
    }
    surface.finish();
    // A printer's job goes to the print system as the document is ended; a queue that refuses
    // it must not look like a listing on its way.
    if (printer.outputFormat() == QPrinter::NativeFormat) {
        const QString refusal = platform::printJobRefusal();
        if (!refusal.isEmpty())
            throw AppError(QStringLiteral("Printer is not currently printing (%1)").arg(refusal));
    }
}

bool TForm1::writeListing(PrinterTextDevice &prn, const std::function<bool(int)> &goOn)
{
    prn.write(QStringLiteral("\r\n"));
    prn.writeln();
    const QString blanks(10, QLatin1Char(' '));
    // The editor's lines as a memo counts them: a final line break ends the last line and
    // opens no empty one.
    const QTextBlock last = ui->memo1->document()->lastBlock();
    // The text as it stands now: the window is served while the listing goes out, and nothing
    // typed meanwhile may mix into it.
    QStringList text;
    for (QTextBlock block = ui->memo1->document()->begin(); block.isValid(); block = block.next())
        if (!(block == last && block.text().isEmpty()))
            text << block.text();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (goOn && !goOn(int(i)))
            return false;
        prn.writeln(blanks + fromEditorForm(text.at(i)));
    }
    prn.close();
    return true;
}

QString TForm1::helpFilePath()
{
    return platform::helpFileBeside(QCoreApplication::applicationDirPath());
}

void TForm1::Hilfe2Click()
{
    platform::showHelpFile(helpFilePath());
}
