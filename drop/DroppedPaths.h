// The local paths a drag carries, as the file system's bytes.
#pragma once
// A name that is not valid UTF-8 (a file unpacked from an archive made under another
// code page) must reach the system calls exactly as the file manager named it.
#include <QByteArray>
#include <QList>

class QMimeData;

namespace qb {

// The local files of a "text/uri-list", in the source's order. Comments, other
// schemes, other hosts and paths that are not absolute or hold a NUL are left out.
QList<QByteArray> localPathsFromUriList(const QByteArray& uriList);

// The same for a drag's data (nothing when it carries no URI list).
QList<QByteArray> dragLocalPaths(const QMimeData* data);

} // namespace qb
