#pragma once
#include <QString>

namespace qb {

// The path of a slot that has never been set: the root folder.
inline QString defaultSlotPath() {
    return QStringLiteral("/");
}

// The name shown for a slot path: its last component, one trailing "/" ignored.
// A path shorter than 4 bytes in its GB18030 form (the root "/", the empty text)
// is its own name. Pure: the file system is not consulted.
QString folderName(const QString& path);

} // namespace qb
