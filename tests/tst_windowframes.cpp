// Windows under a Wayland compositor, where Qt draws the frames itself: every button of a frame
// may be used. Run by scripts/wayland-session.sh.
#include "TestMain.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "CodeEdit.h"
#include "platform/ErrorBox.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTextBlock>
#include <QWindow>

#include <functional>
#include <memory>

namespace {

// Asks the window to lay itself out anew, as a change of its content or style would.
void askForLayout(QWidget *window)
{
    QCoreApplication::postEvent(window, new QEvent(QEvent::LayoutRequest));
    QCoreApplication::sendPostedEvents(window, QEvent::LayoutRequest);
}

// The frame's maximise button, then its restore button, with the window laying itself out (and
// `change` changing its content) while the compositor holds it maximised and again right after
// the restore was asked for, before the compositor has answered. What went wrong, if anything.
QString maximiseAndBack(QWidget *dialog, const std::function<void()> &change)
{
    if (!QTest::qWaitForWindowExposed(dialog))
        return QStringLiteral("not shown");
    const QSize fixed = dialog->size();
    if (dialog->minimumSize() != fixed)
        return QStringLiteral("not of fixed size");
    dialog->windowHandle()->setWindowStates(Qt::WindowMaximized);
    if (!waitUntil([&] { return dialog->width() > fixed.width() && dialog->height() > fixed.height(); }))
        return QStringLiteral("not maximised: %1 x %2").arg(dialog->width()).arg(dialog->height());
    const QSize maximised = dialog->size();
    askForLayout(dialog);
    if (change)
        change();
    if (dialog->size() != maximised)
        return QStringLiteral("changed its own size while maximised: %1 x %2").arg(dialog->width()).arg(dialog->height());
    dialog->windowHandle()->setWindowStates(Qt::WindowNoState);
    askForLayout(dialog);
    if (change)
        change();
    if (!waitUntil([&] { return dialog->size() == dialog->minimumSize(); }))
        return QStringLiteral("not back: %1 x %2").arg(dialog->width()).arg(dialog->height());
    if (dialog->width() < fixed.width() || dialog->height() < fixed.height())
        return QStringLiteral("back smaller than before: %1 x %2").arg(dialog->width()).arg(dialog->height());
    // Once back, its layout has run and left it as maximisable as before.
    askForLayout(dialog);
    if (dialog->size() != dialog->minimumSize() || dialog->maximumWidth() < QWIDGETSIZE_MAX)
        return QStringLiteral("its least size is lost, or it is bound again");
    return QString();
}

// A compositor that refused what the program committed ends the connection, and the program
// with it, once it has read the request. A new window shown means it has read them all.
bool compositorStillAnswers()
{
    QWidget probe;
    probe.resize(50, 50);
    probe.show();
    return QTest::qWaitForWindowExposed(&probe);
}

// The program's own frame on a fixed window: no frame of Qt's, a title bar across the top with
// the window's title and one button, the close box, and the window's controls below it. A
// click on the close box closes the window. What is wrong, if anything.
QString ownFrameCloses(QWidget *window)
{
    if (!QTest::qWaitForWindowExposed(window))
        return QStringLiteral("not shown");
    if (!window->windowHandle()->flags().testFlag(Qt::FramelessWindowHint) || window->frameGeometry() != window->geometry())
        return QStringLiteral("Qt's own frame is drawn");
    auto *bar = window->findChild<QWidget *>(QStringLiteral("OwnTitleBar"), Qt::FindDirectChildrenOnly);
    if (!bar || !bar->isVisible() || bar->geometry() != QRect(0, 0, window->width(), bar->height()))
        return QStringLiteral("no title bar across the top");
    const QList<QAbstractButton *> buttons = bar->findChildren<QAbstractButton *>();
    if (buttons.size() != 1)
        return QStringLiteral("%1 buttons on the title bar").arg(buttons.size());
    for (QWidget *child : window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (child != bar && child->isVisible() && child->y() < bar->height())
            return QStringLiteral("%1 under the title bar").arg(child->objectName());
    QTest::mouseClick(buttons.first(), Qt::LeftButton);
    if (!waitUntil([&] { return !window->isVisible(); }))
        return QStringLiteral("the close box does not close it");
    return QString();
}

// Shows a row's fixed window over `main` (a form, or a message box, which waits in an event
// loop of its own and is checked from there) and checks it. What went wrong, if anything.
QString checkFixedWindow(int form, QWidget *main, const std::function<QString(QWidget *)> &check)
{
    std::unique_ptr<QWidget> dialog;
    switch (form) {
    case 2: dialog = std::make_unique<TForm2>(main); break;
    case 3: dialog = std::make_unique<TForm3>(main); break;
    case 4: dialog = std::make_unique<TForm4>(main); break;
    case 5:
    case 6: dialog = std::make_unique<TForm5>(main); break;
    }
    if (dialog) {
        dialog->show();
        return check(dialog.get());
    }
    QString failed;
    QTimer::singleShot(0, [&] {
        QWidget *box = nullptr;
        waitUntil([&] { return (box = QApplication::activeModalWidget()) != nullptr; });
        failed = box ? check(box) : QStringLiteral("no box");
        if (box && box->isVisible())
            box->close();
    });
    if (form == 0)
        platform::showErrorBox(QStringLiteral("Datei nicht gefunden"));
    else
        QMessageBox::question(main, QStringLiteral("Korlith"), QStringLiteral("Wiederherstellen?"));
    return failed;
}

} // namespace

class TestWindowFrames : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QGuiApplication::platformName().startsWith(QLatin1String("wayland")),
                 "runs under a Wayland compositor: scripts/wayland-session.sh");
    }

    // An empty line is painted in the editor, also where the compositor offers no seat (asked
    // which way such a line runs, Qt's Wayland text input has none to ask and crashes).
    void editorPaintsItsEmptyLines()
    {
        TCodeEdit editor;
        editor.setPlainText(QStringLiteral("<?php\n\necho 1;\n"));
        editor.resize(400, 300);
        editor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));
        editor.setFocus();
        QTextCursor onEmptyLine = editor.textCursor();
        onEmptyLine.setPosition(6);
        editor.setTextCursor(onEmptyLine);
        editor.viewport()->repaint();
        QCOMPARE(editor.textCursor().block().text(), QString());
    }

    // Qt's frame on Wayland offers minimise and maximise on every window: a fixed dialog has a
    // frame of the program's own there, with a close box alone.
    void fixedWindowsHaveAFrameWithACloseBoxAlone_data()
    {
        QTest::addColumn<int>("form");
        QTest::newRow("Einstellungen") << 2;
        QTest::newRow("Info") << 3;
        QTest::newRow("Achtung, on top") << 4;
        QTest::newRow("Update") << 5;
        QTest::newRow("error box") << 0;
        QTest::newRow("question box") << 1;
    }
    void fixedWindowsHaveAFrameWithACloseBoxAlone()
    {
        QFETCH(int, form);
        QWidget main;
        main.resize(640, 480);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        const QString failed = checkFixedWindow(form, &main, ownFrameCloses);
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        // The main window keeps Qt's frame, with all its buttons.
        QVERIFY(main.frameGeometry() != main.geometry());
    }

    // Qt's frame offers maximise also on a window of fixed size, and the compositor gives a
    // maximised window its own size; a window that commits another one ends the program.
    // Maximised, the window takes the compositor's size; back to normal, its own again.
    void fixedWindowsMaximiseAndComeBack_data()
    {
        QTest::addColumn<int>("form");
        QTest::newRow("Einstellungen") << 2;
        QTest::newRow("Info") << 3;
        QTest::newRow("Achtung") << 4;
        QTest::newRow("Update") << 5;
        QTest::newRow("Update, a new message while maximised") << 6;
        QTest::newRow("error box") << 0;
        QTest::newRow("question box") << 1;
    }
    void fixedWindowsMaximiseAndComeBack()
    {
        QFETCH(int, form);
        QWidget main;
        main.resize(640, 480);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        const QString failed = checkFixedWindow(form, &main, [form](QWidget *window) {
            if (form != 6)
                return maximiseAndBack(window, {});
            auto *notice = static_cast<TForm5 *>(window);
            if (!QTest::qWaitForWindowExposed(notice))
                return QStringLiteral("not shown");
            notice->setMessage(QStringLiteral("Version 2.0 ist erschienen."));
            int n = 0;
            QString wrong = maximiseAndBack(notice, [notice, &n] {
                notice->setMessage(QStringLiteral("Version 2.%1 ist erschienen, mit einer längeren Nachricht als zuvor").arg(++n));
            });
            if (wrong.isEmpty() && !notice->message().endsWith(QLatin1String("zuvor")))
                wrong = QStringLiteral("the last message is not shown");
            return wrong;
        });
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QVERIFY(compositorStillAnswers());
    }
};

KORLITH_TEST_MAIN(TestWindowFrames)
#include "tst_windowframes.moc"
