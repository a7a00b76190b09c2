// SyntaxCheck: one `php -l` at a time, its file and output in the instance's scratch folder.
#include "platform/SyntaxCheck.h"

#include "core/AppError.h"
#include "core/TextFile.h"
#include "platform/PreviewRunner.h"
#include "platform/ScratchDir.h"

#include <QFileInfo>

#include <algorithm>

#include <unistd.h>

namespace platform {

namespace {
const QString CheckedFileName = QStringLiteral("Check.php");
const QString CheckOutputName = QStringLiteral("Check.out");
} // namespace

SyntaxCheck::SyntaxCheck(QObject *parent) : QObject(parent) {}

SyntaxCheck::~SyntaxCheck()
{
    stop();
}

void SyntaxCheck::stop()
{
    if (!m_process)
        return;
    m_process->disconnect(this);
    InterpreterProcess::endAndLetGo(std::move(m_process), this, 0);
}

bool SyntaxCheck::isRunning() const
{
    return m_process && m_process->isRunning();
}

bool SyntaxCheck::start(const QString &interpreter, const QByteArray &script, const QString &documentPath)
{
    stop();
    const ScratchDirectory dir = scratchDirectory();
    if (!dir.usable)
        return false;
    const QString file = dir.path + CheckedFileName;
    const QFileInfo document(documentPath);
    const bool hasFile = !documentPath.isEmpty() && document.isFile();
    m_inside = hasFile ? document.canonicalFilePath() : file;
    const QString folder = hasFile ? document.absolutePath() : dir.path.chopped(1);
    const std::optional<Container> fence = PreviewRunner::fenceFor(file, m_inside, folder);
    // Where no container can be had, nothing is checked: the check is never the one process of
    // the user's interpreter that runs outside it.
    if (!fence)
        return false;
    const int fd = createScratchFile(file);
    if (fd < 0)
        return false;
    const bool written = writeWholeFile(fd, script);
    ::close(fd);
    if (!written)
        return false;
    m_output = dir.path + CheckOutputName;
    m_process = std::make_unique<InterpreterProcess>();
    connect(m_process.get(), &InterpreterProcess::finished, this, &SyntaxCheck::ended);
    InterpreterProcess::Start started = InterpreterProcess::Start::NotStarted;
    try {
        // Not waited for: the container's making would hold the window while the user types.
        started = m_process->launch(interpreter, {QStringLiteral("-l"), m_inside}, m_output, QString(), &*fence);
    } catch (const AppError &) {
        // Nothing to say for a check: the next run says what is wrong.
    }
    if (started != InterpreterProcess::Start::Started) {
        m_process.reset();
        return false;
    }
    return true;
}

void SyntaxCheck::ended()
{
    // Told by the process itself: it goes once its signal is over.
    m_process.release()->deleteLater();
    // Standard output and error both: PHP says a parse error once on each, as it is set up.
    QList<ScriptMessage> errors;
    for (const ScriptMessage &m : findScriptMessages(readScratchFile(m_output, OutputRead).bytes, m_inside)) {
        const bool again = std::any_of(errors.begin(), errors.end(),
                                       [&](const ScriptMessage &e) { return e.line == m.line; });
        if (m.error && !again)
            errors.append(m);
    }
    emit checked(errors);
}

} // namespace platform
