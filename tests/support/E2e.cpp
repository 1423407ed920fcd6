#include "tests/support/E2e.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

#include <sys/stat.h>

namespace qb::e2e {

QMap<QString, QRect> loggedButtons(const QString& log, const QString& name) {
    QMap<QString, QRect> buttons;
    static const QRegularExpression line(
        QStringLiteral("button of (\\S+) (.+) at (-?\\d+) (-?\\d+) (\\d+) (\\d+)"));
    for (auto it = line.globalMatch(log); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(1) == name)
            buttons.insert(m.captured(2), QRect(m.captured(3).toInt(), m.captured(4).toInt(),
                                                m.captured(5).toInt(), m.captured(6).toInt()));
    }
    return buttons;
}

QString installFakeFileManager(const Sandbox& box) {
    const QString log = box.root() + QStringLiteral("/fm.log");
    const QString program = box.root() + QStringLiteral("/fakefm");
    writeFile(program,
              "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + QFile::encodeName(log) +
                  "'; done\n",
              true);
    writeFile(box.dataHome() + QStringLiteral("/applications/fakefm.desktop"),
              "[Desktop Entry]\nType=Application\nName=Fake files\nExec=" +
                  QFile::encodeName(program) + " %f\nMimeType=inode/directory;\n");
    writeFile(box.configHome() + QStringLiteral("/mimeapps.list"),
              "[Default Applications]\ninode/directory=fakefm.desktop\n");
    return log;
}

QMap<QString, FileState> snapshot(const QString& dir) {
    QMap<QString, FileState> files;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir base(dir);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat st {};
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0) continue;
        FileState s;
        s.isDir = S_ISDIR(st.st_mode);
        s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        if (S_ISREG(st.st_mode)) s.bytes = bytesOf(path);
        files.insert(base.relativeFilePath(path), s);
    }
    return files;
}

QStringList diff(const QMap<QString, FileState>& before, const QMap<QString, FileState>& after) {
    QStringList out;
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (!after.contains(it.key())) {
            out << QStringLiteral("removed: ") + it.key();
            continue;
        }
        const FileState& a = after[it.key()];
        if (a.bytes != it->bytes)
            out << QStringLiteral("content changed: ") + it.key();
        else if (a.mtimeNs != it->mtimeNs)
            out << QStringLiteral("touched: ") + it.key();
        else if (a.isDir != it->isDir)
            out << QStringLiteral("kind changed: ") + it.key();
    }
    for (auto it = after.begin(); it != after.end(); ++it)
        if (!before.contains(it.key())) out << QStringLiteral("created: ") + it.key();
    return out;
}

} // namespace qb::e2e
