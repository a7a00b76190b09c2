// The syntax table against PHP's own tokenizer: sample templates and classes, character by character.
#include "SyntaxAgreement.h"

#include <QDir>
#include <QStandardPaths>
#include <QtTest>

class TestSyntaxAgreement : public QObject
{
    Q_OBJECT

    QString m_php;

private slots:
    void initTestCase()
    {
        m_php = QStandardPaths::findExecutable(QStringLiteral("php"));
        QVERIFY2(!m_php.isEmpty(), "the PHP interpreter is needed");
    }

    // Every sample, whatever its encoding and line ends, agrees with token_get_all() everywhere.
    void samplesAgreeWithPhp()
    {
        const QDir dir(QStringLiteral(KORLITH_SOURCE_DIR "/tests/data/syntax"));
        QStringList files;
        for (const QString &name : dir.entryList({QStringLiteral("*.php")}, QDir::Files, QDir::Name))
            files << dir.filePath(name);
        QVERIFY(files.size() >= 8);
        QList<QByteArray> letters;
        QString error;
        QVERIFY2(tokenizerClasses(m_php, files, &letters, &error), qPrintable(error));
        AgreementCount all;
        int templates = 0;
        QStringList failures;
        for (int k = 0; k < files.size(); ++k) {
            QFile f(files[k]);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            QCOMPARE(letters[k].size(), bytes.size());
            const FileAgreement a = compareClasses(bytes, letters[k]);
            all.add(a.count);
            templates += a.mixedTemplate;
            if (a.differenceRuns)
                failures << QFileInfo(files[k]).fileName() + QStringLiteral(": ") + a.differences.join(QStringLiteral("; "));
        }
        qInfo("agreement with token_get_all(): %.4f %% of %lld non-blank characters, %.4f %% of all, %d templates",
              all.nonBlankPercent(), all.nonBlank, all.percent(), templates);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1Char('\n'))));
        QVERIFY(templates >= 5);
    }

    // The comparison sees a disagreement, where it is and what each side says.
    void disagreementIsReported()
    {
        const QByteArray bytes = "<p>\n<?php $a = 1; ?>\n";
        QList<QByteArray> letters;
        QString error;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("x.php"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        QVERIFY2(tokenizerClasses(m_php, {file}, &letters, &error), qPrintable(error));
        QCOMPARE(letters.first(), QByteArray("HHHHOOOOOOvvxxxnxxCCC"));
        QByteArray wrong = letters.first();
        wrong[12] = 'n'; // PHP "said" number at the blank after $a
        const FileAgreement a = compareClasses(bytes, wrong);
        QCOMPARE(a.differenceRuns, 1);
        QCOMPARE(a.count.characters, qint64(bytes.size() - 2));
        QCOMPARE(a.count.agreeing, a.count.characters - 1);
        QCOMPARE(a.count.nonBlankAgreeing, a.count.nonBlank);
        QVERIFY2(a.differences.first().startsWith(QStringLiteral("2:9 PHP number / ours code")), qPrintable(a.differences.first()));
    }

    void missingInterpreterIsAnError()
    {
        QList<QByteArray> letters;
        QString error;
        QVERIFY(!tokenizerClasses(QStringLiteral("/nonexistent/php"), {QStringLiteral("x.php")}, &letters, &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSyntaxAgreement)
#include "tst_syntaxagreement.moc"
