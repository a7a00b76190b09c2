// Windows under a Wayland compositor, where Qt draws the frames itself: every button of a frame
// may be used. Run by scripts/wayland-session.sh.
#include "TestMain.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "platform/ErrorBox.h"

#include <QMessageBox>
#include <QWindow>

#include <memory>

namespace {

// What the frame's maximise button does, and then its restore button; what went wrong, if
// anything. A window that kept its fixed size while maximised would end the program here.
QString maximiseAndBack(QWidget *dialog)
{
    if (!QTest::qWaitForWindowExposed(dialog))
        return QStringLiteral("not shown");
    const QSize fixed = dialog->size();
    if (dialog->minimumSize() != fixed)
        return QStringLiteral("not of fixed size");
    dialog->windowHandle()->setWindowStates(Qt::WindowMaximized);
    if (!waitUntil([&] { return dialog->width() > fixed.width() && dialog->height() > fixed.height(); }))
        return QStringLiteral("not maximised: %1 x %2").arg(dialog->width()).arg(dialog->height());
    dialog->windowHandle()->setWindowStates(Qt::WindowNoState);
    if (!waitUntil([&] { return dialog->size() == fixed; }))
        return QStringLiteral("not back: %1 x %2").arg(dialog->width()).arg(dialog->height());
    if (dialog->minimumSize() != fixed)
        return QStringLiteral("its least size is lost");
    return QString();
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

    // Qt's frame offers maximise also on a dialog of fixed size, and the compositor gives a
    // maximised window its own size; a window that kept its fixed size would end the program.
    // Maximised, the dialog takes the compositor's size; back to normal, its own again.
    void fixedWindowsMaximiseAndComeBack_data()
    {
        QTest::addColumn<int>("form");
        QTest::newRow("Einstellungen") << 2;
        QTest::newRow("Info") << 3;
        QTest::newRow("Achtung") << 4;
        QTest::newRow("Update") << 5;
        QTest::newRow("Update, a second message while shown") << 6;
        QTest::newRow("error box") << 0;
    }
    void fixedWindowsMaximiseAndComeBack()
    {
        QFETCH(int, form);
        QWidget main;
        main.resize(640, 480);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        std::unique_ptr<QWidget> dialog;
        switch (form) {
        case 2: dialog = std::make_unique<TForm2>(&main); break;
        case 3: dialog = std::make_unique<TForm3>(&main); break;
        case 4: dialog = std::make_unique<TForm4>(&main); break;
        case 5:
        case 6: dialog = std::make_unique<TForm5>(&main); break;
        }
        QString failed;
        if (dialog) {
            dialog->show();
            if (form == 6) {
                QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
                static_cast<TForm5 *>(dialog.get())->setMessage(QStringLiteral("Version 2.1 ist erschienen, mit einer längeren Nachricht als zuvor"));
            }
            failed = maximiseAndBack(dialog.get());
        } else {
            // The error box waits in its own event loop: it is tried from there.
            QTimer::singleShot(0, [&] {
                QWidget *box = nullptr;
                waitUntil([&] { return (box = QApplication::activeModalWidget()) != nullptr; });
                failed = box ? maximiseAndBack(box) : QStringLiteral("no error box");
                if (box)
                    box->close();
            });
            platform::showErrorBox(QStringLiteral("Datei nicht gefunden"));
        }
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
    }
};

KORLITH_TEST_MAIN(TestWindowFrames)
#include "tst_windowframes.moc"
