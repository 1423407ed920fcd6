#include "store/TextCodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>

namespace qb::ini {

namespace {

bool startsWith(QByteArrayView bytes, const char* prefix, qsizetype size) {
    return bytes.size() >= size && bytes.first(size) == QByteArrayView(prefix, size);
}

QStringConverter::Encoding qtEncoding(Encoding encoding) {
    switch (encoding) {
    case Encoding::Utf16Le:
        return QStringConverter::Utf16LE;
    case Encoding::Utf16Be:
        return QStringConverter::Utf16BE;
    case Encoding::Utf32Le:
        return QStringConverter::Utf32LE;
    case Encoding::Utf32Be:
        return QStringConverter::Utf32BE;
    case Encoding::Gb18030:
    case Encoding::Utf8:
        break;
    }
    return QStringConverter::Utf8;
}

// Decodes a run of GB18030 that holds no lone 0x80. The converter holds back an
// unfinished multi-byte sequence at the end; a line break flushes it as a
// replacement character, so a broken byte never vanishes.
QString decodeGbRun(QByteArrayView bytes) {
    if (bytes.isEmpty()) return {};
    thread_local QStringDecoder decoder("GB18030");
    decoder.resetState();
    QString text = decoder.decode(bytes);
    text += decoder.decode(QByteArrayView("\n"));
    if (text.endsWith(u'\n')) text.chop(1);
    return text;
}

// Length of the GB18030 character that starts at `i` (1 for a byte that starts
// none): one byte for ASCII, two for a lead byte and a trail byte, four for
// lead, digit, lead, digit.
qsizetype gbCharLength(const uchar* p, qsizetype n, qsizetype i) {
    const uchar lead = p[i];
    if (lead < 0x81 || lead == 0xFF || i + 1 >= n) return 1;
    const uchar second = p[i + 1];
    if ((second >= 0x40 && second <= 0x7E) || (second >= 0x80 && second <= 0xFE)) return 2;
    const auto isDigit = [](uchar c) { return c >= 0x30 && c <= 0x39; };
    if (isDigit(second) && i + 3 < n && p[i + 2] >= 0x81 && p[i + 2] <= 0xFE && isDigit(p[i + 3]))
        return 4;
    return 1;
}

} // namespace

bool isValidUtf8(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const uchar c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        qsizetype extra = 0;
        uchar low = 0x80, high = 0xBF; // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0) low = 0xA0;  // overlong
            if (c == 0xED) high = 0x9F; // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0) low = 0x90;  // overlong
            if (c == 0xF4) high = 0x8F; // beyond U+10FFFF
        } else {
            return false;
        }
        if (n - i <= extra || p[i + 1] < low || p[i + 1] > high) return false;
        for (qsizetype k = 2; k <= extra; ++k)
            if ((p[i + k] & 0xC0) != 0x80) return false;
        i += extra + 1;
    }
    return true;
}

namespace {

// Which two-byte GB18030 codes are GB2312 characters: rows A1-F7, cells A1-FE,
// without the cells GB2312 leaves empty (GB18030 gives them private-use
// characters). Built once from the converter itself.
bool isGb2312(uchar lead, uchar trail) {
    constexpr int rows = 0xF7 - 0xA1 + 1, cells = 0xFE - 0xA1 + 1;
    static const std::array<bool, rows* cells> assigned = [] {
        std::array<bool, rows * cells> table{};
        QStringDecoder decoder("GB18030");
        for (int row = 0; row < rows; ++row) {
            for (int cell = 0; cell < cells; ++cell) {
                const char pair[2] = {char(0xA1 + row), char(0xA1 + cell)};
                const QString c = decoder.decode(QByteArrayView(pair, 2));
                table[size_t(row * cells + cell)] = c.size() == 1 &&
                                                    c[0] != QChar::ReplacementCharacter &&
                                                    c[0].category() != QChar::Other_PrivateUse;
            }
        }
        return table;
    }();
    if (lead < 0xA1 || lead > 0xF7 || trail < 0xA1 || trail > 0xFE) return false;
    return assigned[size_t((lead - 0xA1) * cells + (trail - 0xA1))];
}

// Whether every character beyond ASCII, read as GB18030, is one of GB2312: the
// hanzi, punctuation and symbols that Chinese text and the program's names use.
bool onlyGb2312(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        if (p[i] < 0x80) {
            ++i;
        } else if (i + 1 < n && isGb2312(p[i], p[i + 1])) {
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

// Scripts that one word may mix: Chinese, Japanese and Korean text do.
QChar::Script scriptGroup(QChar::Script script) {
    switch (script) {
    case QChar::Script_Common:
    case QChar::Script_Inherited:
    case QChar::Script_Unknown:
        return QChar::Script_Unknown; // joins any word
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Bopomofo:
    case QChar::Script_Hangul:
        return QChar::Script_Han;
    default:
        return script;
    }
}

// Whether text reads as something people write: no control, private-use or
// unassigned characters beyond ASCII, and no word (a run of letters and marks)
// that mixes scripts, such as a Greek letter beside a Latin one. Text in
// another encoding read as UTF-8 almost always breaks one of these.
bool plausibleText(QStringView text) {
    QChar::Script word = QChar::Script_Unknown; // the script of the word so far
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        const QChar::Category category = QChar::category(c);
        if (c >= 0x80 && (category == QChar::Other_Control || category == QChar::Other_PrivateUse ||
                          category == QChar::Other_NotAssigned ||
                          category == QChar::Other_Surrogate || QChar::isNonCharacter(c)))
            return false;
        if (!QChar::isLetter(c) && !QChar::isMark(c)) {
            // Joiners and other format characters stand inside words.
            if (category != QChar::Other_Format) word = QChar::Script_Unknown;
            continue;
        }
        const QChar::Script group = scriptGroup(QChar::script(c));
        if (group == QChar::Script_Unknown) continue;
        if (word != QChar::Script_Unknown && word != group) return false;
        word = group;
    }
    return true;
}

} // namespace

Detected detectEncoding(QByteArrayView bytes) {
    if (startsWith(bytes, "\xEF\xBB\xBF", 3)) return {Encoding::Utf8, 3};
    // UTF-32 first: its little-endian mark begins like the UTF-16 one.
    if (startsWith(bytes, "\xFF\xFE\0\0", 4)) return {Encoding::Utf32Le, 4};
    if (startsWith(bytes, "\0\0\xFE\xFF", 4)) return {Encoding::Utf32Be, 4};
    if (startsWith(bytes, "\xFF\xFE", 2)) return {Encoding::Utf16Le, 2};
    if (startsWith(bytes, "\xFE\xFF", 2)) return {Encoding::Utf16Be, 2};
    const bool beyondAscii =
        std::any_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) >= 0x80; });
    // Chinese in GB18030 can be valid UTF-8 too ("图片" is "ͼƬ"); the historic
    // encoding keeps such text unless it holds a character beyond GB2312 and
    // the UTF-8 reading looks like text.
    if (beyondAscii && isValidUtf8(bytes) && !onlyGb2312(bytes) &&
        plausibleText(QString::fromUtf8(bytes)))
        return {Encoding::Utf8, 0};
    return {Encoding::Gb18030, 0};
}

QString decodeGb18030(QByteArrayView bytes) {
    const auto* p = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype n = bytes.size();
    QString text;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < n;) {
        // 0x80 is also a trail byte; only one that starts a character is the euro.
        if (p[i] == 0x80) {
            text += decodeGbRun(bytes.sliced(runStart, i - runStart));
            text += QChar(0x20AC);
            runStart = ++i;
            continue;
        }
        i += gbCharLength(p, n, i);
    }
    text += decodeGbRun(bytes.sliced(runStart));
    return text;
}

QByteArray encodeGb18030(QStringView text) {
    thread_local QStringEncoder encoder("GB18030");
    QByteArray bytes;
    qsizetype runStart = 0;
    for (qsizetype i = 0;; ++i) {
        if (i < text.size() && text[i] != QChar(0x20AC)) continue;
        encoder.resetState();
        bytes += encoder.encode(text.sliced(runStart, i - runStart));
        if (i == text.size()) break;
        bytes += '\x80';
        runStart = i + 1;
    }
    return bytes;
}

bool isWide(Encoding encoding) {
    return encoding != Encoding::Gb18030 && encoding != Encoding::Utf8;
}

QByteArray wideToUtf8(Encoding encoding, QByteArrayView body, bool& exact) {
    // The mark was taken off already; a second one is text and must stay.
    QStringDecoder decoder(qtEncoding(encoding), QStringConverter::Flag::ConvertInitialBom);
    const QString text = decoder.decode(body);
    const QByteArray utf8 = text.toUtf8();
    exact = !decoder.hasError() && utf8ToWide(encoding, utf8) == body;
    return utf8;
}

QByteArray utf8ToWide(Encoding encoding, const QByteArray& utf8) {
    // A U+FEFF at the start of the text is text (the mark was taken off before),
    // and must not be dropped on the way back.
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    QStringEncoder encoder(qtEncoding(encoding), QStringConverter::Flag::Default);
    return encoder.encode(decoder.decode(utf8));
}

const char* encodingName(Encoding encoding) {
    switch (encoding) {
    case Encoding::Gb18030:
        return "GB18030";
    case Encoding::Utf8:
        return "UTF-8";
    case Encoding::Utf16Le:
    case Encoding::Utf16Be:
        return "UTF-16";
    case Encoding::Utf32Le:
    case Encoding::Utf32Be:
        return "UTF-32";
    }
    return "";
}

} // namespace qb::ini
