// TForm1: the main window with the editor, the preview pane, menu, toolbar and status bar.
#pragma once

#include <functional>

#include "core/Document.h"
#include "core/EditTrail.h"
#include "core/ScriptMessages.h"
#include "core/RecoveryStore.h"
#include "core/TextCodec.h"
#include "platform/PreviewRunner.h"
#include "platform/PhpCatalogSource.h"
#include "platform/SyntaxCheck.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <memory>
#include <optional>

namespace Ui {
class TForm1;
}
class QAction;
class QShortcut;
class QKeyEvent;
class TFileDialog;
class QPrinter;
class PrinterTextDevice;
class THTTPGet;
class TURL;
class TFindDialog;
class TReplaceDialog;
class QLabel;
class Preview;
class QPlainTextEdit;
class TWebBrowser;
class TCodeEdit;
class TCodeCompletion;

// Program-wide values, read from the settings store at start-up.

class TForm1 : public QMainWindow
{
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    QPlainTextEdit *memo1() const;
    TWebBrowser *WebBrowser1() const;
    // An action by its name, for scripted use (the tests); the window itself connects its own.
    QAction *action(const char *name) const;
    // The caption as the user reads it.
    QString caption() const;

    // The handlers below raise AppError where a step fails (a file, the printer, the
    // settings); the window runs each through platform::guarded, which shows the error box.

    // One preview run of the editor's text; returns while the script runs. Raises "Cannot
    // create file %s" when the script or its output cannot be written.
    void Aktualisieren();
    // The page's request of its document, run by PHP's CGI interpreter; Shift+F5: the last again.
    void Anfragen(const WebRequest &web);
    void AnfrageWiederholen();
    // Esc while a script runs: it ends, with all that it started.
    void Abbrechen();
    // Half a second after the text last changed: the configured interpreter parses it (it never
    // runs it) and a parse error is marked on its line, before any run.
    static constexpr int CheckAfterMs = 500;
    void SyntaxPruefen();
    // F3 and Shift+F3: the find dialog's text with its options, from the caret, round the end.
    void Weitersuchen(bool backwards);
    // Ctrl+G: the caret to the start of a line the user names.
    void GeheZuZeile();

    void FormCreate();
    void FormShow();
    void Memo1KeyPress(QChar &key);
    void Jetztaktualisieren1Click();
    // Raises "Cannot make a visible window modal" when the settings window is open already.
    void Optionen1Click();
    void Beenden1Click();

    // Document commands.
    void Neu1Click();
    void ToolButton1Click();
    void ffnnen1Click();
    // "korlith FILE": FILE loaded at start-up as the Open command loads it, but not run.
    void OpenAtStart(const QString &path);
    // The longest the start waits for the window to be on the screen before it opens its file.
    static constexpr int FirstPaintWaitMs = 500;
    // A file larger than this takes long enough to load that the status bar says it loads.
    static constexpr qint64 LargeFileBytes = 4 * 1000 * 1000;
    // At start-up: offers the unsaved text of an instance that ended without the user's Exit.
    // True when the user took it into the editor.
    bool RecoverAtStart();
    // Shows the window, then asks the start's questions one at a time: the unsaved text first,
    // then FILE is loaded (its error box may come), and only then the first-run prompt.
    void StartUp(const QString &file);
    void Speichern1Click();
    void Speichernunter1Click();

    // Find and replace.
    void SearchFind1Execute();
    void SearchReplace1Execute();
    void SearchFind1FindDialogFind();
    void SearchReplace1ReplaceDialogFind();
    void SearchReplace1Replace(bool all);

    // Printing and help.
    void PrintDlg1Execute();
    // Raises the printer's errors ("Printer selected is not valid", "Printer is not currently
    // printing", "Cannot create file %s" for a print to a file).
    void PrintDlg1Accept(QPrinter &printer);
    // The listing: two empty lines, then each of the editor's lines behind ten blanks; goOn
    // (given the lines done) may stop it: false then.
    bool writeListing(PrinterTextDevice &prn, const std::function<bool(int)> &goOn = {});
    void Hilfe2Click();
    static QString helpFilePath();

    // Links, update check, About.
    void KorlithOnline1Click();
    void Updates1Click();
    void HTTPGet1DoneString(QObject *Sender, const QByteArray &Result);
    void Info1Click();

    TURL *URL1 = nullptr;
    THTTPGet *HTTPGet1 = nullptr;
    TFileDialog *OpenDialog1 = nullptr;
    TFileDialog *SaveDialog1 = nullptr;
    TFindDialog *FindDialog1 = nullptr;
    TReplaceDialog *ReplaceDialog1 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectHandler(QAction *action, void (TForm1::*handler)());
    void updateActions();
    void showCaption();
    void loadChosenFile(const QString &path, bool run);
    // A file chosen to open or to save as: the document and the pane take its folder.
    void chooseFile(const QString &path);
    // The run's word in the status bar; an empty one takes back the run's last word.
    void showRunStatus(const QString &message);
    // The run's output: its messages on their lines, its state in the status bar, its page.
    // A run's output is in the pane: its messages as marks, its state in the status bar.
    void showOutput(const QList<ScriptMessage> &messages, const QString &state, const QString &cost);
    // The constructor's parts, one concern each.
    void setUpWidgets();
    void setUpPreview();
    platform::PreviewRequest currentRun();
    QByteArray scriptBytes(const QString &editorForm) const; // the text as its file holds it
    bool withCgiInterpreter(platform::PreviewRequest &request);
    void connectMenuHandlers();
    void createComponents();
    void connectEditActions();
    void setUpRecoveryCopy();
    // Raises an error of its own when path is one of the preview's scratch files.
    void refuseScratchTarget(const QString &path);
    bool executeSaveDialog();
    void saveUnderNewName();
    void writeDocument(const QString &path);
    // Whether the document's encoding holds the text, or the user chose UTF-8 for it.
    bool encodingHolds(const QString &path, const QString &text);
    void keepRecoveryCopy();
    // The copy at once, written before this returns: the program ends, or an old one goes.
    void keepRecoveryCopyNow();
    void runFormShow();
    void runFormShowOnceActive();
    void askAtStart(const QString &file);
    void noCopyNeeded();
    void dropRecoveryCopy();
    void selectEditorRange(int editorStart, int length);
    // The first occurrence by the line search, selected in the editor.
    void selectFirstInLines(const QString &text);

    std::unique_ptr<Ui::TForm1> ui;
    std::unique_ptr<QObject> m_appSenderContext; // context of the connections from application-wide senders
    EditTrail m_runTrail;                   // the run's text and the edits since, for its messages' lines
    QString m_runStatus;                    // the run's last word in the status bar
    QShortcut *m_abortKey = nullptr;        // Esc, while a script runs
    QLabel *m_statusText = nullptr;
    QLabel *m_runCost = nullptr; // what the last run cost, at the bar's right end
    Preview *m_preview = nullptr;           // the run and its page
    bool m_toldNoCgi = false;               // the status bar said that forms need php-cgi
    bool m_shownBefore = false;
    std::unique_ptr<QPrinter> m_printer;     // keeps the chosen printer between listings
    Document m_document;
    TCodeEdit *m_replaceTarget = nullptr;
    RecoveryStore m_recovery;                // the unsaved text, for a crash, a kill or a logout
    RecoveryWriter m_copyWriter{m_recovery}; // writes this instance's copy off the window's thread
    QTimer m_recoveryPause;                  // a copy is written once typing pauses
    QElapsedTimer m_recoveryDue;             // since the oldest change the copy does not hold
    bool m_userExit = false;
    bool m_formShowPending = false;          // the first showing's handler waits for the activation
    bool m_askingPrintSystem = false;        // Ctrl+P waits for the print scheduler's answer
    bool m_startAsks = false;                // a start-up question is open: the prompt waits
    platform::PhpCatalogSource *m_catalogs = nullptr; // what the interpreter knows, for completion
    TCodeCompletion *m_completion = nullptr;
    platform::SyntaxCheck *m_syntaxCheck = nullptr; // `php -l` of the text once typing pauses
    QTimer m_checkLater;
    QByteArray m_checkingScript;             // the text as the check going on has it
    QByteArray m_markedScript;               // the text whose check the gutter shows
};

extern TForm1 *Form1;
