// Shared window behaviour of the dialogs: fixed single border, centred on first showing.
#pragma once

#include "platform/ErrorBox.h"

#include <QAbstractButton>
#include <QColor>

#include <QShowEvent>

class QWidget;

// A dialog's show event. The window system shows a dialog again after a restore: that is no
// showing of the program's, and only passes on (what the user typed stays, nothing is stored
// again). The program's own showing places the dialog, shows it with focus on the first
// control, and then runs the form's show handler through the error guard.
template <class Form, class Place, class PassOn>
void handleShowEvent(Form *form, QShowEvent *event, Place place, PassOn passOn, QWidget *firstControl,
                     void (Form::*formShow)())
{
    if (event->spontaneous()) {
        passOn(event);
        return;
    }
    place();
    passOn(event);
    firstControl->setFocus();
    platform::guarded([&] { (form->*formShow)(); });
}

// A button's click runs the form's handler through the error guard.
template <class Form>
void connectClick(QAbstractButton *button, Form *form, void (Form::*handler)())
{
    QObject::connect(button, &QAbstractButton::clicked, form,
                     [form, handler] { platform::guarded([&] { (form->*handler)(); }); });
}

// Fixed size at the current geometry, system menu and close box only, dialog font,
// and no quitting of the program when the window closes.
void makeFixedDialog(QWidget *window);

// Centres the window on its screen the first time it is shown; later showings keep the
// last position. Call from the window's show event.
void centreOnFirstShow(QWidget *window, bool &shownBefore);

// Keeps every window of the program in its screen's work area after the screen changes (its
// size, a panel that takes room, the window taken to another screen): a window whose frame no
// longer fits is made to fit if it can be resized and moved back, title bar first. A window
// with an invokable fitToScreen() makes its own size fit first.
class QGuiApplication;
void keepWindowsOnScreen(QGuiApplication &app);

// Moves the window so that its frame lies in its screen's work area; one larger than the work
// area keeps its top-left corner (title bar and menus) in it.
void keepFrameOnScreen(QWidget *window);

// A colour a form names for its text (blue links, red titles) as it stands on a light window; on
// a dark one (a dark desktop theme) lightened until it reads at 4.5:1 against the background.
QColor namedColourOn(const QColor &named, const QColor &background);

// Centres the window over another one.
void centreOver(QWidget *window, const QWidget *over);

class QLineEdit;

// A modeless search dialog: dialog font, title and close box, no quitting of the program.
void makeSearchDialog(QWidget *dialog);

// Shows the search dialog, or brings it to the front, with its search text selected.
void showSearchDialog(QWidget *dialog, QLineEdit *searchField);
