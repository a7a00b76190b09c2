// The environment variables the program sets for its own libraries (Qt's window system, the
// web engine) stay its own: what it starts (the interpreter, the help viewer, the program that
// opens an address) gets the environment the program was given.
#pragma once

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>

namespace platform {

// Sets a variable for the program itself; the first value it had (or none) is kept.
void setProgramVariable(const char *name, const QByteArray &value);

// The environment as the program found it, "NAME=value" entries: its own variables given back
// the values they had, or taken out again.
QList<QByteArray> givenEnvironment();
QProcessEnvironment givenProcessEnvironment();

// Starts a program with the given environment, detached from this one; false if it did not start.
bool startDetachedProgram(const QString &program, const QStringList &arguments);

} // namespace platform
