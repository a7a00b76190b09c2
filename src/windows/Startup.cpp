// Start-up: the application's title, German standard dialogs and the windows in their order.
#include "Startup.h"

#include "FormSupport.h"

#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "platform/WindowFrames.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <csignal>

void initApplication(QApplication &app)
{
    Q_INIT_RESOURCE(korlith); // the icons, inside the static library

    // A file-size limit below a document's size must fail the write, not end the program with
    // the unsaved text. Interpreters get the default back before they start.
    signal(SIGXFSZ, SIG_IGN);

    // No display name: Qt would append it to every title the window manager draws.
    app.setApplicationName(QStringLiteral("Korlith"));
    app.setOrganizationName(QStringLiteral("Tolvane"));
    app.setApplicationVersion(QStringLiteral(KORLITH_VERSION));

    platform::letFixedWindowsMaximise(app);
    keepWindowsOnScreen(app);

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    // Qt's own texts in German: standard dialogs and buttons, and the preview's context menu.
    for (const char *catalogue : {"qtbase_de", "qtwebengine_de"}) {
        auto *translator = new QTranslator(&app);
        if (translator->load(QString::fromLatin1(catalogue), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            app.installTranslator(translator);
        else
            delete translator;
    }

    // Without a desktop session (Xvfb) there is no theme; Adwaita carries every image we name.
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    // The program's own icon, carried inside it, so that it shows installed or not.
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/korlith-%1.png").arg(size), QSize(size, size));
    app.setWindowIcon(icon);
}

void createForms()
{
    Form1 = new TForm1;
    // The dialogs belong to the main window: every window system keeps them above it and
    // places them over it (on Wayland that relation is all a program has to say).
    Form2 = new TForm2(Form1);
    Form3 = new TForm3(Form1);
    Form4 = new TForm4(Form1);
    Form5 = new TForm5(Form1);
}

void destroyForms()
{
    delete Form5;
    delete Form4;
    delete Form3;
    delete Form2;
    delete Form1;
    Form1 = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
    Form4 = nullptr;
    Form5 = nullptr;
}
