// SyntaxAgreement: the syntax table's classes against PHP's own tokenizer, character by character.
#pragma once

#include "core/PhpSyntax.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct AgreementCount
{
    qint64 characters = 0; // every character but the line breaks, which the editor holds as block ends
    qint64 agreeing = 0;
    qint64 nonBlank = 0;
    qint64 nonBlankAgreeing = 0;

    void add(const AgreementCount &other);
    double percent() const;
    double nonBlankPercent() const;
};

struct FileAgreement
{
    AgreementCount count;
    bool mixedTemplate = false;  // it holds non-blank inline HTML
    QStringList differences;     // "line:column PHP class / ours: text", the first few runs
    int differenceRuns = 0;
};

// One letter per class: H inline HTML, O open tag, C close tag, c comment, s string, v variable,
// n number, x other code.
char classLetter(TokenClass c);

// PHP's side: runs `php` with token_get_all() on the files and gives one letter per byte of each.
bool tokenizerClasses(const QString &php, const QStringList &files, QList<QByteArray> *letters, QString *error);

// Compares the letters of a file's bytes with the syntax table's classes of its text as the editor
// holds it.
FileAgreement compareClasses(const QByteArray &bytes, const QByteArray &letters, int keepDifferences = 5);
