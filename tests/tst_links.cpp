// Link launcher, link label, About dialog and update notice, with a recording xdg-open on PATH.
#include "EditorPalette.h"
#include "LinkLabel.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "URL.h"
#include "Unit1.h"
#include "Unit3.h"
#include "Unit5.h"
#include "core/AppError.h"

#include <QGroupBox>
#include <QScopeGuard>
#include <QLabel>
#include <QMouseEvent>
#include <QStyleHints>
#include <QWindow>
#include <QPushButton>

namespace {

// Puts an xdg-open first on PATH that writes its arguments, one per line, to a file.
QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

struct RecordingLauncher
{
    IsolatedEnvironment env;
    QByteArray oldPath = qgetenv("PATH");
    QString record = env.root() + QStringLiteral("/launched.txt");

    RecordingLauncher()
    {
        const QString bin = env.root() + QStringLiteral("/bin");
        QDir().mkpath(bin);
        writeFile(bin + QStringLiteral("/xdg-open"),
                  "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '" + record.toLocal8Bit() + "'\n");
        QFile::setPermissions(bin + QStringLiteral("/xdg-open"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", bin.toLocal8Bit() + ':' + oldPath);
    }
    ~RecordingLauncher() { qputenv("PATH", oldPath); }

    // The targets launched so far, once the detached launchers have written them, sorted: the
    // launchers run side by side and may record in either order.
    QStringList launched(int expected) const
    {
        waitUntil([&] { return readAll(record).count('\n') >= expected; }, 5000);
        QTest::qWait(50);
        QStringList targets = QString::fromLocal8Bit(readAll(record)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        targets.sort();
        return targets;
    }
};

} // namespace

class TestLinks : public QObject
{
    Q_OBJECT

private slots:
    void urlLauncherBuildsItsTargets()
    {
        RecordingLauncher shell;
        TURL url;
        QCOMPARE(url.URLType(), TURL::utHttp);
        QVERIFY(!url.OpenURL()); // empty: the shell is not called
        url.setURL(QStringLiteral("www.tolvane.example"));
        QVERIFY(url.OpenURL());
        url.setURL(QStringLiteral("http://www.tolvane.example"));
        QVERIFY(url.OpenURL());
        url.setURLType(TURL::utMailto);
        url.setURL(QStringLiteral("a b@example.org"));
        QVERIFY(url.OpenURL());
        const QString longTarget = QStringLiteral("www.example.org/") + QString(100, QLatin1Char('x'));
        url.setURLType(TURL::utHttps);
        url.setURL(longTarget);
        QVERIFY(url.OpenURL());
        QCOMPARE(shell.launched(4), sorted({"http://www.tolvane.example", "http://http://www.tolvane.example",
                                            "mailto:a b@example.org", "https://" + longTarget}));
        const QStringList prefixes = {"file://", "ftp://", "gopher://", "http://", "https://", "mailto:", "news:", "telnet:", "wais:"};
        for (int i = 0; i < prefixes.size(); ++i) {
            QCOMPARE(TURL::prefix(TURL::TURLType(i)), prefixes[i]);
            QCOMPARE(TLinkLabel::prefix(TLinkLabel::tLinkType(i)), prefixes[i]);
        }
    }

    void launcherMissingIsARefusal()
    {
        IsolatedEnvironment env;
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", (env.root() + QStringLiteral("/nothing")).toLocal8Bit());
        TURL url;
        url.setURL(QStringLiteral("www.tolvane.example"));
        const bool opened = url.OpenURL();
        qputenv("PATH", oldPath);
        QVERIFY(!opened);
    }

    void linkLabelPropertiesAndPress()
    {
        RecordingLauncher shell;
        QWidget form;
        QGroupBox *box = new QGroupBox(&form);
        bool refused = false;
        try {
            TLinkLabel notOnAForm(box);
        } catch (const AppError &e) {
            refused = e.message() == QLatin1String("Invalid class typecast");
        }
        QVERIFY(refused);

        auto *label = new TLinkLabel(&form);
        QCOMPARE(label->parentWidget(), &form);
        QCOMPARE(label->text(), QString());
        QCOMPARE(label->LinkType(), TLinkLabel::lthttp);
        QVERIFY(label->font().underline());
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
        form.show();
        label->resize(100, 20);

        // An empty address launches the bare prefix.
        QTest::mousePress(label, Qt::LeftButton);
        label->setHyperLink(QStringLiteral("post@example.org"));
        QCOMPARE(label->text(), QStringLiteral("post@example.org"));
        label->setLinkType(TLinkLabel::ltmailto);
        QCOMPARE(label->text(), QStringLiteral("post@example.org"));
        label->setHyperLink(QStringLiteral("other@example.org"));
        QCOMPARE(label->text(), QStringLiteral("post@example.org"));
        // Later than a double-click's second press would come.
        QTest::mousePress(label, Qt::LeftButton, {}, QPoint(),
                          QGuiApplication::styleHints()->mouseDoubleClickInterval() + 10);
        QTest::mousePress(label, Qt::RightButton);
        QCOMPARE(shell.launched(2), QStringList({"http://", "mailto:other@example.org"}));
    }

    // On a dark desktop theme the About dialog's blue links and red titles stay blue and red,
    // light enough to read (4.5:1) on the dark window; on a light one they are as named.
    void linksAndTitlesReadOnADarkWindow()
    {
        const QPalette before = QApplication::palette();
        auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
        QPalette dark = before;
        dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
        dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
        QApplication::setPalette(dark);
        RecordingLauncher shell;
        ProgramForms forms;
        for (const char *name : {"LinkLabel1", "LinkLabel2", "Label1", "Label2"}) {
            auto *label = Form3->findChild<QLabel *>(QString::fromLatin1(name));
            QVERIFY(label);
            const QColor text = label->palette().color(QPalette::WindowText);
            const QColor back = label->palette().color(QPalette::Window);
            QVERIFY2(EditorPalette::contrast(text, back) >= 4.5,
                     qPrintable(QStringLiteral("%1: %2 on %3").arg(QLatin1String(name), text.name(), back.name())));
            if (qobject_cast<TLinkLabel *>(label))
                QVERIFY2(text.blue() > text.red() && text.blue() > text.green(), qPrintable(text.name()));
            else
                QVERIFY2(text.red() > text.green() && text.red() > text.blue(), qPrintable(text.name()));
        }
        forms.destroy();
        QApplication::setPalette(before);
        QWidget form;
        form.setPalette(QPalette(QColor(0xf0, 0xf0, 0xf0)));
        QCOMPARE(TLinkLabel(&form).palette().color(QPalette::WindowText), QColor(0, 0, 255));
    }

    // A double-click as the window system delivers it: two presses in quick succession.
    void doubleClickOpensOnce()
    {
        RecordingLauncher shell;
        QWidget form;
        auto *label = new TLinkLabel(&form);
        label->setHyperLink(QStringLiteral("www.example.org"));
        label->setGeometry(10, 10, 120, 20);
        form.resize(200, 60);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QWindow *window = form.windowHandle();
        const QPoint at = label->mapTo(&form, label->rect().center());
        const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
        QTest::mouseDClick(window, Qt::LeftButton, {}, at);
        // As X delivers it to the label: two presses within the interval, by their time stamps.
        auto press = [&](ulong timestamp) {
            const QPointF pos = label->rect().center();
            QMouseEvent event(QEvent::MouseButtonPress, pos, label->mapToGlobal(pos), Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            event.setTimestamp(timestamp);
            QApplication::sendEvent(label, &event);
        };
        press(100000);
        press(100000 + ulong(interval) / 2);
        // A single click later, after the double-click interval, opens again.
        QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(), interval + 10);
        QCOMPARE(shell.launched(3), QStringList(3, QStringLiteral("http://www.example.org")));
    }

    void aboutAnswersReturnAndKeepsItsCaptionsApart()
    {
        RecordingLauncher shell;
        shell.env.writeRegistry(ConfiguredOnly);
        ProgramForms forms;
        // "Homepage:" as drawn ends well before its link starts; so do the other captions.
        const std::pair<const char *, const char *> rows[] = {
            {"Label5", "LinkLabel1"}, {"Label8", "Label9"}, {"Label6", "LinkLabel2"}};
        for (const auto &[captionName, valueName] : rows) {
            auto *caption = Form3->findChild<QLabel *>(QString::fromLatin1(captionName));
            auto *value = Form3->findChild<QLabel *>(QString::fromLatin1(valueName));
            const int textEnd = caption->mapTo(Form3, QPoint(0, 0)).x()
                                + QFontMetrics(caption->font()).horizontalAdvance(caption->text());
            const int valueStart = value->mapTo(Form3, QPoint(0, 0)).x();
            QVERIFY2(valueStart - textEnd >= QFontMetrics(caption->font()).horizontalAdvance(QLatin1Char(' ')),
                     qPrintable(QStringLiteral("%1 ends at %2, %3 starts at %4").arg(captionName).arg(textEnd)
                                    .arg(valueName).arg(valueStart)));
            QVERIFY(value->geometry().right() < Form3->width());
        }
        // The dialog keeps its own size: no empty strip beside the moved links.
        QCOMPARE(Form3->size(), QSize(325, 252));

        // Return and the keypad's Enter press the focused "OK".
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
            bool pressed = false;
            QTimer::singleShot(0, [&] {
                if (!activate(Form3))
                    return;
                QWidget *focused = QApplication::focusWidget();
                if (focused != Form3->findChild<QPushButton *>(QStringLiteral("Button1")))
                    return;
                QTest::keyClick(focused, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
                pressed = !Form3->isVisible();
                if (!pressed)
                    Form3->reject();
            });
            Form1->action("Info1")->trigger();
            QVERIFY2(pressed, key == Qt::Key_Return ? "Return" : "Enter");
        }
        forms.destroy();
        QCOMPARE(shell.launched(0), QStringList());
    }

    void aboutAndNoticeOpenTheirLinks()
    {
        RecordingLauncher shell;
        shell.env.writeRegistry(ConfiguredOnly);
        ProgramForms forms;
        auto *mail = Form3->findChild<TLinkLabel *>(QStringLiteral("LinkLabel1"));
        auto *web = Form3->findChild<TLinkLabel *>(QStringLiteral("LinkLabel2"));
        QCOMPARE(mail->LinkType(), TLinkLabel::ltmailto);
        QVERIFY(web->text().startsWith(QStringLiteral("http://")));
        QCOMPARE(web->text(), QStringLiteral("http://") + web->HyperLink());
        QCOMPARE(Form3->windowTitle(), QStringLiteral("Info"));

        // Presses inside the modal dialog launch at once; the dialog stays open until OK.
        bool stillOpen = false;
        QTimer::singleShot(0, [&] {
            QTest::mousePress(mail, Qt::LeftButton);
            QTest::mousePress(web, Qt::LeftButton);
            stillOpen = Form3->isVisible();
            QTest::mouseClick(Form3->findChild<QPushButton *>(QStringLiteral("Button1")), Qt::LeftButton);
        });
        Form1->action("Info1")->trigger();
        QVERIFY(stillOpen);
        QVERIFY(!Form3->isVisible());

        // "Korlith Online" and the notice's button open the web site; the notice stays open.
        Form1->action("KorlithOnline1")->trigger();
        Form5->show();
        QTest::mouseClick(Form5->findChild<QPushButton *>(QStringLiteral("Button1")), Qt::LeftButton);
        QVERIFY(Form5->isVisible());
        QTest::mouseClick(Form5->findChild<QPushButton *>(QStringLiteral("Button2")), Qt::LeftButton);
        QVERIFY(!Form5->isVisible());
        const QStringList launched = shell.launched(4);
        const QString mailTarget = mail->target(), webTarget = web->target();
        forms.destroy();
        QCOMPARE(launched, sorted({mailTarget, webTarget, webTarget, webTarget}));
        QVERIFY(mailTarget.startsWith(QStringLiteral("mailto:")) && mailTarget.contains(QLatin1Char('@')));
    }
};

KORLITH_TEST_MAIN(TestLinks)
#include "tst_links.moc"
