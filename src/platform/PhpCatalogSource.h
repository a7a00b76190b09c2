// PhpCatalogSource: what the configured interpreter knows, asked of it once by a script of
// Korlith's own (never the user's code), run in the same container as a preview, and kept in
// a cache under $XDG_CACHE_HOME/Korlith/ for as long as the interpreter's file is the same.
#pragma once

#include "core/PhpCompletion.h"
#include "platform/InterpreterProcess.h"

#include <QObject>
#include <QTimer>

#include <memory>

namespace platform {

class PhpCatalogSource : public QObject
{
    Q_OBJECT
public:
    static constexpr int AnswerWaitMs = 20000; // an interpreter that takes longer does not answer

    explicit PhpCatalogSource(QObject *parent = nullptr);
    ~PhpCatalogSource() override;

    // The catalog of interpreter when it is at hand. Otherwise null, and it is got: from the
    // cache, or by asking the interpreter; `arrived` or `unavailable` follows. An interpreter
    // that could not answer is not asked again until its file changes.
    std::shared_ptr<const PhpCatalog> catalog(const QString &interpreter);
    // Work is in hand: the cache is read or the interpreter asked.
    bool busy() const { return m_busy; }

    // Where the catalog of interpreter is kept, and what names its file as it stands now
    // (empty when there is no such file).
    static QString cachePath(const QString &interpreter);
    static QString identity(const QString &interpreter);
    // The script that asks.
    static QByteArray catalogScript();

signals:
    void arrived();
    // Once for each interpreter (as its file stands): why it gave no catalog, for the user.
    void unavailable(const QString &message);

private:
    void ask(const QString &interpreter);
    void answered();
    void took(quint64 generation, std::shared_ptr<const PhpCatalog> catalog, const QString &failure,
              const QString &interpreter);
    void fail(const QString &interpreter, const QString &why);

    quint64 m_generation = 0;          // of the work in hand; a result of another is stale
    QString m_identity;                // the interpreter the work in hand or the catalog is for
    bool m_busy = false;
    bool m_failed = false;
    std::shared_ptr<const PhpCatalog> m_catalog;
    std::unique_ptr<InterpreterProcess> m_process;
    QString m_interpreter;
    QString m_output;
    QTimer m_wait;
};

} // namespace platform
