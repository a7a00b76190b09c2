// Agreement of the syntax table with PHP's own tokenizer over files and folders, printed as figures.
// Usage: bench_syntax_agreement [--php PATH] [--show N] FILE-OR-FOLDER...
// Folders are searched for .php, .phtml and .inc files.
#include "SyntaxAgreement.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString php = QStringLiteral("php");
    int show = 3;
    QStringList files;
    for (int k = 0; k < args.size(); ++k) {
        if (args[k] == QLatin1String("--php") && k + 1 < args.size()) {
            php = args[++k];
        } else if (args[k] == QLatin1String("--show") && k + 1 < args.size()) {
            show = args[++k].toInt();
        } else if (QFileInfo(args[k]).isDir()) {
            QDirIterator it(args[k], {QStringLiteral("*.php"), QStringLiteral("*.phtml"), QStringLiteral("*.inc")},
                            QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                files << it.next();
        } else {
            files << args[k];
        }
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: bench_syntax_agreement [--php PATH] [--show N] FILE-OR-FOLDER...\n");
        return 2;
    }
    files.sort();
    QList<QByteArray> letters;
    QString error;
    if (!tokenizerClasses(php, files, &letters, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    AgreementCount all, templates;
    int templateFiles = 0, differing = 0;
    for (int k = 0; k < files.size(); ++k) {
        QFile f(files[k]);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const FileAgreement a = compareClasses(f.readAll(), letters[k], show);
        all.add(a.count);
        if (a.mixedTemplate) {
            templates.add(a.count);
            ++templateFiles;
        }
        if (a.differenceRuns) {
            ++differing;
            std::printf("%s: %d differing runs, %.4f %% of non-blank characters agree\n", qPrintable(files[k]),
                        a.differenceRuns, a.count.nonBlankPercent());
            for (const QString &d : a.differences)
                std::printf("    %s\n", qPrintable(d));
        }
    }
    std::printf("\nfiles: %lld, of them mixed templates: %d, with differences: %d\n", qint64(files.size()), templateFiles,
                differing);
    std::printf("mixed templates: %.4f %% of %lld non-blank characters agree (%.4f %% of all characters)\n",
                templates.nonBlankPercent(), templates.nonBlank, templates.percent());
    std::printf("all files:       %.4f %% of %lld non-blank characters agree (%.4f %% of all characters)\n",
                all.nonBlankPercent(), all.nonBlank, all.percent());
    return 0;
}
