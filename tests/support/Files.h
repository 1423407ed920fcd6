#pragma once
// File helpers shared by the tests: header-only, Qt Core alone.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringEncoder>
#include <QStringList>

namespace qb::test {

// Writes `bytes` to `path`, making its folder first; a file the test cannot set up
// ends the test program.
inline void writeFile(const QString& path, const QByteArray& bytes = "x", bool executable = false) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    f.close();
    if (executable && !f.setPermissions(f.permissions() | QFile::ExeOwner | QFile::ExeUser))
        qFatal("cannot make %s executable", qPrintable(path));
}

// Makes the folder `path` and those above it; a folder the test cannot set up ends
// the test program. Returns `path`.
inline QString madeFolder(const QString& path) {
    if (!QDir().mkpath(path)) qFatal("cannot make %s", qPrintable(path));
    return path;
}

// The file's bytes; empty when it cannot be read.
inline QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The lines of a UTF-8 text file, without the empty one after the last newline.
inline QStringList lines(const QString& file) {
    QStringList l = QString::fromUtf8(bytesOf(file)).split(u'\n');
    if (!l.isEmpty() && l.last().isEmpty()) l.removeLast();
    return l;
}

// Text in the settings files' encoding.
inline QByteArray gb(const QString& text) {
    return QStringEncoder("GB18030").encode(text);
}

} // namespace qb::test
