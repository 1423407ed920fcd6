#pragma once
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace qb::ini {

// The encodings a settings file may come in. Files the program creates are
// GB18030; files from elsewhere keep the encoding they were written in.
enum class Encoding { Gb18030, Utf8, Utf16Le, Utf16Be, Utf32Le, Utf32Be };

struct Detected {
    Encoding encoding = Encoding::Gb18030;
    qsizetype bomSize = 0; // bytes of the byte order mark at the start, if any
};

// A byte order mark names the encoding. Without one, a file is GB18030 unless
// it is valid UTF-8 holding bytes above ASCII, its GB18030 reading has a
// character beyond GB2312, and its UTF-8 reading looks like text (no control,
// private-use or unassigned characters, no word mixing scripts). Chinese in
// GB18030 is often valid UTF-8 by chance, but read as GB18030 it is GB2312
// text; Chinese in UTF-8 read as GB18030 almost never is.
Detected detectEncoding(QByteArrayView bytes);

// Whether the bytes are well-formed UTF-8: no stray, overlong or truncated
// sequences, no surrogates, nothing beyond U+10FFFF.
bool isValidUtf8(QByteArrayView bytes);

// GB18030 as files from Windows use it: the single byte 0x80 is the euro sign
// there, so it reads as U+20AC and the euro sign is written as 0x80. Bytes that
// do not decode read as U+FFFD.
QString decodeGb18030(QByteArrayView bytes);
QByteArray encodeGb18030(QStringView text);

// UTF-16 and UTF-32 files are worked on as UTF-8 and converted back when written.
bool isWide(Encoding encoding);
// `exact` tells whether converting the result back gives the same bytes; it does
// not for broken text (lone surrogates, an odd byte at the end).
QByteArray wideToUtf8(Encoding encoding, QByteArrayView body, bool& exact);
QByteArray utf8ToWide(Encoding encoding, const QByteArray& utf8);

// The encoding's name, for messages.
const char* encodingName(Encoding encoding);

} // namespace qb::ini
