// The floor the benchmarks measure an editor against: a bare QPlainTextEdit window that links
// nothing but Qt Widgets, showing the file named as its argument.
#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QPlainTextEdit editor;
    editor.setLineWrapMode(QPlainTextEdit::NoWrap);
    if (argc > 1) {
        QFile file(QString::fromLocal8Bit(argv[1]));
        if (file.open(QIODevice::ReadOnly))
            editor.setPlainText(QString::fromUtf8(file.readAll()));
    }
    editor.resize(800, 600);
    editor.show();
    return app.exec();
}
