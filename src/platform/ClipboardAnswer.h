// Whether the clipboard's owner answers, asked without holding the window.
#pragma once

#include <QClipboard>
#include <QObject>

#include <functional>

namespace platform {

// How long another program's clipboard gets to answer: a program that answers at all does so
// within milliseconds.
constexpr int ClipboardAnswerMs = 500;

struct ClipboardAnswer
{
    bool answered = true; // within ClipboardAnswerMs, or nobody holds it (reading it takes no time)
    bool hasText = false; // what it offers includes text
};

// Asks the program that holds the clipboard (or the selection) for what it offers, on a thread
// of its own and a connection to the X server of its own, and then calls `then` on context's
// thread. At once where this program holds it itself, or where the window system is not X11
// (its clipboard does not wait on the other program). Nothing is called once context is gone.
void whenClipboardAnswers(QObject *context, QClipboard::Mode mode, std::function<void(ClipboardAnswer)> then);

} // namespace platform
