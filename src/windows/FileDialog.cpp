// TFileDialog: Qt's own (non-native) file dialog, German through Qt's catalogue.
#include "FileDialog.h"

#include "core/FileFilter.h"
#include "platform/FileNames.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QFileDialog>
#include <QLineEdit>
#include <QWindow>

namespace {
// Closes with no completion list open: a list still open while the dialog goes would stay on
// the screen, take the next click, and keep the window manager from handing the keyboard on.
class ListFreeFileDialog : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

protected:
    void done(int result) override
    {
        for (QLineEdit *edit : findChildren<QLineEdit *>())
            if (QCompleter *completer = edit->completer(); completer && completer->popup())
                completer->popup()->hide();
        QFileDialog::done(result);
    }
};
} // namespace

QFileDialog *newFileDialog(QWidget *parent)
{
    return new ListFreeFileDialog(parent);
}

TFileDialog::TFileDialog(Kind kind, const QString &windowsFilter, QWidget *parent, const QString &name)
    : QObject(parent), m_kind(kind), m_filter(windowsFilter), m_parent(parent)
{
    setObjectName(name);
}

QFileDialog *TFileDialog::dialog()
{
    // Made when first shown: the dialog's widgets, icons and file model cost the window's start
    // some twenty milliseconds.
    if (m_dialog)
        return m_dialog;
    m_dialog = newFileDialog(m_parent);
    m_dialog->setObjectName(objectName());
    m_dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    m_dialog->setOption(QFileDialog::HideNameFilterDetails, true);
    // The system's default options: open also takes a name that does not exist, and save
    // overwrites without asking.
    m_dialog->setFileMode(QFileDialog::AnyFile);
    m_dialog->setAcceptMode(m_kind == Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    if (m_kind == Save)
        m_dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!m_filter.isEmpty())
        m_dialog->setNameFilters(qtNameFilters(m_filter));
    return m_dialog;
}

bool TFileDialog::Execute()
{
    dialog(); // made at the first showing
    if (FileName.isEmpty() && !InitialDir.isEmpty())
        m_dialog->setDirectory(InitialDir);
    m_dialog->selectFile(FileName);
    if (FileName.isEmpty()) {
        // selectFile() leaves the field as it was for an empty name.
        if (auto *field = m_dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            field->clear();
    }
    if (execFileDialog(m_dialog) != QDialog::Accepted)
        return false;
    const QStringList files = m_dialog->selectedFiles();
    if (files.isEmpty())
        return false;
    FileName = platform::fileOnDisk(files.first());
    return true;
}

int execFileDialog(QFileDialog *dialog)
{
    const int result = dialog->exec();
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
    return result;
}
