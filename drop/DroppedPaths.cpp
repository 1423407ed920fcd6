// Reading a drag's local paths as the file system's bytes.
#include "drop/DroppedPaths.h"

#include <QMimeData>
#include <QSysInfo>

namespace qb {

namespace {

// The path of one "file:" URI, or an empty array when it names no local file.
QByteArray localPath(const QByteArray& uri) {
    static const QByteArray scheme = "file:";
    if (!uri.toLower().startsWith(scheme)) return {};
    QByteArray rest = uri.mid(scheme.size());
    if (rest.startsWith("//")) {
        const qsizetype slash = rest.indexOf('/', 2);
        if (slash < 0) return {};
        const QByteArray host = QByteArray::fromPercentEncoding(rest.mid(2, slash - 2));
        if (!host.isEmpty() && host.compare("localhost", Qt::CaseInsensitive) != 0 &&
            host.compare(QSysInfo::machineHostName().toUtf8(), Qt::CaseInsensitive) != 0)
            return {};
        rest = rest.mid(slash);
    }
    // A query or fragment is no part of a file's name.
    rest = rest.left(rest.indexOf('?') < 0 ? rest.size() : rest.indexOf('?'));
    rest = rest.left(rest.indexOf('#') < 0 ? rest.size() : rest.indexOf('#'));
    const QByteArray path = QByteArray::fromPercentEncoding(rest);
    if (!path.startsWith('/') || path.contains('\0')) return {};
    return path;
}

} // namespace

QList<QByteArray> localPathsFromUriList(const QByteArray& uriList) {
    QList<QByteArray> paths;
    for (QByteArray line : uriList.split('\n')) {
        line = line.trimmed(); // also the CR of CRLF lines
        if (line.isEmpty() || line.startsWith('#')) continue;
        const QByteArray path = localPath(line);
        if (!path.isEmpty()) paths << path;
    }
    return paths;
}

QList<QByteArray> dragLocalPaths(const QMimeData* data) {
    if (!data || !data->hasFormat(QStringLiteral("text/uri-list"))) return {};
    return localPathsFromUriList(data->data(QStringLiteral("text/uri-list")));
}

} // namespace qb
