// The search algorithms and the mapping between editor and control positions.
#include "core/TextSearch.h"

#include <QtTest>

class TestTextSearch : public QObject
{
    Q_OBJECT

private slots:
    void positionsCountLineBreaksTwice()
    {
        const QString plain = QStringLiteral("ab\ncd\n\nx");
        QCOMPARE(toEditorPosition(plain, 0), 0);
        QCOMPARE(toEditorPosition(plain, 2), 2);  // end of "ab"
        QCOMPARE(toEditorPosition(plain, 3), 4);  // start of "cd"
        QCOMPARE(toEditorPosition(plain, 7), 10); // "x"
        QCOMPARE(toEditorPosition(plain, 99), 11);
        for (int c = 0; c <= plain.size(); ++c)
            QCOMPARE(toControlPosition(plain, toEditorPosition(plain, c)), c);
        // Between CR and LF: the end of the line.
        QCOMPARE(toControlPosition(plain, 3), 2);
        QCOMPARE(toControlPosition(plain, 999), int(plain.size()));
        QCOMPARE(withCrLf(plain), QStringLiteral("ab\r\ncd\r\n\r\nx"));
    }

    void lineSearch()
    {
        // The lines of a list, one at a time; the hit as "line:column".
        const auto search = [](const QStringList &lines, const QString &text) {
            int next = 0;
            const auto hit = firstInLines(
                [&]() -> std::optional<QString> { return next < lines.size() ? std::optional<QString>(lines.at(next++)) : std::nullopt; },
                text);
            return hit ? QStringLiteral("%1:%2").arg(hit->line).arg(hit->column) : QString();
        };
        // The occurrence at position 4 of the third line (editor position 19 after lines of 5 and 7).
        const QStringList lines = {"aaaaa", "bbbbbbb", "cccXYZ", "XYZ"};
        QCOMPARE(search(lines, QStringLiteral("XYZ")), QStringLiteral("2:3"));
        QCOMPARE(search({"ABC"}, QStringLiteral("abc")), QString());
        QCOMPARE(search({"abc"}, QString()), QString());
        QCOMPARE(search({"ab", "cd"}, QStringLiteral("b\ncd")), QString());
        QCOMPARE(search({"ab", "cd"}, QStringLiteral("b\r\ncd")), QString());
        QCOMPARE(search({}, QStringLiteral("a")), QString());
        QCOMPARE(search({"x", "", "yx"}, QStringLiteral("x")), QStringLiteral("0:0"));
        QCOMPARE(search({"", "", "yx"}, QStringLiteral("x")), QStringLiteral("2:1"));
    }

    // Lines taken one at a time: none is read past the first occurrence, none at all for a
    // text that no line can hold.
    void firstInLinesReadsNoFurtherThanItsHit()
    {
        const QStringList lines = {"eins", "zwei Wort", "Wort drei", "vier"};
        int read = 0;
        const auto next = [&]() -> std::optional<QString> {
            return read < lines.size() ? std::optional<QString>(lines.at(read++)) : std::nullopt;
        };
        const auto hit = firstInLines(next, QStringLiteral("Wort"));
        QVERIFY(hit);
        QCOMPARE(hit->line, 1);
        QCOMPARE(hit->column, 5);
        QCOMPARE(read, 2);
        read = 0;
        QVERIFY(!firstInLines(next, QStringLiteral("fehlt")));
        QCOMPARE(read, 4);
        read = 0;
        QVERIFY(!firstInLines(next, QStringLiteral("Wort\nd")));
        QCOMPARE(read, 0);
    }

    void standardSearch_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selLength");
        QTest::addColumn<QString>("find");
        QTest::addColumn<bool>("down");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("wholeWord");
        QTest::addColumn<int>("expected"); // -1: not found

        QTest::newRow("whole word skips inside print") << "print int" << 0 << 0 << "int" << true << false << true << 6;
        QTest::newRow("without whole word inside print") << "print int" << 0 << 0 << "int" << true << false << false << 2;
        QTest::newRow("after the selection") << "ab ab ab" << 0 << 2 << "ab" << true << false << false << 3;
        QTest::newRow("case ignored") << "xx ABC" << 0 << 0 << "abc" << true << false << false << 3;
        QTest::newRow("case matched") << "ABC abc" << 0 << 0 << "abc" << true << true << false << 4;
        QTest::newRow("case matched, none") << "ABC" << 0 << 0 << "abc" << true << true << false << -1;
        QTest::newRow("umlaut upper") << "Ä" << 0 << 0 << "ä" << true << false << false << 0;
        QTest::newRow("up from selection") << "ab ab ab" << 6 << 2 << "ab" << false << false << false << 3;
        QTest::newRow("up from end") << "ab ab ab" << 8 << 0 << "ab" << false << false << false << 6;
        QTest::newRow("up reaches 0") << "ab ab" << 3 << 0 << "ab" << false << false << false << 0;
        QTest::newRow("up whole word") << "int print x" << 11 << 0 << "int" << false << false << true << 0;
        // The first candidate is not checked for a word start, in either direction.
        QTest::newRow("up first candidate") << "int print" << 9 << 0 << "int" << false << false << true << 6;
        QTest::newRow("up before start") << "ab" << 1 << 0 << "ab" << false << false << false << -1;
        QTest::newRow("down at end") << "ab" << 1 << 0 << "ab" << true << false << false << -1;
        QTest::newRow("match at very end") << "xab" << 0 << 0 << "ab" << true << false << false << 1;
        QTest::newRow("whole word needs delimiter") << "intx int" << 0 << 0 << "int" << true << false << true << 5;
        QTest::newRow("whole word right after a blank") << " int" << 0 << 0 << "int" << true << false << true << 1;
        QTest::newRow("whole word after a failed candidate") << "int int int" << 3 << 0 << "int" << true << false << true << 4;
        QTest::newRow("whole word after two blanks") << "x  int" << 0 << 0 << "int" << true << false << true << 3;
        QTest::newRow("a digit after is part of the word") << "int9 int" << 0 << 0 << "int" << true << false << true << 5;
        QTest::newRow("a digit before is part of the word") << "9int int" << 0 << 0 << "int" << true << false << true << 5;
        QTest::newRow("up: a digit is part of the word") << "int int9" << 8 << 0 << "int" << false << false << true << 0;
        QTest::newRow("whole word last candidate") << "a int" << 0 << 0 << "int" << true << false << true << 2;
        QTest::newRow("over line break") << "a\r\nint" << 0 << 0 << "int" << true << false << true << 3;
        QTest::newRow("empty text") << "" << 0 << 0 << "a" << true << false << false << -1;
        QTest::newRow("empty search") << "abc" << 0 << 0 << "" << true << false << false << -1;
        QTest::newRow("longer than text") << "ab" << 0 << 0 << "abc" << true << false << false << -1;
        QTest::newRow("selection past end") << "abc" << 5 << 0 << "a" << true << false << false << -1;
    }

    void standardSearch()
    {
        QFETCH(QString, text);
        QFETCH(int, selStart);
        QFETCH(int, selLength);
        QFETCH(QString, find);
        QFETCH(bool, down);
        QFETCH(bool, matchCase);
        QFETCH(bool, wholeWord);
        QFETCH(int, expected);
        const auto found = ::standardSearch(text, selStart, selLength, find, {down, matchCase, wholeWord});
        QCOMPARE(found.value_or(-1), expected);
    }

    void replaceAll_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("selStart");
        QTest::addColumn<int>("selLength");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("wholeWord");
        QTest::addColumn<QString>("expected"); // "-": nothing replaced
        QTest::addColumn<int>("caret");
        QTest::addColumn<int>("count");

        QTest::newRow("every occurrence") << "echo 1; echo 2;" << 0 << 0 << "echo" << "print" << false << false
                                         << "print 1; print 2;" << 14 << 2;
        QTest::newRow("only after the caret") << "ab ab ab" << 3 << 0 << "ab" << "X" << false << false << "ab X X" << 6 << 2;
        QTest::newRow("matching selection first") << "ab ab ab" << 3 << 2 << "ab" << "X" << false << false << "ab X X" << 6 << 2;
        QTest::newRow("selection matches without case") << "AB ab" << 0 << 2 << "ab" << "x" << true << false << "x x" << 3 << 2;
        QTest::newRow("replacement holds the text") << "a a" << 0 << 0 << "a" << "aa" << false << false << "aa aa" << 5 << 2;
        QTest::newRow("shrinking") << "abcabc" << 0 << 0 << "abc" << "" << false << false << "" << 0 << 2;
        QTest::newRow("case matched") << "Echo echo" << 0 << 0 << "echo" << "print" << true << false << "Echo print" << 10 << 1;
        QTest::newRow("whole words") << "int print int" << 0 << 0 << "int" << "X" << false << true << "X print X" << 9 << 2;
        QTest::newRow("whole words, one after another") << "int int int" << 0 << 0 << "int" << "ZZ" << false << true << "ZZ ZZ ZZ" << 8 << 3;
        QTest::newRow("whole words, after a blank") << " int int" << 0 << 0 << "int" << "ZZ" << false << true << " ZZ ZZ" << 6 << 2;
        QTest::newRow("over line breaks") << "a\r\nb\r\na" << 0 << 0 << "a" << "cc" << false << false << "cc\r\nb\r\ncc" << 9 << 2;
        QTest::newRow("after many lines") << "e\r\n\r\n\r\nee" << 1 << 0 << "e" << "x" << false << false << "e\r\n\r\n\r\nxx" << 9 << 2;
        QTest::newRow("a line break joins its lines") << "x\r\ny" << 0 << 0 << "\r\n" << " " << false << false << "x y" << 2 << 1;
        QTest::newRow("none") << "abc" << 0 << 0 << "z" << "y" << false << false << "-" << 0 << 0;
        QTest::newRow("empty search") << "abc" << 0 << 0 << "" << "y" << false << false << "-" << 0 << 0;
        QTest::newRow("caret past the text") << "abc" << 9 << 0 << "a" << "y" << false << false << "-" << 0 << 0;
    }

    // Table-driven: the text, the caret after the last replacement, and how many were made.
    void replaceAll()
    {
        QFETCH(QString, text);
        QFETCH(int, selStart);
        QFETCH(int, selLength);
        QFETCH(QString, find);
        QFETCH(QString, replacement);
        QFETCH(bool, matchCase);
        QFETCH(bool, wholeWord);
        QFETCH(QString, expected);
        QFETCH(int, caret);
        QFETCH(int, count);
        const auto replaced = ::replaceAll(text, selStart, selLength, find, replacement, {true, matchCase, wholeWord});
        if (expected == QLatin1String("-")) {
            QVERIFY(!replaced);
            return;
        }
        QVERIFY(replaced);
        QCOMPARE(replaced->text, expected);
        QCOMPARE(replaced->caret, caret);
        QCOMPARE(replaced->count, count);
        // The pieces, each replaced in the editor's form of the text, give the result's.
        QString plain = QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
        int moved = 0;
        for (const ReplacedText::Piece &piece : replaced->pieces) {
            plain.replace(piece.start + moved, piece.length, replacement);
            moved += int(replacement.size()) - piece.length;
        }
        QCOMPARE(plain, QString(expected).replace(QLatin1String("\r\n"), QLatin1String("\n")));
        QCOMPARE(replaced->pieces.size(), count);
    }

    // A 200,000-character line with 100,000 occurrences.
    void replaceAllInALongLine()
    {
        const QString text = QStringLiteral("ab").repeated(100000);
        const auto replaced = ::replaceAll(text, 0, 0, QStringLiteral("b"), QStringLiteral("cd"), {});
        QVERIFY(replaced);
        QCOMPARE(replaced->count, 100000);
        QCOMPARE(replaced->text, QStringLiteral("acd").repeated(100000));
        QCOMPARE(replaced->caret, int(replaced->text.size()));
        QCOMPARE(replaced->pieces.size(), 100000);
        QCOMPARE(replaced->pieces.last().start, 199999);
    }

    void wordDelimiters()
    {
        QVERIFY(!isWordDelimiter(QLatin1Char('a')));
        QVERIFY(!isWordDelimiter(QLatin1Char('Z')));
        QVERIFY(!isWordDelimiter(QLatin1Char('7')));
        QVERIFY(isWordDelimiter(QLatin1Char('_')));
        QVERIFY(isWordDelimiter(QLatin1Char('$')));
        QVERIFY(isWordDelimiter(QChar(0xE4)));
        QVERIFY(isWordDelimiter(QLatin1Char('\r')));
    }
};

QTEST_GUILESS_MAIN(TestTextSearch)
#include "tst_textsearch.moc"
