// TFileDialog: Qt's own (non-native) file dialog, German through Qt's catalogue.
#include "FileDialog.h"

#include "core/FileFilter.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QFileDialog>
#include <QLineEdit>
#include <QWindow>

TFileDialog::TFileDialog(Kind kind, const QString &windowsFilter, QWidget *parent, const QString &name)
    : QObject(parent), m_dialog(new QFileDialog(parent))
{
    setObjectName(name);
    m_dialog->setObjectName(name);
    m_dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    m_dialog->setOption(QFileDialog::HideNameFilterDetails, true);
    // The system's default options: open also takes a name that does not exist, and save
    // overwrites without asking.
    m_dialog->setFileMode(QFileDialog::AnyFile);
    m_dialog->setAcceptMode(kind == Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    if (kind == Save)
        m_dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!windowsFilter.isEmpty())
        m_dialog->setNameFilters(qtNameFilters(windowsFilter));
}

bool TFileDialog::Execute()
{
    m_dialog->selectFile(FileName);
    if (FileName.isEmpty()) {
        // selectFile() leaves the field as it was for an empty name.
        if (auto *field = m_dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            field->clear();
    }
    const int result = m_dialog->exec();
    // Return pressed while the name's completion list showed closes the dialog, not the list:
    // the list would stay on screen and take the next key.
    for (QLineEdit *edit : m_dialog->findChildren<QLineEdit *>())
        if (QCompleter *completer = edit->completer(); completer && completer->popup())
            completer->popup()->hide();
    // The window manager may hand the focus back while the list still counts as open; Qt then
    // drops that activation, and no window would take the keyboard.
    if (!QApplication::activeWindow()) {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && window->windowHandle() && window->windowHandle() == QGuiApplication::focusWindow()) {
                QT_WARNING_PUSH
                QT_WARNING_DISABLE_DEPRECATED
                QApplication::setActiveWindow(window);
                QT_WARNING_POP
            }
        }
    }
    if (result != QDialog::Accepted)
        return false;
    const QStringList files = m_dialog->selectedFiles();
    if (files.isEmpty())
        return false;
    FileName = files.first();
    return true;
}
