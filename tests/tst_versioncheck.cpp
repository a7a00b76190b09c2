// The version file's evaluation: lines and the published number. Built with the undefined-
// behaviour checker, so an overflow in the arithmetic fails the suite.
#include "core/VersionCheck.h"

#include <QtTest>
#include <climits>

class TestVersionCheck : public QObject
{
    Q_OBJECT

private slots:
    void versionNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value"); // INT_MIN: not a number
        const int none = INT_MIN;
        QTest::newRow("decimal") << "101" << 101;
        QTest::newRow("leading blanks") << "   101" << 101;
        QTest::newRow("leading tab") << "\t101" << none;
        QTest::newRow("trailing blank") << "101 " << none;
        QTest::newRow("sign") << "-5" << -5;
        QTest::newRow("plus") << "+7" << 7;
        QTest::newRow("dollar hex") << "$65" << 0x65;
        QTest::newRow("0x hex") << "0x65" << 0x65;
        QTest::newRow("0X hex") << "0X6f" << 0x6f;
        QTest::newRow("x hex") << "x10" << 16;
        QTest::newRow("hex wraps") << "$FFFFFFFF" << -1;
        QTest::newRow("negative hex wraps") << "-$FFFFFFFF" << 1;
        QTest::newRow("negative hex") << "-$10" << -16;
        QTest::newRow("too big") << "2147483648" << none;
        QTest::newRow("largest") << "2147483647" << 2147483647;
        QTest::newRow("empty") << "" << none;
        QTest::newRow("text") << "Version 2" << none;
        QTest::newRow("bare prefix") << "0x" << none;
        QTest::newRow("hex digit in decimal") << "10a" << none;
    }

    void versionNumbers()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(parseVersionNumber(text).value_or(INT_MIN), value);
    }

    void lines()
    {
        QCOMPARE(splitLines(QStringLiteral("a\r\nb\rc\nd")), QStringList({"a", "b", "c", "d"}));
        QCOMPARE(splitLines(QStringLiteral("a\n\nb\n")), QStringList({"a", "", "b"}));
        QCOMPARE(splitLines(QString()), QStringList());
    }

    void smallestNumberWithoutOverflow()
    {
        // INT_MIN itself: its negation is not an int, and the result must not need it.
        QCOMPARE(parseVersionNumber(QStringLiteral("-$80000000")), std::optional<qint32>(INT_MIN));
        QCOMPARE(parseVersionNumber(QStringLiteral("$80000000")), std::optional<qint32>(INT_MIN));
        QCOMPARE(parseVersionNumber(QStringLiteral("-2147483648")), std::optional<qint32>(INT_MIN));
        QCOMPARE(parseVersionNumber(QStringLiteral("-2147483649")), std::optional<qint32>());
    }

    // Only a number above the program's own is newer: the same number, in any spelling, is not.
    void verdicts_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<bool>("newer");
        QTest::newRow("the same") << "100\r\n1.00" << true << false;
        QTest::newRow("the same, in hexadecimal") << "$64\n1.00" << true << false;
        QTest::newRow("the same, with blanks and a sign") << "  +100" << true << false;
        QTest::newRow("one less") << "99\n0.99" << true << false;
        QTest::newRow("one more") << "101\n1.01" << true << true;
        QTest::newRow("largest") << "$7FFFFFFF\r\n9.99" << true << true;
        QTest::newRow("smallest") << "-$80000000\n9.99" << true << false;
        QTest::newRow("no number") << "Version 2" << false << false;
    }
    void verdicts()
    {
        QFETCH(QString, file);
        QFETCH(bool, readable);
        QFETCH(bool, newer);
        const UpdateVerdict verdict = evaluateVersionFile(file);
        QCOMPARE(verdict.readable, readable);
        QCOMPARE(verdict.newer, newer);
    }

    void newerVersionsMessage()
    {
        const UpdateVerdict newer = evaluateVersionFile(QStringLiteral("$7FFFFFFF\r\n9.99"));
        QCOMPARE(newer.message, QStringLiteral("Ihre Version von Korlith (1.00) ist veraltet. Die aktuelle Version ist 9.99."));
    }

    // The start of a longer file counts where its first two lines ended within it.
    void cutFiles_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("complete");
        QTest::newRow("notes after the two lines") << "101\r\n1.01\r\nNeu: vieles" << true << "1.01" << true;
        QTest::newRow("line ends of CR alone") << "101\r1.01\rNeu" << true << "1.01" << true;
        QTest::newRow("an empty second line") << "101\n\n" << true << "" << true;
        QTest::newRow("no number, notes") << "neu\n1.01\nmehr" << false << "" << true;
        QTest::newRow("second line cut") << "101\r\n1.0" << false << "" << false;
        QTest::newRow("first line cut") << "1010101010" << false << "" << false;
        QTest::newRow("same version, notes") << "100\n1.00\nalt" << true << "" << true;
    }
    void cutFiles()
    {
        QFETCH(QString, start);
        QFETCH(bool, readable);
        QFETCH(QString, version);
        QFETCH(bool, complete);
        const UpdateVerdict verdict = evaluateVersionFile(start, true);
        QCOMPARE(verdict.readable, readable);
        QCOMPARE(verdict.complete, complete);
        QCOMPARE(verdict.message.section(QStringLiteral("Version ist "), 1).chopped(verdict.newer ? 1 : 0), version);
    }
};

QTEST_GUILESS_MAIN(TestVersionCheck)
#include "tst_versioncheck.moc"
