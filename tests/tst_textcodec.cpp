// Document bytes to text and back: encodings, line breaks, filters, reading and writing files.
#include "TestSupport.h"
#include "core/AppError.h"
#include "core/Document.h"
#include "core/EditorBytes.h"
#include "core/EditorText.h"
#include "core/FileFilter.h"
#include "core/FileNameCodec.h"
#include "core/TextCodec.h"

#include <QRandomGenerator>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

class TestTextCodec : public QObject
{
    Q_OBJECT

private slots:
    void roundTripsByteForByte_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<int>("lineEnd");
        QTest::addColumn<bool>("mixed");
        QByteArray all;
        for (int b = 1; b < 256; ++b)
            all += char(b);
        const int lf = TextFormat::Lf, crlf = TextFormat::CrLf, cr = TextFormat::Cr;
        QTest::newRow("utf-8 lf") << QByteArray("<?php\necho 'Grüße';\n") << int(TextFormat::Utf8) << lf << false;
        QTest::newRow("utf-8 crlf") << QByteArray("<?php\r\necho 'Grüße';\r\n") << int(TextFormat::Utf8) << crlf << false;
        QTest::newRow("utf-8 cr") << QByteArray("<?php\recho 'Grüße';\r") << int(TextFormat::Utf8) << cr << false;
        QTest::newRow("utf-8 bom") << QByteArray("\xEF\xBB\xBF<?php echo 1;") << int(TextFormat::Utf8) << lf << false;
        QTest::newRow("1252 crlf") << QByteArray("<?php\r\necho 'Gr\xFC\xDF" "e \x80 \x93x\x94';\r\n") << int(TextFormat::Windows1252) << crlf << false;
        QTest::newRow("1252 every byte") << all << int(TextFormat::Windows1252) << lf << true;
        QTest::newRow("1252 mixed") << QByteArray("<?php // \xFC\r\necho 1;\necho 2;\r\n") << int(TextFormat::Windows1252) << crlf << true;
        QTest::newRow("mixed, ties to lf") << QByteArray("a\r\nb\nc\rd") << int(TextFormat::Utf8) << lf << true;
        QTest::newRow("mostly crlf") << QByteArray("<?php // a\r\necho 1;\necho 2;\r\n") << int(TextFormat::Utf8) << crlf << true;
        QTest::newRow("cr before crlf") << QByteArray("a\r\r\n\r\r") << int(TextFormat::Utf8) << cr << true;
        QTest::newRow("lf cr is two") << QByteArray("a\n\rb\n") << int(TextFormat::Utf8) << lf << true;
        QTest::newRow("empty") << QByteArray() << int(TextFormat::Utf8) << lf << false;
    }

    void roundTripsByteForByte()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, encoding);
        QFETCH(int, lineEnd);
        QFETCH(bool, mixed);
        const DecodedText doc = decodeText(bytes);
        QCOMPARE(int(doc.format.encoding), encoding);
        QCOMPARE(int(doc.format.lineEnd), lineEnd);
        QCOMPARE(!doc.lineEnds.isEmpty(), mixed);
        // The editor gets one kind of line break, each one a line.
        QVERIFY(!doc.text.contains(QLatin1Char('\r')));
        if (mixed)
            QCOMPARE(doc.lineEnds.size(), doc.text.count(QLatin1Char('\n')));
        QCOMPARE(encodeText(doc.text, doc.format, doc.lineEnds), bytes);
    }

    // Lines added to a file with mixed line ends take its most frequent one.
    void addedLinesTakeTheMostFrequentLineEnd()
    {
        const DecodedText doc = decodeText("a\nb\r\nc\r\n");
        QCOMPARE(doc.format.lineEnd, TextFormat::CrLf);
        QCOMPARE(doc.lineEnds, QList<TextFormat::LineEnd>({TextFormat::Lf, TextFormat::CrLf, TextFormat::CrLf}));
        QCOMPARE(encodeText(doc.text + QStringLiteral("d\ne\n"), doc.format, doc.lineEnds),
                 QByteArray("a\nb\r\nc\r\nd\r\ne\r\n"));
        TextFormat mac;
        mac.lineEnd = TextFormat::Cr;
        QCOMPARE(encodeText(QStringLiteral("x\ny\n"), mac), QByteArray("x\ry\r"));
    }

    // Each character of the editor's text leads back to its first byte in the file.
    void charactersLeadBackToTheirBytes()
    {
        struct Case
        {
            QByteArray bytes;
            QList<int> offsets;
        };
        const Case cases[] = {
            {"\xEF\xBB\xBF" "a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80" "b", {3, 4, 6, 9, 9, 13}}, // BOM, 2-, 3-, 4-byte
            {"a\r\nb\r\n", {0, 1, 3, 4}},                                                   // CR LF throughout
            {"a\r\nb\n", {0, 1, 3, 4}},                                                       // mixed
            {"a\rb\r\n", {0, 1, 2, 3}},                                                       // CR alone
            {"\xE4\x80x", {0, 1, 2}},                                                          // Windows-1252
        };
        for (const Case &c : cases) {
            const DecodedText decoded = decodeText(c.bytes);
            QCOMPARE(sourceOffsets(c.bytes, decoded), c.offsets);
            QCOMPARE(decoded.text.size(), c.offsets.size());
        }
    }

    void legacyTextReadsAsWindows1252()
    {
        const DecodedText doc = decodeText("Gr\xFC\xDF" "e \x80\x85");
        QCOMPARE(doc.text, QStringLiteral("Grüße €…"));
        QVERIFY(!doc.format.byteOrderMark);
        QCOMPARE(decodeText("\xEF\xBB\xBFx").text, QStringLiteral("x"));
    }

    void textBeyondWindows1252IsNotLost()
    {
        TextFormat legacy;
        legacy.encoding = TextFormat::Windows1252;
        legacy.lineEnd = TextFormat::CrLf;
        QCOMPARE(encodeText(QStringLiteral("ä€\n"), legacy), QByteArray("\xE4\x80\r\n"));
        // An arrow has no place in 1252: the whole text goes out as UTF-8 instead.
        QCOMPARE(encodeText(QStringLiteral("ä→\n"), legacy), QByteArray("ä→\r\n"));
    }

    // File names keep their bytes: UTF-8 ones read as Qt reads them, any other byte comes back.
    void editorTextIsWrittenAsItsComposition()
    {
        // The save's one pass against what it stands for: the stand-ins back, the document's
        // breaks as "\n", then the file's encoding and line ends. The characters are those
        // each step treats apart: ASCII runs (eight at a time) broken at every place, breaks of
        // both kinds, stand-ins with and without their escape, umlauts, pairs and lone halves
        // of surrogates, Windows-1252's own and what it lacks.
        const QList<char16_t> alphabet{u'a', u'Z', u' ', u'\t', u'\n', 0x2029, 0xF8E0, 0xF8E1, 0xF8E2, 0xF8E3,
                                       0xFDD0, u'ä', 0x20AC, 0x2192, 0xD83D, 0xDE00, 0x7F, 0x80, 0x3F};
        QRandomGenerator random(20261211);
        for (int round = 0; round < 3000; ++round) {
            QString held;
            const int length = int(random.bounded(60));
            for (int i = 0; i < length; ++i) {
                if (random.bounded(3) == 0)
                    held += QChar(alphabet[random.bounded(int(alphabet.size()))]);
                else
                    held += QLatin1String("<?php echo 1; ?>").mid(int(random.bounded(16)), 1);
            }
            TextFormat format;
            format.encoding = random.bounded(4) == 0 ? TextFormat::Windows1252 : TextFormat::Utf8;
            format.byteOrderMark = random.bounded(3) == 0;
            format.lineEnd = TextFormat::LineEnd(random.bounded(3));
            QList<TextFormat::LineEnd> ends;
            if (random.bounded(2) == 0)
                for (int i = int(random.bounded(8)); i > 0; --i)
                    ends << TextFormat::LineEnd(random.bounded(3));
            const QByteArray expected
                = encodeText(fromEditorForm(QString(held).replace(QChar::ParagraphSeparator, QLatin1Char('\n'))), format, ends);
            const qsizetype piece = round % 2 ? 16 : 1 << 20;
            EditorBytes bytes(held, format, ends, piece);
            QByteArray pieces;
            for (QByteArrayView next = bytes.next(); !next.isEmpty(); next = bytes.next())
                pieces += next;
            QVERIFY2(pieces == expected, qPrintable(QStringLiteral("round %1: %2 for %3").arg(round).arg(
                                              QString::fromLatin1(pieces.toHex(' ')), QString::fromLatin1(expected.toHex(' ')))));
            QCOMPARE(EditorBytes(held, format, ends, piece).rest(), expected);
        }
        // A save writes the pieces as they come: the file holds every one, in order.
        IsolatedEnvironment env;
        QString held;
        for (int i = 0; i < 50000; ++i)
            held += QStringLiteral("<?php echo 'Grüße %1'; ?>").arg(i) + QChar::ParagraphSeparator;
        const QString path = env.root() + QStringLiteral("/gross.php");
        TextFormat crlf;
        crlf.lineEnd = TextFormat::CrLf;
        EditorBytes bytes(held, crlf, {}, 4096);
        saveDocument(path, bytes);
        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), held.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n")).toUtf8());
    }

    void fileNamesRoundTripByteForByte_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ASCII") << QByteArray("/tmp/a b.php");
        QTest::newRow("UTF-8") << QByteArray("/tmp/gr\xc3\xbc\xc3\x9f\x65 \xf0\x9f\x98\x80.php");
        QTest::newRow("Latin-1") << QByteArray("/tmp/gr\xfc\xdf\x65.php");
        QTest::newRow("overlong slash") << QByteArray("/tmp/\xc0\xaf.php");
        QTest::newRow("encoded surrogate") << QByteArray("/tmp/\xed\xa0\x80.php");
        QTest::newRow("cut sequence") << QByteArray("/tmp/\xe2\x82");
        QTest::newRow("emoji, then a stray byte") << QByteArray("\xf0\x9f\x98\x80\xff\x80");
        QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80");
    }
    void fileNamesRoundTripByteForByte()
    {
        QFETCH(QByteArray, bytes);
        const QString name = decodeFileName(bytes);
        QCOMPARE(encodeFileName(name), bytes);
        const bool utf8 = isValidUtf8(bytes);
        QCOMPARE(name == QString::fromUtf8(bytes), utf8);
        QCOMPARE(displayFileName(name).contains(QChar::ReplacementCharacter), !utf8);
    }

    void filtersShowTheirDescriptions()
    {
        QCOMPARE(qtNameFilters(QStringLiteral("PHP-Dateien (*.php;*.php3)|*.php;*.php3|Alle Dateien (*.*)|*.*")),
                 QStringList({"PHP-Dateien (*.php;*.php3) (*.php *.php3)", "Alle Dateien (*.*) (*)"}));
        QCOMPARE(qtNameFilters(QString()), QStringList());
    }

    void filesAreReadAndWrittenWhole()
    {
        IsolatedEnvironment env;
        const QString path = env.root() + QStringLiteral("/legacy.php");
        const QByteArray legacy = "<?php\r\necho \"Stra\xDF" "e\";\r\n";
        writeFile(path, legacy);
        const DecodedText doc = loadDocument(path);
        QCOMPARE(doc.text, QStringLiteral("<?php\necho \"Straße\";\n"));
        saveDocument(path, doc.text, doc.format);
        QCOMPARE(readAll(path), legacy);
        // A file that says it is empty and is not (as under /proc) is read whole all the same.
        QFile kernel(QStringLiteral("/proc/version"));
        QVERIFY(kernel.open(QIODevice::ReadOnly) && kernel.size() == 0);
        QCOMPARE(loadDocument(kernel.fileName()).text, QString::fromUtf8(kernel.readAll()));

        // The message as it stands, and the system's reason beside it.
        QString reason;
        auto openError = [&reason](const QString &p) {
            reason.clear();
            try {
                loadDocument(p);
                return QString();
            } catch (const AppError &e) {
                reason = e.reason();
                return e.message();
            }
        };
        QCOMPARE(openError(env.root() + QStringLiteral("/missing.php")),
                 QStringLiteral("Cannot open file %1/missing.php").arg(env.root()));
        QCOMPARE(reason, QStringLiteral("No such file or directory"));
        QCOMPARE(openError(env.root()), QStringLiteral("Cannot open file %1").arg(env.root()));
        QCOMPARE(reason, QStringLiteral("Is a directory"));
        QCOMPARE(openError(QStringLiteral("/dev/null")), QStringLiteral("Cannot open file /dev/null"));
        QCOMPARE(reason, QStringLiteral("Unter diesem Namen steht ein Gerät, keine Datei."));
    }

    // A save keeps the file's mode, whether the new text replaces the file or goes into it in
    // place (a file with a second name); a new file takes the mode the umask leaves.
    void savesKeepTheFilesMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("secondName");
        QTest::newRow("private") << 0600 << false;
        QTest::newRow("executable") << 0755 << false;
        QTest::newRow("for the group") << 0640 << false;
        QTest::newRow("private, with a second name") << 0600 << true;
        QTest::newRow("executable, with a second name") << 0755 << true;
    }
    void savesKeepTheFilesMode()
    {
        QFETCH(int, mode);
        QFETCH(bool, secondName);
        IsolatedEnvironment env;
        const auto modeOf = [](const QString &p) {
            struct stat st;
            return ::stat(QFile::encodeName(p).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
        };
        const QString path = env.root() + QStringLiteral("/a.php");
        writeFile(path, "alt");
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
        if (secondName)
            QCOMPARE(::link(QFile::encodeName(path).constData(), QFile::encodeName(env.root() + QStringLiteral("/b.php")).constData()), 0);
        saveDocument(path, QStringLiteral("neu"), TextFormat());
        QCOMPARE(readAll(path), QByteArray("neu"));
        QCOMPARE(modeOf(path), mode);

        const mode_t old = ::umask(077);
        const auto restore = qScopeGuard([old] { ::umask(old); });
        const QString fresh = env.root() + QStringLiteral("/neu.php");
        saveDocument(fresh, QStringLiteral("neu"), TextFormat());
        QCOMPARE(modeOf(fresh), 0600);
    }

    void failedWriteLeavesTheFile()
    {
        IsolatedEnvironment env;
        QString reason;
        auto saveError = [&reason](const QString &p) {
            reason.clear();
            try {
                saveDocument(p, QStringLiteral("neu"), TextFormat());
                return QString();
            } catch (const AppError &e) {
                reason = e.reason();
                return e.message();
            }
        };
        const QString missingDir = env.root() + QStringLiteral("/no such dir/x.php");
        QCOMPARE(saveError(missingDir), QStringLiteral("Cannot create file ") + missingDir);
        QCOMPARE(reason, QStringLiteral("No such file or directory"));
        // A target that is a directory cannot be replaced; it stays as it was.
        const QString dir = env.root() + QStringLiteral("/adir");
        QDir().mkpath(dir);
        writeFile(dir + QStringLiteral("/inside"), "kept");
        QCOMPARE(saveError(dir), QStringLiteral("Cannot create file ") + dir);
        QCOMPARE(reason, QStringLiteral("Is a directory"));
        QCOMPARE(readAll(dir + QStringLiteral("/inside")), QByteArray("kept"));
        if (geteuid() != 0) {
            // A file the user may not write, in their own folder: refused, and kept as it was.
            const QString locked = env.root() + QStringLiteral("/schreibgeschuetzt.php");
            writeFile(locked, "alt");
            QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
            QCOMPARE(saveError(locked), QStringLiteral("Cannot create file ") + locked);
            QCOMPARE(reason, QStringLiteral("Permission denied"));
            QCOMPARE(readAll(locked), QByteArray("alt"));
            QCOMPARE(QFile::permissions(locked), QFile::ReadOwner | QFile::ReadUser | QFile::ReadGroup | QFile::ReadOther);
            QFile::remove(locked);
            // A folder the user may not write to takes no temporary file: a file there that the
            // user may write is written in place; one they may not, and a new one, are refused.
            const QString ro = env.root() + QStringLiteral("/ro");
            QDir().mkpath(ro);
            writeFile(ro + QStringLiteral("/old.php"), "alt");
            writeFile(ro + QStringLiteral("/locked.php"), "alt");
            QFile::setPermissions(ro + QStringLiteral("/locked.php"), QFile::ReadOwner);
            QFile::setPermissions(ro, QFile::ReadOwner | QFile::ExeOwner);
            const auto writable = qScopeGuard([&] { QFile::setPermissions(ro, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
            QCOMPARE(saveError(ro + QStringLiteral("/old.php")), QString());
            QCOMPARE(readAll(ro + QStringLiteral("/old.php")), QByteArray("neu"));
            QCOMPARE(saveError(ro + QStringLiteral("/locked.php")), QStringLiteral("Cannot create file %1/locked.php").arg(ro));
            QCOMPARE(readAll(ro + QStringLiteral("/locked.php")), QByteArray("alt"));
            QCOMPARE(saveError(ro + QStringLiteral("/new.php")), QStringLiteral("Cannot create file %1/new.php").arg(ro));
            QCOMPARE(reason, QStringLiteral("Permission denied"));
            QCOMPARE(QDir(ro).entryList(QDir::Files | QDir::Hidden), QStringList({QStringLiteral("locked.php"), QStringLiteral("old.php")}));
            // The safe copy made on the way is gone too.
            QCOMPARE(QDir(env.stateHome()).entryList(QDir::Files | QDir::Hidden), QStringList());
            QCOMPARE(QDir(env.stateHome() + QStringLiteral("/Korlith")).entryList(QDir::Files | QDir::Hidden), QStringList());
        }
        // No temporary file is left beside the target.
        QCOMPARE(QDir(env.root()).entryList(QDir::Files), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestTextCodec)
#include "tst_textcodec.moc"
