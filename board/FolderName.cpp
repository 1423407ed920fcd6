#include "board/FolderName.h"

#include <QStringEncoder>

namespace qb {

namespace {

// GB18030 needs at least one byte per UTF-16 unit (a surrogate pair takes four),
// so only texts of fewer than 4 units can be shorter than 4 bytes.
bool shorterThanFourBytes(const QString& text) {
    if (text.size() >= 4) return false;
    QStringEncoder gb18030("GB18030");
    return QByteArray(gb18030(text)).size() < 4;
}

} // namespace

QString folderName(const QString& path) {
    if (shorterThanFourBytes(path)) return path;
    // One trailing separator is ignored; a second one leaves an empty last component.
    QStringView t(path);
    if (t.endsWith(u'/')) t.chop(1);
    // No GB18030 trail byte equals "/" (0x2F), so searching the characters finds
    // exactly the separators the byte form holds.
    return t.mid(t.lastIndexOf(u'/') + 1).toString();
}

} // namespace qb
