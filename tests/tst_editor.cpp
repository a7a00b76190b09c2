// The code editor: what each piece of PHP and HTML is classed as, across lines; gutter; font.
#include "CodeEdit.h"
#include "EditorPalette.h"
#include "TestMain.h"
#include "TestSupport.h"
#include "Unit1.h"
#include "core/PhpSyntax.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextLayout>

namespace {

const char *kindName(SyntaxKind k)
{
    static const char *names[] = {"text", "tag", "attr", "value", "htmlcomment", "entity", "open", "close", "code",
                                  "keyword", "var", "string", "interp", "number", "comment", "cast", "const"};
    return names[int(k)];
}

// "text=kind" for each range of each line, lines joined by " | ".
QString classify(const QString &source)
{
    PhpSyntax syntax;
    int state = -1;
    QStringList lines;
    for (const QString &line : source.split(QLatin1Char('\n'))) {
        QList<SyntaxRange> ranges;
        state = syntax.highlightLine(line, state, ranges);
        QStringList parts;
        for (const SyntaxRange &r : ranges)
            if (r.kind != SyntaxKind::HtmlText && r.kind != SyntaxKind::Code)
                parts << line.mid(r.start, r.length) + QLatin1Char('=') + QLatin1String(kindName(r.kind));
        lines << parts.join(QLatin1Char(' '));
    }
    return lines.join(QStringLiteral(" | "));
}

bool showEditor(TCodeEdit &edit)
{
    edit.resize(400, 240);
    edit.show();
    return QTest::qWaitForWindowExposed(&edit);
}

// The colour a line's layout holds for the character at `pos`; none where it is not coloured.
QColor layoutColour(const QTextBlock &block, int pos)
{
    for (const QTextLayout::FormatRange &r : block.layout()->formats())
        if (pos >= r.start && pos < r.start + r.length)
            return r.format.foreground().color();
    return QColor();
}

// The colour of a character as the editor paints it: its line is brought into view and painted.
QColor paintedColour(TCodeEdit &edit, int blockNo, int pos)
{
    const QTextBlock block = edit.document()->findBlockByNumber(blockNo);
    edit.setTextCursor(QTextCursor(block));
    edit.ensureCursorVisible();
    edit.viewport()->repaint();
    return layoutColour(block, pos);
}

} // namespace

class TestEditor : public QObject
{
    Q_OBJECT

private slots:
    void classification_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("expected");
        QTest::newRow("html markup") << "<a href=\"x\" id=y>&amp;</a>"
                                     << "<a=tag href=attr \"x\"=value id=attr y=value >=tag &amp;=entity </a>=tag";
        QTest::newRow("html comment over lines") << "<!-- a\nb -->c" << "<!-- a=htmlcomment | b -->=htmlcomment";
        QTest::newRow("php keywords and variables") << "<?php echo $x; ?>"
                                                    << "<?php =open echo=keyword $x=var ?>=close";
        QTest::newRow("short echo tag") << "<?= $a ?>" << "<?==open $a=var ?>=close";
        QTest::newRow("strings") << "<?php 'a\\'b' . \"c $d {$e['f']} g\""
                                 << "<?php =open 'a\\'b'=string \"c =string $d=var  =string {=interp $e=var 'f'=string }=interp  g\"=string";
        QTest::newRow("close tag inside a string") << "<?php $s = '?>'; ?><b>"
                                                   << "<?php =open $s=var '?>'=string ?>=close <b>=tag";
        QTest::newRow("line comments end at close tag") << "<?php // note ?> <i># no</i>"
                                                        << "<?php =open // note =comment ?>=close <i>=tag </i>=tag";
        QTest::newRow("hash comment") << "<?php # x\n$y" << "<?php =open # x=comment | $y=var";
        QTest::newRow("block comment over lines") << "<?php /* a\nstill ?> here\n*/ $z"
                                                  << "<?php =open /* a=comment | still ?> here=comment | */=comment $z=var";
        QTest::newRow("numbers") << "<?php 42 0x1F 0b101 3.5e-2 .5 1_000"
                                 << "<?php =open 42=number 0x1F=number 0b101=number 3.5e-2=number .5=number 1_000=number";
        QTest::newRow("casts and constants") << "<?php (int) $a; ( string )$b; (foo); TRUE; null; MAX_SIZE; Foo;"
                                             << "<?php =open (int)=cast $a=var ( string )=cast $b=var TRUE=const null=const MAX_SIZE=const";
        QTest::newRow("members are no keywords") << "<?php $o->class; A::new; function f() {}"
                                                 << "<?php =open $o=var function=keyword";
        QTest::newRow("heredoc over lines") << "<?php $t = <<<EOT\nHallo $name ?>\n  EOT;\necho 1;"
                                            << "<?php =open $t=var <<<EOT=string | Hallo =string $name=var  ?>=string |   EOT=string | echo=keyword 1=number";
        QTest::newRow("nowdoc over lines") << "<?php <<<'X'\n$no\nX\n?>"
                                           << "<?php =open <<<'X'=string | $no=string | X=string | ?>=close";
        QTest::newRow("heredoc label inside a word") << "<?php <<<\"END\"\nENDING\nEND;"
                                                     << "<?php =open <<<\"END\"=string | ENDING=string | END=string";
        QTest::newRow("string over lines") << "<?php \"a\nb $c\"; $d"
                                           << "<?php =open \"a=string | b =string $c=var \"=string $d=var";
        QTest::newRow("html after php") << "<?php $a ?>\n<p class=\"x\">"
                                        << "<?php =open $a=var ?>=close | <p=tag class=attr \"x\"=value >=tag";
        QTest::newRow("tag over lines") << "<div\n  id=\"a\">t" << "<div=tag | id=attr \"a\"=value >=tag";
        // PHP opens in every HTML context, and the context resumes after "?>".
        QTest::newRow("php in a quoted value") << "<p class=\"<?php echo \"q\"; ?>\">"
                                               << "<p=tag class=attr \"=value <?php =open echo=keyword \"q\"=string ?>=close \"=value >=tag";
        QTest::newRow("php in a value of a tag over lines") << "<img\n  src=\"<?php echo $y; ?>\" alt=a>"
                                                            << "<img=tag | src=attr \"=value <?php =open echo=keyword $y=var ?>=close \"=value alt=attr a=value >=tag";
        QTest::newRow("value over lines around php") << "<a title='x\n<?= $t ?>\ny'>z"
                                                     << "<a=tag title=attr 'x=value | <?==open $t=var ?>=close | y'=value >=tag";
        QTest::newRow("php in a bare value") << "<td width=<?= $w ?>px nowrap>"
                                             << "<td=tag width=attr <?==open $w=var ?>=close px=value nowrap=attr >=tag";
        QTest::newRow("php in an html comment") << "<!-- <?php echo $z; ?> -->"
                                                << "<!-- =htmlcomment <?php =open echo=keyword $z=var ?>=close  -->=htmlcomment";
        QTest::newRow("php in a comment over lines") << "<!-- a\n<?= $b ?> c\n-->d"
                                                     << "<!-- a=htmlcomment | <?==open $b=var ?>=close  c=htmlcomment | -->=htmlcomment";
        QTest::newRow("php in a tag between attributes") << "<input <?php if ($on) echo 'checked'; ?> name=n>"
                                                         << "<input=tag <?php =open if=keyword $on=var echo=keyword 'checked'=string ?>=close name=attr n=value >=tag";
        QTest::newRow("script content is no markup") << "<script>if (a <b && c) x = '<?= $v ?>';</script><b>"
                                                     << "<script>=tag <?==open $v=var ?>=close </script><b>=tag";
        QTest::newRow("style over lines") << "<style>\np < a { }\n</STYLE>"
                                          << "<style>=tag |  | </STYLE>=tag";
        QTest::newRow("short and xml tags stay html") << "<?xml version=\"1.0\"?><? echo 1 ?><?phpx"
                                                      << "";
        QTest::newRow("close tag inside a line comment") << "<?php // c ?>\n<p>"
                                                         << "<?php =open // c =comment ?>=close | <p>=tag";
        QTest::newRow("interpolation forms") << "<?php \"{$a->b['c']} ${n} $o->p $q?->r $s[0] $t[k]\""
                                             << "<?php =open \"=string {=interp $a=var 'c'=string }=interp  =string ${=interp n=var }=interp  =string $o=var ->p=interp  =string $q=var ?->r=interp  =string $s=var [=interp 0=number ]=interp  =string $t=var [k]=interp \"=string";
        QTest::newRow("interpolation over lines") << "<?php \"a {$b[\n1]} c\""
                                                  << "<?php =open \"a =string {=interp $b=var | 1=number }=interp  c\"=string";
        QTest::newRow("attribute is no comment") << "<?php #[Pure]\n# comment"
                                                 << "<?php =open | # comment=comment";
        QTest::newRow("indented heredoc closing label") << "<?php $h = <<<EOT\n    a\n    EOT;\n$x"
                                                        << "<?php =open $h=var <<<EOT=string |     a=string |     EOT=string | $x=var";
        QTest::newRow("heredoc needs the line end") << "<?php $a <<<EOT;\n$b"
                                                    << "<?php =open $a=var EOT=const | $b=var";
        QTest::newRow("php numbers") << "<?php 0o17 0X1F 0B11 1_000.5e-3 7. 1__0 0x"
                                     << "<?php =open 0o17=number 0X1F=number 0B11=number 1_000.5e-3=number 7.=number 1=number 0=number";
        QTest::newRow("casts with blanks") << "<?php (\tint ) (real)( array)"
                                           << "<?php =open (\tint )=cast (real)( array)=cast";
        QTest::newRow("halt compiler") << "<?php __halt_compiler(); <?php $data"
                                       << "<?php =open __halt_compiler=keyword";
    }

    void classification()
    {
        QFETCH(QString, source);
        QFETCH(QString, expected);
        QCOMPARE(classify(source), expected);
    }

    void highlighterColoursTheDocument()
    {
        TCodeEdit memo;
        QVERIFY(showEditor(memo));
        memo.setPlainText(QStringLiteral("<?php /*\nkommentar\n*/ echo 1;"));
        const QColor comment = EditorPalette::format(EditorPalette::current(), SyntaxKind::Comment).foreground().color();
        const QColor keyword = EditorPalette::format(EditorPalette::current(), SyntaxKind::Keyword).foreground().color();
        QCOMPARE(paintedColour(memo, 1, 0), comment);
        QCOMPARE(paintedColour(memo, 2, 4), keyword);
        // Closing the comment early re-colours the following lines, and only as needed.
        QTextCursor c(memo.document()->findBlockByNumber(0));
        c.movePosition(QTextCursor::EndOfBlock);
        c.insertText(QStringLiteral(" */"));
        QCOMPARE(paintedColour(memo, 1, 0), QColor());
        // The editor's text, lines and undo are those of a plain editor.
        QCOMPARE(memo.toPlainText(), QStringLiteral("<?php /* */\nkommentar\n*/ echo 1;"));
        memo.undo();
        QCOMPARE(memo.toPlainText(), QStringLiteral("<?php /*\nkommentar\n*/ echo 1;"));
        QCOMPARE(paintedColour(memo, 1, 0), comment);

        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredOnly);
        ProgramForms forms;
        const QFontMetrics metrics(Form1->memo1()->font());
        QCOMPARE(metrics.horizontalAdvance(QLatin1Char('i')), metrics.horizontalAdvance(QLatin1Char('W')));
        QCOMPARE(QFontInfo(Form1->memo1()->font()).pixelSize(), QFontInfo(Form1->font()).pixelSize());
        QCOMPARE(Form1->memo1()->lineWrapMode(), QPlainTextEdit::NoWrap);
    }

    // A line gets its colours when it is shown; an edit far above colours it anew, in view or
    // once it comes into view.
    void coloursComeWithTheLinesIntoView()
    {
        TCodeEdit edit;
        QVERIFY(showEditor(edit));
        QString text = QStringLiteral("<?php\n");
        for (int i = 0; i < 3000; ++i)
            text += QStringLiteral("$a = 1;\n");
        edit.setUserText(text);
        QCoreApplication::processEvents();
        const QColor variable = EditorPalette::format(EditorPalette::current(), SyntaxKind::Variable).foreground().color();
        const QColor comment = EditorPalette::format(EditorPalette::current(), SyntaxKind::Comment).foreground().color();
        const QTextBlock far = edit.document()->findBlockByNumber(2500);
        QVERIFY(far.layout()->formats().isEmpty());
        QCOMPARE(layoutColour(edit.document()->findBlockByNumber(2), 0), variable);

        // The lines a scroll brings into view take their colours before the one layout they
        // are drawn with: the document's layout is not made to lay them out and repaint them.
        QSignalSpy relaid(edit.document()->documentLayout(), &QAbstractTextDocumentLayout::updateBlock);
        QSignalSpy repainted(edit.document()->documentLayout(), &QAbstractTextDocumentLayout::update);
        edit.verticalScrollBar()->setValue(1200);
        QTRY_COMPARE(layoutColour(edit.document()->findBlockByNumber(1205), 0), variable);
        QCOMPARE(relaid.size() + repainted.size(), 0);
        edit.verticalScrollBar()->setValue(0);

        // A comment opened in the first line: the lines in view follow without another edit,
        // the lines out of view when they are shown.
        QTextCursor open(edit.document()->firstBlock());
        open.movePosition(QTextCursor::EndOfBlock);
        open.insertText(QStringLiteral(" /*"));
        QTRY_COMPARE(layoutColour(edit.document()->findBlockByNumber(2), 0), comment);
        QCOMPARE(paintedColour(edit, 2500, 0), comment);
        QCOMPARE(paintedColour(edit, 3000, 0), comment);
        open.movePosition(QTextCursor::EndOfBlock);
        open.insertText(QStringLiteral(" */"));
        QCOMPARE(paintedColour(edit, 2999, 0), variable);
        QCOMPARE(paintedColour(edit, 1, 0), variable);

        // An edit after painting reports only itself: a run's messages follow their lines by it.
        QSignalSpy changes(edit.document(), &QTextDocument::contentsChange);
        QTextCursor(edit.document()->findBlockByNumber(1)).insertText(QStringLiteral("x"));
        QCOMPARE(changes.size(), 1);
        QCOMPARE(changes.first(), (QVariantList{edit.document()->findBlockByNumber(1).position(), 0, 1}));
    }

    // A line of 20,000 characters holds colours only around the columns in view, exact there,
    // wherever the view stands on it; a key takes its colours with its own change.
    void aLongLineIsColouredWhereItIsShown()
    {
        TCodeEdit edit;
        edit.setLineWrapMode(QPlainTextEdit::NoWrap); // as the main window's
        QVERIFY(showEditor(edit));
        QString line = QStringLiteral("$daten = array(");
        for (int i = 0; line.size() < 20000; ++i)
            line += QStringLiteral("'wert%1', %2, ").arg(i).arg(i * 7);
        line += QStringLiteral("'ende');");
        edit.setUserText(QStringLiteral("<?php\n") + line + QStringLiteral("\necho 1;\n"));
        const QTextBlock block = edit.document()->findBlockByNumber(1);
        const EditorColours &colours = EditorPalette::current();
        // Every character between `left` and `right` (the layout's x) has its class's colour.
        auto exactBetween = [&](qreal left, qreal right) {
            const QTextLine shown = block.layout()->lineAt(0);
            const int from = shown.xToCursor(left), to = shown.xToCursor(right);
            PhpSyntax syntax;
            QList<SyntaxRange> ranges;
            syntax.highlightLine(block.text(), block.previous().userState(), ranges);
            int checked = 0;
            for (const SyntaxRange &r : ranges)
                for (int pos = qMax(r.start, from); pos < qMin(r.start + r.length, to); ++pos, ++checked) {
                    const QTextCharFormat f = EditorPalette::format(colours, r.kind);
                    const QColor want = f.properties().isEmpty() ? QColor() : f.foreground().color();
                    if (layoutColour(block, pos) != want)
                        return QStringLiteral("column %1 (%2)").arg(pos).arg(kindName(r.kind));
                }
            return checked > 20 ? QString() : QStringLiteral("only %1 characters in view").arg(checked);
        };
        edit.viewport()->repaint();
        QCOMPARE(exactBetween(0, edit.viewport()->width()), QString());
        // The whole line would be some 2,700 coloured stretches.
        QVERIFY2(block.layout()->formats().size() < 500, qPrintable(QString::number(block.layout()->formats().size())));

        QScrollBar *across = edit.horizontalScrollBar();
        across->setValue(across->maximum() / 2);
        edit.viewport()->repaint();
        QCOMPARE(exactBetween(across->value(), across->value() + edit.viewport()->width()), QString());
        across->setValue(across->maximum());
        edit.viewport()->repaint();
        QCOMPARE(exactBetween(across->value(), across->value() + edit.viewport()->width()), QString());

        // A key at the line's start: the first string moves by one column before any painting.
        across->setValue(0);
        edit.viewport()->repaint();
        const int quote = int(line.indexOf(QLatin1Char('\'')));
        const QColor string = EditorPalette::format(colours, SyntaxKind::String).foreground().color();
        QCOMPARE(layoutColour(block, quote), string);
        QTextCursor(block).insertText(QStringLiteral("x"));
        QCOMPARE(layoutColour(block, quote), QColor());
        QCOMPARE(layoutColour(block, quote + 1), string);
        edit.viewport()->repaint();
        QCOMPARE(exactBetween(0, edit.viewport()->width()), QString());
    }

    // Replacing the whole text does not lay out every line of it: the main window's text area
    // keeps its width while the new text goes in (a new width lays out each line and gives it a
    // text layout).
    void replacingTheTextKeepsTheTextAreaWidth()
    {
        IsolatedEnvironment env;
        env.writeRegistry(ConfiguredOnly);
        ProgramForms forms;
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        auto &edit = *qobject_cast<TCodeEdit *>(Form1->memo1());
        struct WidthWatch : QObject
        {
            TCodeEdit *edit;
            int changesWithText = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                if (event->type() == QEvent::Resize) {
                    const auto *resize = static_cast<QResizeEvent *>(event);
                    if (resize->oldSize().width() != resize->size().width() && edit->blockCount() > 1)
                        ++changesWithText;
                }
                return false;
            }
        } watch;
        watch.edit = &edit;
        edit.viewport()->installEventFilter(&watch);
        const int narrow = edit.gutterWidth();
        for (const int lines : {20000, 200000, 5}) {
            edit.moveCursor(QTextCursor::End);
            edit.setUserText(QStringLiteral("x\n").repeated(lines - 1) + QStringLiteral("x"));
            QCoreApplication::processEvents();
            QCOMPARE(edit.blockCount(), lines);
            QVERIFY(edit.gutter()->width() > edit.fontMetrics().horizontalAdvance(QString::number(lines)));
            // A new text, unchanged: the caret and the view at its start, nothing to undo.
            QCOMPARE(edit.textCursor().position(), 0);
            QCOMPARE(edit.verticalScrollBar()->value(), 0);
            QVERIFY(!edit.document()->isModified());
            QVERIFY(!edit.document()->isUndoAvailable());
        }
        // Typing in it is undone as ever.
        edit.textCursor().insertText(QStringLiteral("y"));
        QVERIFY(edit.document()->isUndoAvailable());
        edit.undo();
        QCOMPARE(edit.userText(), QStringLiteral("x\nx\nx\nx\nx"));
        QCOMPARE(edit.gutterWidth(), narrow);
        QCOMPARE(watch.changesWithText, 0);
    }

    // Both sets of colours are readable: every colour on what it stands on at 4.5:1 or more.
    void coloursReadOnLightAndDark()
    {
        using EditorPalette::contrast;
        for (const EditorColours *set : {&EditorPalette::light(), &EditorPalette::dark()}) {
            const QString name = set == &EditorPalette::light() ? QStringLiteral("light") : QStringLiteral("dark");
            QCOMPARE(set->syntax.size(), 15);
            auto check = [&](const QColor &fore, const QColor &back, const QString &what) {
                QVERIFY2(contrast(fore, back) >= 4.5, qPrintable(QStringLiteral("%1: %2 %3 on %4: %5")
                                                                     .arg(name, what, fore.name(), back.name())
                                                                     .arg(contrast(fore, back))));
            };
            for (const EditorColours::Syntax &s : set->syntax) {
                check(s.colour, set->background, QStringLiteral("class %1").arg(kindName(s.kind)));
                check(s.colour, set->currentLine, QStringLiteral("class %1 on the current line").arg(kindName(s.kind)));
            }
            check(set->text, set->background, QStringLiteral("text"));
            check(set->text, set->currentLine, QStringLiteral("text on the current line"));
            check(set->gutterText, set->gutterBackground, QStringLiteral("line number"));
            check(set->gutterCurrentText, set->gutterBackground, QStringLiteral("current line number"));
            check(set->errorMark, set->gutterBackground, QStringLiteral("error mark"));
            check(set->warningMark, set->gutterBackground, QStringLiteral("warning mark"));
            check(set->markedNumber, set->errorMark, QStringLiteral("number on an error mark"));
            check(set->markedNumber, set->warningMark, QStringLiteral("number on a warning mark"));
            check(set->selectedText, set->selection, QStringLiteral("selected text"));
            check(set->inactiveSelectedText, set->inactiveSelection, QStringLiteral("selected text, window inactive"));
        }
        QCOMPARE(contrast(Qt::black, Qt::white), 21.0);
    }

    // The editor takes the set that suits the desktop's palette, also when it changes.
    void editorFollowsTheSystemPalette()
    {
        const QPalette system = QGuiApplication::palette();
        QPalette darkPalette = system;
        darkPalette.setColor(QPalette::Base, QColor(0x24, 0x24, 0x24));
        darkPalette.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
        darkPalette.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
        QCOMPARE(&EditorPalette::forPalette(darkPalette), &EditorPalette::dark());
        QCOMPARE(&EditorPalette::forPalette(QPalette(Qt::white)), &EditorPalette::light());

        TCodeEdit edit;
        QVERIFY(showEditor(edit));
        edit.setPlainText(QStringLiteral("<?php // kommentar"));
        auto commentColour = [&] { return paintedColour(edit, 0, 6); };
        const QColor darkComment = EditorPalette::format(EditorPalette::dark(), SyntaxKind::Comment).foreground().color();
        QApplication::setPalette(darkPalette);
        const bool followed = QTest::qWaitFor([&] {
            return edit.palette().color(QPalette::Base) == EditorPalette::dark().background && commentColour() == darkComment;
        });
        QApplication::setPalette(system);
        QCoreApplication::processEvents();
        QVERIFY(followed);
        QCOMPARE(edit.palette().color(QPalette::Base), EditorPalette::current().background);
        QCOMPARE(commentColour(), EditorPalette::format(EditorPalette::current(), SyntaxKind::Comment).foreground().color());
        // A selection is painted in the set's own pair, not the desktop's, whichever window has the keyboard.
        edit.setPlainText(QStringLiteral("          "));
        edit.selectAll();
        QTextCursor middle(edit.document());
        middle.setPosition(5);
        const QColor painted = edit.viewport()->grab().toImage().pixelColor(edit.cursorRect(middle).center() + QPoint(2, 0));
        const EditorColours &set = EditorPalette::current();
        QVERIFY2(painted == set.selection || painted == set.inactiveSelection, qPrintable(painted.name()));
    }

    // The gutter's rows are the lines in view, wherever the text is scrolled, with their marks.
    void gutterRowsFollowTheScrolling()
    {
        TCodeEdit edit;
        edit.resize(300, 200);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        QStringList lines;
        for (int i = 1; i <= 1000; ++i)
            lines << QString::number(i);
        edit.setPlainText(lines.join(QLatin1Char('\n')));
        edit.setLineMarks({{502, false, QStringLiteral("Warnung")}, {503, false, QStringLiteral("W")},
                           {503, true, QStringLiteral("Fehler")}});
        edit.verticalScrollBar()->setValue(500); // the first line in view is line 501
        QCoreApplication::processEvents();
        const int height = edit.viewport()->height();
        const auto rows = edit.rowsInView(0, height);
        QVERIFY(rows.size() > 3);
        QCOMPARE(rows.first().line, 501);
        QVERIFY(rows.first().top <= 0);
        for (int i = 1; i < rows.size(); ++i) {
            QCOMPARE(rows[i].line, rows[i - 1].line + 1);
            QCOMPARE(rows[i].top, rows[i - 1].top + rows[i - 1].height);
        }
        QVERIFY(rows.last().top + rows.last().height >= height);
        QCOMPARE(rows[0].mark, TCodeEdit::GutterRow::NoMark);
        QCOMPARE(rows[1].mark, TCodeEdit::GutterRow::Warning);
        QCOMPARE(rows[2].mark, TCodeEdit::GutterRow::Error); // an error outranks a warning
        // Only the rows that reach into the asked band.
        const auto band = edit.rowsInView(rows[2].top + 1, rows[2].top + 1);
        QCOMPARE(band.size(), 1);
        QCOMPARE(band.first().line, 503);
        // The caret's line.
        QTextCursor caret(edit.document()->findBlockByNumber(501));
        edit.setTextCursor(caret);
        QCoreApplication::processEvents();
        const auto after = edit.rowsInView(0, height);
        QVERIFY(after.size() > 1);
        QCOMPARE(after.first().line, 501);
        QVERIFY(after[1].current && !after[0].current);
    }

    // A mark follows its line: typed text, lines put in above, a line joined to the one above;
    // a deleted line takes its mark with it and undo (and redo) bring both back and away.
    void marksFollowTheirLines_data()
    {
        QTest::addColumn<int>("marked");
        // One letter per step: H Home, E End, T Up, S Shift+Down, D Delete, B Backspace, N a line
        // break, M Ctrl+Shift+End then Delete, U Ctrl+Z, R Ctrl+Shift+Z; x is typed.
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("line");     // where the mark is then; 0: none
        QTest::newRow("typed at the start") << 3 << "Hx" << 3;
        QTest::newRow("a line break at the start") << 3 << "HN" << 4;
        QTest::newRow("joined to the line above") << 3 << "HB" << 2;
        QTest::newRow("the line deleted") << 3 << "HSD" << 0;
        QTest::newRow("the line deleted, then undone") << 3 << "HSDU" << 3;
        QTest::newRow("undone, then redone") << 3 << "HSDUR" << 0;
        QTest::newRow("redone, then undone again") << 3 << "HSDURU" << 3;
        QTest::newRow("the line above deleted") << 3 << "TTHSD" << 2;
        QTest::newRow("the line above deleted and undone") << 3 << "TTHSDU" << 3;
        QTest::newRow("the last line with the break before it") << 5 << "TEM" << 0;
        QTest::newRow("the last line deleted and undone") << 5 << "TEMU" << 5;
    }
    void marksFollowTheirLines()
    {
        QFETCH(int, marked);
        QFETCH(QString, keys);
        QFETCH(int, line);
        TCodeEdit edit;
        edit.resize(300, 200);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        edit.setPlainText(QStringLiteral("eins\nzwei\ndrei\nvier\nfünf"));
        const QString before = edit.toPlainText();
        edit.setLineMarks({{marked, false, QStringLiteral("Warnung")}});
        QTextCursor caret(edit.document()->findBlockByNumber(marked - 1));
        caret.movePosition(QTextCursor::EndOfBlock);
        edit.setTextCursor(caret);
        for (const QChar key : keys) {
            switch (key.unicode()) {
            case 'H': QTest::keyClick(&edit, Qt::Key_Home); break;
            case 'E': QTest::keyClick(&edit, Qt::Key_End); break;
            case 'S': QTest::keyClick(&edit, Qt::Key_Down, Qt::ShiftModifier); break;
            case 'T': QTest::keyClick(&edit, Qt::Key_Up); break;
            case 'M': QTest::keyClick(&edit, Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier); QTest::keyClick(&edit, Qt::Key_Delete); break;
            case 'D': QTest::keyClick(&edit, Qt::Key_Delete); break;
            case 'B': QTest::keyClick(&edit, Qt::Key_Backspace); break;
            case 'N': edit.textCursor().insertText(QStringLiteral("\n")); break;
            case 'U': QTest::keyClick(&edit, Qt::Key_Z, Qt::ControlModifier); break;
            case 'R': QTest::keyClick(&edit, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); break;
            default: QTest::keyClick(&edit, key.toLatin1());
            }
        }
        const auto marks = edit.lineMarks();
        if (line == 0) {
            QVERIFY2(marks.isEmpty(), qPrintable(QStringLiteral("marked: line %1").arg(marks.isEmpty() ? 0 : std::get<0>(marks.first()))));
        } else {
            QCOMPARE(marks.size(), 1);
            QCOMPARE(std::get<0>(marks.first()), line);
        }
        if (keys.endsWith(QLatin1Char('U')))
            QCOMPARE(edit.toPlainText(), before);
    }

    void gutterWidth()
    {
        QCOMPARE(TCodeEdit::gutterDigits(0), 1);
        QCOMPARE(TCodeEdit::gutterDigits(9), 1);
        QCOMPARE(TCodeEdit::gutterDigits(10), 2);
        QCOMPARE(TCodeEdit::gutterDigits(999), 3);
        QCOMPARE(TCodeEdit::gutterDigits(1000), 4);

        TCodeEdit edit;
        edit.resize(300, 200);
        edit.show();
        auto widthFor = [&](int lines) {
            QStringList l;
            for (int i = 0; i < lines; ++i)
                l << QString::number(i);
            edit.setPlainText(l.join(QLatin1Char('\n')));
            QCoreApplication::processEvents();
            return edit.gutterWidth();
        };
        const int digit = edit.fontMetrics().horizontalAdvance(QLatin1Char('9'));
        const int nine = widthFor(9), ten = widthFor(10), thousand = widthFor(1000);
        QCOMPARE(ten - nine, digit);
        QCOMPARE(thousand - nine, 3 * digit);
        QCOMPARE(edit.gutter()->width(), thousand);
        QCOMPARE(edit.viewport()->geometry().left(), edit.contentsRect().left() + thousand);
    }

    // Enter in all its forms: one line break, the new line indented as the text before the caret.
    void enterKeepsTheIndentation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("caret");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("expected");
        const int none = Qt::NoModifier, shift = Qt::ShiftModifier, pad = Qt::KeypadModifier;
        QTest::newRow("end of an indented line") << "    if ($a) {" << 13 << none << int(Qt::Key_Return) << "    if ($a) {\n    ";
        QTest::newRow("shift") << "    echo 1;" << 11 << shift << int(Qt::Key_Return) << "    echo 1;\n    ";
        QTest::newRow("keypad with shift") << "\t\techo 1;" << 9 << (shift | pad) << int(Qt::Key_Enter) << "\t\techo 1;\n\t\t";
        QTest::newRow("inside the indentation") << "    x" << 2 << none << int(Qt::Key_Return) << "  \n    x";
        QTest::newRow("middle of a line") << "  a = b;" << 5 << none << int(Qt::Key_Enter) << "  a =\n   b;";
        QTest::newRow("no indentation") << "echo 1;" << 7 << shift << int(Qt::Key_Return) << "echo 1;\n";
    }

    void enterKeepsTheIndentation()
    {
        QFETCH(QString, text);
        QFETCH(int, caret);
        QFETCH(int, modifiers);
        QFETCH(int, key);
        QFETCH(QString, expected);
        TCodeEdit edit;
        edit.setPlainText(text);
        QTextCursor c = edit.textCursor();
        c.setPosition(caret);
        edit.setTextCursor(c);
        QTest::keyClick(&edit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        // No line separator (U+2028), which PHP would read as code: a real line.
        QCOMPARE(edit.userText(), expected);
        QCOMPARE(edit.blockCount(), 2);
        QCOMPARE(edit.textCursor().position(), int(expected.size()) - int(text.size()) + caret);
        edit.undo();
        QCOMPARE(edit.userText(), text);
    }

    // Ctrl+I and Ctrl+Shift+I move the selected lines by four blanks, each one undo step.
    void indentAndUnindentLines()
    {
        TCodeEdit edit;
        const QString text = QStringLiteral("a\n  b\n\tc\n      d\ne");
        edit.setPlainText(text);
        // From inside line 2 to the start of line 5: lines 2 to 4.
        QTextCursor c = edit.textCursor();
        c.setPosition(3);
        c.setPosition(text.indexOf(QLatin1Char('e')), QTextCursor::KeepAnchor);
        edit.setTextCursor(c);
        QTest::keyClick(&edit, Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(edit.userText(), QStringLiteral("a\n      b\n    \tc\n          d\ne"));
        QCOMPARE(edit.textCursor().selectedText(), QStringLiteral("      b\u2029    \tc\u2029          d"));
        QTest::keyClick(&edit, Qt::Key_I, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(&edit, Qt::Key_I, Qt::ControlModifier | Qt::ShiftModifier);
        // Out: four blanks, fewer where there are fewer, a tab counts as a step.
        QCOMPARE(edit.userText(), QStringLiteral("a\nb\nc\n  d\ne"));
        edit.undo();
        QCOMPARE(edit.userText(), QStringLiteral("a\n  b\n\tc\n      d\ne"));
        edit.undo();
        QCOMPARE(edit.userText(), QStringLiteral("a\n      b\n    \tc\n          d\ne"));
        edit.undo();
        QCOMPARE(edit.userText(), text);
        // Without a selection: the caret's line, the caret moving with its text.
        c.setPosition(0);
        edit.setTextCursor(c);
        QTest::keyClick(&edit, Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(edit.userText(), QStringLiteral("    ") + text);
        QCOMPARE(edit.textCursor().position(), 4);
    }

    // Paste with nothing on the clipboard (no owner, as on a fresh login) does nothing.
    // What leaves the editor by copy or by the window system's selection is the user's text,
    // characters the editor holds as stand-ins included; a copy keeps the text of its moment.
    void copiesAndTheSelectionCarryTheUserText()
    {
        TCodeEdit edit;
        edit.resize(300, 200);
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        const QString text = QStringLiteral("a\u2029b\uFDD0c\u00A0d\ne\u2028f");
        edit.setUserText(text);
        QClipboard *clipboard = QGuiApplication::clipboard();
        QTest::keyClick(&edit, Qt::Key_A, Qt::ControlModifier);
        if (clipboard->supportsSelection())
            QCOMPARE(clipboard->text(QClipboard::Selection), text);
        QTest::keyClick(&edit, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), text);
        // Typed over afterwards, the copy keeps its text; the selection is the new one.
        QTest::keyClicks(&edit, QStringLiteral("neu"));
        QCOMPARE(clipboard->text(), text);
        QTest::keyClick(&edit, Qt::Key_Left, Qt::ShiftModifier);
        if (clipboard->supportsSelection())
            QCOMPARE(clipboard->text(QClipboard::Selection), QStringLiteral("u"));
        // Cut takes it out and hands it over as it was.
        QTest::keyClick(&edit, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(clipboard->text(), QStringLiteral("u"));
        QCOMPARE(edit.userText(), QStringLiteral("ne"));
    }

    void pasteWithAnEmptyClipboard()
    {
        TCodeEdit edit;
        edit.setPlainText(QStringLiteral("<?php echo 1;"));
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        QGuiApplication::clipboard()->clear();
        QGuiApplication::clipboard()->clear(QClipboard::Selection);
        QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(&edit, Qt::Key_Insert, Qt::ShiftModifier);
        edit.paste();
        QTest::mouseClick(edit.viewport(), Qt::MiddleButton, {}, QPoint(5, 5));
        QCOMPARE(edit.userText(), QStringLiteral("<?php echo 1;"));
        // Text on the clipboard still arrives.
        QGuiApplication::clipboard()->setText(QStringLiteral("x"));
        QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
        QVERIFY(edit.userText().contains(QLatin1Char('x')));
    }

    // Line ends a file had stay with their lines through typing; new lines take the given one.
    void lineEndsStayWithTheirLines()
    {
        TCodeEdit edit;
        using LE = TextFormat::LineEnd;
        edit.setUserText(QStringLiteral("a\nb\nc\nd"), {LE::CrLf, LE::Lf, LE::Cr});
        QCOMPARE(edit.lineEnds(LE::CrLf), QList<LE>({LE::CrLf, LE::Lf, LE::Cr}));
        // A break typed at the end of line 1 is new; deleting the one after "b" takes its own.
        QTextCursor c(edit.document()->findBlockByNumber(0));
        c.movePosition(QTextCursor::EndOfBlock);
        edit.setTextCursor(c);
        QTest::keyClick(&edit, Qt::Key_Return);
        c = QTextCursor(edit.document()->findBlockByNumber(2));
        c.movePosition(QTextCursor::EndOfBlock);
        c.deleteChar();
        QCOMPARE(edit.userText(), QStringLiteral("a\n\nbc\nd"));
        QCOMPARE(edit.lineEnds(LE::Lf), QList<LE>({LE::Lf, LE::CrLf, LE::Cr}));
        // A file with one kind throughout carries none.
        edit.setUserText(QStringLiteral("x\ny"));
        QCOMPARE(edit.lineEnds(LE::CrLf), QList<LE>());
    }

    // A line reads left to right also where its first letters are Hebrew: the quote that opens
    // it stays at its left end (read right to left, it would go to the far end of the word).
    void linesRunLeftToRight()
    {
        TCodeEdit edit;
        edit.resize(600, 200);
        edit.setUserText(QStringLiteral("'\u05E9\u05DC\u05D5\u05DD' . $x;\n"));
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        const int quoteAt = edit.cursorRect(QTextCursor(edit.document()->firstBlock())).x();
        QVERIFY2(quoteAt <= edit.document()->documentMargin() + 2, qPrintable(QString::number(quoteAt)));
    }
};

KORLITH_TEST_MAIN(TestEditor)
#include "tst_editor.moc"
