#pragma once
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "store/TextCodec.h"

#include <optional>

namespace qb::ini {

// One settings file in memory, line by line, as raw bytes. Only the lines a change
// touches are rebuilt; every other line is written back exactly as it was read, so
// comments, spacing and bytes that do not decode survive.
class Document {
public:
    enum class Kind { Blank, Comment, Section, Key };
    struct Line {
        QByteArray text; // without its line ending
        QByteArray eol;  // "\r\n", "\n", "\r", or empty for a last line without one
        Kind kind = Kind::Blank;
        QString name;          // section or key name as found (trimmed, decoded)
        QString folded;        // name for matching: ASCII letters in small case
        qsizetype equals = -1; // byte offset of the first "=" in a key line, or -1
    };

    static Document parse(const QByteArray& bytes);
    // The file's bytes: as read while nothing changed. A changed file that would
    // otherwise read in another encoding gets a line (GB18030) or a mark (UTF-8)
    // that keeps its encoding.
    QByteArray serialize() const;

    // The encoding the file was read in, and in which it is written back.
    Encoding encoding() const { return encoding_; }

    // Whether a changed document can be written in the file's encoding without
    // altering lines it did not change: not so for UTF-16 or UTF-32 text with
    // broken characters, which cannot go through the conversion unchanged.
    bool rewritable() const { return rewritable_; }

    // The value of the first matching key in the first matching section, with blanks
    // and one pair of matching quotes removed; nothing when the file has no such key
    // or the key's line has no "=".
    std::optional<QString> value(const QString& section, const QString& key) const;

    // Each section name once, in file order (the first spelling of duplicates).
    QStringList sections() const;

    // Leave the first matching key's line as it is when it already reads as `value`,
    // or replace its value in place, or append the key at the end
    // of the first matching section, or append the section at the end of the file.
    // The caller has checked the names and value with checkStorable().
    void setValue(const QString& section, const QString& key, const QString& value);

    // Remove every section of that name: its header and its keys.
    void eraseSection(const QString& section);

    // Why this section, key and value cannot be stored in this file and read back
    // unchanged, or an empty text when they can. An empty key or value is not checked.
    QString checkStorable(const QString& section, const QString& key, const QString& value) const;

    // Matching form of a name: surrounding blanks dropped, ASCII letters small.
    static QString fold(const QString& name);

private:
    QString decode(const QByteArray& bytes) const;
    QByteArray encode(const QString& text) const;
    // Sets the kind, name and matching form of a line from its text.
    void classify(Line& line) const;
    qsizetype findSection(const QString& folded, qsizetype from = 0) const;
    qsizetype sectionEnd(qsizetype header) const;
    qsizetype findKey(qsizetype header, const QString& folded) const;
    QByteArray newLineEnding() const;

    bool textIsUtf8() const { return encoding_ != Encoding::Gb18030; }

    QByteArray raw_;    // the file's bytes as read, written back while nothing changed
    QByteArray source_; // the parsed text (UTF-8 for wide files), which lines point into
    QByteArray bom_;
    Encoding encoding_ = Encoding::Gb18030;
    bool rewritable_ = true;
    bool edited_ = false;
    QList<Line> lines_;
};

// The blanks that surround names and values: space and tab.
inline bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}
QString trimBlanks(const QString& text);

// How a value is written after "=" so that reading gives back exactly `value`.
QString quoteForStorage(const QString& value);
// How the text after "=" reads: blanks dropped, then one pair of matching quotes.
QString unquoteStored(const QString& stored);

} // namespace qb::ini
