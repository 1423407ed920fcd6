#include "store/IniFile.h"

#include <QStringDecoder>

#include <algorithm>

namespace qb::ini {

namespace {

bool isBlankByte(char c) {
    return c == ' ' || c == '\t';
}

bool isQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

} // namespace

QString trimBlanks(const QString& text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

QString Document::fold(const QString& name) {
    QString folded = trimBlanks(name);
    for (QChar& c : folded)
        if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() + (u'a' - u'A'));
    return folded;
}

QString quoteForStorage(const QString& value) {
    if (value.isEmpty()) return value;
    const bool blankEdge = isBlank(value.front()) || isBlank(value.back());
    const bool quotedLook =
        value.size() >= 2 && isQuote(value.front()) && value.front() == value.back();
    if (blankEdge || quotedLook) return u'"' + value + u'"';
    return value;
}

QString unquoteStored(const QString& stored) {
    QString value = trimBlanks(stored);
    if (value.size() >= 2 && isQuote(value.front()) && value.front() == value.back())
        return value.mid(1, value.size() - 2);
    return value;
}

QString Document::decode(const QByteArray& bytes) const {
    // Every encoding read here agrees with ASCII; most names (keys "1" to "200",
    // "operate") are.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; }))
        return QString::fromLatin1(bytes);
    if (!textIsUtf8()) return decodeGb18030(bytes);
    // A mark at the start of a line is text here, not a mark.
    thread_local QStringDecoder decoder(QStringConverter::Utf8,
                                        QStringConverter::Flag::ConvertInitialBom);
    decoder.resetState();
    QString text = decoder.decode(bytes);
    // The converter holds back an unfinished sequence at the end of the line; a line
    // break flushes it as a replacement character, so a broken byte never vanishes
    // from a name or joins the next line.
    text += decoder.decode(QByteArrayView("\n"));
    if (text.endsWith(u'\n')) text.chop(1);
    return text;
}

QByteArray Document::encode(const QString& text) const {
    return textIsUtf8() ? text.toUtf8() : encodeGb18030(text);
}

namespace {

// Folded form of a name given as raw bytes, for the common all-ASCII case without
// going through the converter; empty optional when the bytes are not all ASCII.
std::optional<QString> foldAscii(const char* data, qsizetype size) {
    while (size > 0 && isBlankByte(*data))
        ++data, --size;
    while (size > 0 && isBlankByte(data[size - 1]))
        --size;
    QString folded(size, Qt::Uninitialized);
    QChar* out = folded.data();
    for (qsizetype i = 0; i < size; ++i) {
        const uchar c = uchar(data[i]);
        if (c >= 0x80) return std::nullopt;
        out[i] = QLatin1Char(char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c));
    }
    return folded;
}

} // namespace

void Document::classify(Line& line) const {
    const QByteArray& text = line.text;
    qsizetype first = 0;
    while (first < text.size() && isBlankByte(text[first]))
        ++first;
    if (first == text.size()) {
        line.kind = Kind::Blank;
    } else if (text[first] == ';') {
        line.kind = Kind::Comment;
    } else {
        bool header = false;
        if (text[first] == '[') {
            // The closing bracket is looked for in the decoded text: in GB18030 the
            // byte of "]" can be the second byte of a Chinese character. Leading
            // blanks are single bytes, so the "[" sits at the same index decoded.
            const QString decoded = decode(text);
            const qsizetype close = decoded.lastIndexOf(u']');
            if (close > first) {
                header = true;
                line.kind = Kind::Section;
                line.name = trimBlanks(decoded.mid(first + 1, close - first - 1));
                line.folded = fold(line.name);
            }
        }
        if (!header) {
            // "=" (0x3D) is never part of a multi-byte character in GB18030 or
            // UTF-8, so the raw bytes can be split at it.
            line.kind = Kind::Key;
            line.equals = text.indexOf('=');
            const qsizetype keyLength = line.equals < 0 ? text.size() : line.equals;
            if (std::optional<QString> folded = foldAscii(text.constData(), keyLength))
                line.folded = std::move(*folded);
            else
                line.folded = fold(decode(text.left(keyLength)));
        }
    }
}

Document Document::parse(const QByteArray& bytes) {
    Document doc;
    // Lines point into the file's bytes instead of copying them; `source_` keeps
    // those bytes alive for as long as any copy of the document.
    doc.raw_ = bytes;
    doc.raw_.detach(); // own copy: the caller's array may be raw data or change later
    const Detected detected = detectEncoding(doc.raw_);
    doc.encoding_ = detected.encoding;
    doc.bom_ = doc.raw_.first(detected.bomSize);
    qsizetype pos = 0;
    if (isWide(doc.encoding_)) {
        doc.source_ = wideToUtf8(doc.encoding_, QByteArrayView(doc.raw_).sliced(detected.bomSize),
                                 doc.rewritable_);
    } else {
        doc.source_ = doc.raw_;
        pos = detected.bomSize;
    }
    const char* const data = doc.source_.constData();
    const qsizetype size = doc.source_.size();
    doc.lines_.reserve(doc.source_.count('\n') + 1);
    while (pos < size) {
        qsizetype end = pos;
        while (end < size && data[end] != '\n' && data[end] != '\r')
            ++end;
        Line line;
        line.text = QByteArray::fromRawData(data + pos, end - pos);
        if (end < size) {
            const qsizetype eolLength =
                (data[end] == '\r' && end + 1 < size && data[end + 1] == '\n') ? 2 : 1;
            line.eol = QByteArray::fromRawData(data + end, eolLength);
            end += eolLength;
        }
        pos = end;

        doc.classify(line);
        doc.lines_.append(std::move(line));
    }
    return doc;
}

QByteArray Document::serialize() const {
    if (!edited_) return raw_;
    qsizetype total = bom_.size();
    for (const Line& line : lines_)
        total += line.text.size() + line.eol.size();
    QByteArray out;
    out.reserve(total);
    if (!isWide(encoding_)) out += bom_;
    for (const Line& line : lines_) {
        out += line.text;
        out += line.eol;
    }
    if (isWide(encoding_)) return bom_ + utf8ToWide(encoding_, out);
    // A change must not make the file read in another encoding next time: the
    // names in it would change. Where it would, the file states its encoding, a
    // UTF-8 one with a mark, a GB18030 one with a first comment line that is no
    // UTF-8.
    if (bom_.isEmpty() && detectEncoding(out).encoding != encoding_) {
        if (encoding_ == Encoding::Utf8) return QByteArrayLiteral("\xEF\xBB\xBF") + out;
        return ";" + encodeGb18030(u"编码 GB18030") + newLineEnding() + out;
    }
    return out;
}

qsizetype Document::findSection(const QString& folded, qsizetype from) const {
    for (qsizetype i = from; i < lines_.size(); ++i)
        if (lines_[i].kind == Kind::Section && lines_[i].folded == folded) return i;
    return -1;
}

qsizetype Document::sectionEnd(qsizetype header) const {
    qsizetype i = header + 1;
    while (i < lines_.size() && lines_[i].kind != Kind::Section)
        ++i;
    return i;
}

qsizetype Document::findKey(qsizetype header, const QString& folded) const {
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i)
        if (lines_[i].kind == Kind::Key && lines_[i].folded == folded) return i;
    return -1;
}

QByteArray Document::newLineEnding() const {
    for (const Line& line : lines_)
        if (!line.eol.isEmpty()) return line.eol;
    return QByteArrayLiteral("\r\n");
}

std::optional<QString> Document::value(const QString& section, const QString& key) const {
    const qsizetype header = findSection(fold(section));
    if (header < 0) return std::nullopt;
    const qsizetype at = findKey(header, fold(key));
    if (at < 0 || lines_[at].equals < 0) return std::nullopt;
    const Line& line = lines_[at];
    return unquoteStored(decode(line.text.mid(line.equals + 1)));
}

QStringList Document::sections() const {
    QStringList names;
    QStringList seen;
    for (const Line& line : lines_) {
        if (line.kind != Kind::Section || seen.contains(line.folded)) continue;
        seen.append(line.folded);
        names.append(line.name);
    }
    return names;
}

void Document::setValue(const QString& section, const QString& key, const QString& value) {
    const QString foldedSection = fold(section);
    const QString foldedKey = fold(key);
    const qsizetype header = findSection(foldedSection);
    const qsizetype existing = header < 0 ? -1 : findKey(header, foldedKey);
    // A value written back as it reads keeps its line's bytes, whatever they are:
    // bytes that do not decode, another spelling of the same text, blanks, quotes.
    if (existing >= 0 && this->value(section, key) == value) return;
    edited_ = true;
    const QByteArray stored = encode(quoteForStorage(value));
    const QByteArray eol = newLineEnding();

    Line keyLine;
    keyLine.kind = Kind::Key;
    keyLine.folded = foldedKey;
    keyLine.eol = eol;

    if (header < 0) {
        if (!lines_.isEmpty() && lines_.last().eol.isEmpty()) lines_.last().eol = eol;
        Line headerLine;
        headerLine.kind = Kind::Section;
        headerLine.name = trimBlanks(section);
        headerLine.folded = foldedSection;
        headerLine.text = '[' + encode(headerLine.name) + ']';
        headerLine.eol = eol;
        lines_.append(std::move(headerLine));
        const QByteArray name = encode(trimBlanks(key));
        keyLine.equals = name.size();
        keyLine.text = name + '=' + stored;
        lines_.append(std::move(keyLine));
        return;
    }

    if (existing >= 0) {
        // Keep the key as the file spells it (and any indentation); only the value
        // and the blanks around "=" change.
        Line& line = lines_[existing];
        QByteArray name = line.equals < 0 ? line.text : line.text.left(line.equals);
        while (!name.isEmpty() && isBlankByte(name.back()))
            name.chop(1);
        line.equals = name.size();
        line.text = name + '=' + stored;
        return;
    }

    // A new key goes after the section's last key, so comments and blank lines that
    // lead into the next section stay with it.
    qsizetype after = header;
    const qsizetype end = sectionEnd(header);
    for (qsizetype i = header + 1; i < end; ++i)
        if (lines_[i].kind == Kind::Key) after = i;
    if (lines_[after].eol.isEmpty()) lines_[after].eol = eol;
    const QByteArray name = encode(trimBlanks(key));
    keyLine.equals = name.size();
    keyLine.text = name + '=' + stored;
    lines_.insert(after + 1, std::move(keyLine));
}

void Document::eraseSection(const QString& section) {
    const QString folded = fold(section);
    // Every section of that name goes: otherwise a shadowed duplicate would surface
    // with stale values after the first one is erased.
    for (qsizetype header = findSection(folded); header >= 0;
         header = findSection(folded, header)) {
        qsizetype last = header;
        const qsizetype end = sectionEnd(header);
        for (qsizetype i = header + 1; i < end; ++i)
            if (lines_[i].kind == Kind::Key) last = i;
        lines_.remove(header, last - header + 1);
        edited_ = true;
    }
}

QString Document::checkStorable(const QString& section, const QString& key,
                                const QString& value) const {
    const auto hasBreak = [](const QString& text) {
        return text.contains(u'\n') || text.contains(u'\r') || text.contains(QChar(0));
    };
    if (hasBreak(section)) return QStringLiteral("a section name cannot hold a line break or NUL");
    if (hasBreak(key)) return QStringLiteral("a key name cannot hold a line break or NUL");
    if (hasBreak(value)) return QStringLiteral("a value cannot hold a line break or NUL");
    const QString trimmedKey = trimBlanks(key);
    if (trimmedKey.contains(u'=')) return QStringLiteral("a key name cannot contain \"=\"");
    if (trimmedKey.startsWith(u';') || trimmedKey.startsWith(u'['))
        return QStringLiteral("a key name cannot start with \";\" or \"[\"");
    const char* encoding = encodingName(encoding_);
    const auto survives = [this](const QString& text) { return decode(encode(text)) == text; };
    if (!survives(section))
        return QStringLiteral("the section name has characters that %1 cannot hold")
            .arg(QLatin1StringView(encoding));
    if (!survives(key))
        return QStringLiteral("the key name has characters that %1 cannot hold")
            .arg(QLatin1StringView(encoding));
    if (!survives(value))
        return QStringLiteral("the value has characters that %1 cannot hold")
            .arg(QLatin1StringView(encoding));
    return {};
}

} // namespace qb::ini
