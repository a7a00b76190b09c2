// Whether the clipboard's owner answers, asked without holding the window.
#pragma once

#include <QClipboard>
#include <QObject>
#include <QString>

#include <functional>

namespace platform {

// How long another program's clipboard gets to answer: a program that answers at all does so
// within milliseconds.
constexpr int ClipboardAnswerMs = 500;

struct ClipboardAnswer
{
    bool answered = true; // within ClipboardAnswerMs, or nobody holds it (reading it takes no time)
    bool hasText = false; // what it offers includes text
    // The text itself, read on the same connection (an owner that lists its kinds may still
    // never send the text): where fetched is false, the clipboard is read as Qt reads it.
    bool fetched = false;
    QString text;
};

// Asks the program that holds the clipboard (or the selection) for what it offers (and then for
// its text), each within ClipboardAnswerMs of the owner's last answer, on a thread
// of its own and a connection to the X server of its own, and then calls `then` on context's
// thread. At once where this program holds it itself, or where the window system is not X11
// (its clipboard does not wait on the other program). Nothing is called once context is gone.
// With withText, it is asked for its text as well (a paste); without, only for the list of
// what it offers (whether a paste could take something).
void whenClipboardAnswers(QObject *context, QClipboard::Mode mode, std::function<void(ClipboardAnswer)> then,
                          bool withText = false);

} // namespace platform
