// Reading and writing a document file whole, in the format it came in.
#pragma once

#include "core/EditorBytes.h"
#include "core/TextCodec.h"

#include <QString>

// What the editor widget lays out in reasonable time and memory: a file of 128 MiB (about 3.7
// GB of memory at its peak, some 45 s), a line of 256 KiB (a few seconds; the widget's layout
// of a single line grows with the square of its length, and 1 MB takes most of a minute).
constexpr qint64 MaxDocumentBytes = 128ll * 1024 * 1024;
constexpr qint64 MaxLineBytes = 256ll * 1024;

// Raises "Cannot open file %s" when the file cannot be read (missing, a directory, no right),
// and a message of its own for a file beyond the bounds above; such a file is not read whole.
DecodedText loadDocument(const QString &path);

// Raises "Cannot create file %s"; a failed write leaves the old file as it was. Line ends as
// encodeText() writes them.
void saveDocument(const QString &path, const QString &text, const TextFormat &format,
                  const QList<TextFormat::LineEnd> &lineEnds = {});
// The same for the editor's text, written while it is encoded.
void saveDocument(const QString &path, EditorBytes &bytes);

// The document as the file commands know it: its caption, the file it was opened from, the
// folder it runs in and its file's format. The caption is the document's title state:
// untitled until a file is opened or a copy with a title restored; Save As keeps it, so an
// untitled document asks for a name on every Save, and a titled one saves to the file it
// was opened from.
class Document
{
public:
    static inline const QString Untitled = QStringLiteral("Korlith 2005");

    // Before any file is chosen, the document's folder is the one given here.
    explicit Document(QString startFolder);

    const QString &caption() const { return m_caption; }
    bool isUntitled() const { return m_caption == Untitled; }
    // The file last opened (or restored with a copy): Save writes there while titled.
    const QString &openedFile() const { return m_openedFile; }
    // Where Save writes without asking; empty while untitled.
    QString saveTarget() const { return isUntitled() ? QString() : m_openedFile; }
    // Where the interpreter runs and the page's relative addresses lead: the folder of the
    // file chosen last, to open or to save as.
    const QString &folder() const { return m_folder; }
    const TextFormat &format() const { return m_format; }

    // New: untitled, in the default format. The files and the folder chosen stay.
    void clear();
    // A file chosen in a dialog (or named at the start): its folder becomes the document's,
    // whether or not it can then be read.
    void chooseFile(const QString &path);
    // The chosen file was read: its name titles the document.
    void opened(const QString &path, const TextFormat &format);
    // A recovered copy's state, as that instance had it.
    void restore(const QString &openedFile, const QString &caption, const TextFormat &format);
    // The user chose to save it as UTF-8 from now on (its text holds what its own encoding cannot).
    void changeToUtf8();

private:
    QString m_caption = Untitled;
    QString m_openedFile;
    QString m_folder;
    TextFormat m_format;
};
