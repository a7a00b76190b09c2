// SyntaxAgreement: PHP prints a class letter per byte; the text is decoded and classed as the editor does.
#include "SyntaxAgreement.h"

#include "core/TextCodec.h"

#include <QProcess>

namespace {

// token_get_all() with its token kinds folded into the compared classes.
const char *kTokenizer = R"PHP(
$map = [T_INLINE_HTML => 'H', T_OPEN_TAG => 'O', T_OPEN_TAG_WITH_ECHO => 'O', T_CLOSE_TAG => 'C',
        T_COMMENT => 'c', T_DOC_COMMENT => 'c', T_CONSTANT_ENCAPSED_STRING => 's',
        T_ENCAPSED_AND_WHITESPACE => 's', T_START_HEREDOC => 's', T_END_HEREDOC => 's',
        T_VARIABLE => 'v', T_STRING_VARNAME => 'v', T_LNUMBER => 'n', T_DNUMBER => 'n', T_NUM_STRING => 'n'];
foreach (array_slice($argv, 1) as $file) {
    $out = '';
    foreach (@token_get_all(file_get_contents($file)) as $t) {
        if (is_array($t))
            $out .= str_repeat($map[$t[0]] ?? 'x', strlen($t[1]));
        else
            $out .= str_repeat($t === '"' || $t === '`' || strcasecmp($t, 'b"') === 0 ? 's' : 'x', strlen($t));
    }
    echo $out, "\n";
}
)PHP";

const char *className(char letter)
{
    switch (letter) {
    case 'H': return "HTML";
    case 'O': return "open tag";
    case 'C': return "close tag";
    case 'c': return "comment";
    case 's': return "string";
    case 'v': return "variable";
    case 'n': return "number";
    default: return "code";
    }
}

} // namespace

void AgreementCount::add(const AgreementCount &other)
{
    characters += other.characters;
    agreeing += other.agreeing;
    nonBlank += other.nonBlank;
    nonBlankAgreeing += other.nonBlankAgreeing;
}

double AgreementCount::percent() const
{
    return characters ? 100.0 * double(agreeing) / double(characters) : 100.0;
}

double AgreementCount::nonBlankPercent() const
{
    return nonBlank ? 100.0 * double(nonBlankAgreeing) / double(nonBlank) : 100.0;
}

char classLetter(TokenClass c)
{
    static const char letters[] = {'H', 'O', 'C', 'c', 's', 'v', 'n', 'x'};
    return letters[int(c)];
}

bool tokenizerClasses(const QString &php, const QStringList &files, QList<QByteArray> *letters, QString *error)
{
    // In batches, so that no command line grows past the system's limit.
    for (qsizetype from = 0; from < files.size(); from += 200) {
        QProcess p;
        p.setProcessChannelMode(QProcess::SeparateChannels);
        QStringList args{QStringLiteral("-d"), QStringLiteral("short_open_tag=0"), QStringLiteral("-r"),
                         QString::fromLatin1(kTokenizer), QStringLiteral("--")};
        const QStringList batch = files.mid(from, 200);
        args += batch;
        p.start(php, args);
        if (!p.waitForStarted() || !p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            *error = QStringLiteral("%1: %2 %3").arg(php, p.errorString(), QString::fromLocal8Bit(p.readAllStandardError()));
            return false;
        }
        QList<QByteArray> lines = p.readAllStandardOutput().split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        if (lines.size() != batch.size()) {
            *error = QStringLiteral("%1 gave %2 results for %3 files").arg(php).arg(lines.size()).arg(batch.size());
            return false;
        }
        *letters += lines;
    }
    return true;
}

FileAgreement compareClasses(const QByteArray &bytes, const QByteArray &letters, int keepDifferences)
{
    FileAgreement result;
    const DecodedText decoded = decodeText(bytes);
    const QList<int> offsets = sourceOffsets(bytes, decoded);
    const QString &text = decoded.text;
    PhpSyntax syntax;
    int state = -1;
    QList<SyntaxRange> ranges;
    QByteArray ours;
    int lineNo = 0;
    for (qsizetype lineStart = 0; lineStart <= text.size(); ++lineNo) {
        qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), lineStart);
        if (lineEnd < 0)
            lineEnd = text.size();
        const QString line = text.mid(lineStart, lineEnd - lineStart);
        ranges.clear();
        state = syntax.highlightLine(line, state, ranges);
        ours.fill('?', line.size());
        for (const SyntaxRange &r : ranges)
            for (int k = r.start; k < r.start + r.length; ++k)
                ours[k] = classLetter(tokenClass(r.kind));
        bool inRun = false;
        for (int k = 0; k < line.size(); ++k) {
            const int offset = offsets.value(lineStart + k, -1);
            const char theirs = offset >= 0 && offset < letters.size() ? letters.at(offset) : '?';
            const bool same = theirs == ours.at(k);
            const bool blank = line.at(k).isSpace();
            ++result.count.characters;
            result.count.agreeing += same;
            if (!blank) {
                ++result.count.nonBlank;
                result.count.nonBlankAgreeing += same;
                if (theirs == 'H')
                    result.mixedTemplate = true;
            }
            if (!same && !inRun) {
                ++result.differenceRuns;
                if (result.differences.size() < keepDifferences)
                    result.differences << QStringLiteral("%1:%2 PHP %3 / ours %4: %5")
                                              .arg(lineNo + 1)
                                              .arg(k + 1)
                                              .arg(QLatin1String(className(theirs)), QLatin1String(className(ours.at(k))),
                                                   line.mid(qMax(0, k - 20), 60));
            }
            inRun = !same;
        }
        lineStart = lineEnd + 1;
    }
    return result;
}
