#include "platform/ProgramFolder.h"

#include "platform/Installation.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <unistd.h>

namespace qb {

QString chooseProgramFolder(const QString& executableDir, bool create) {
    QString dir = executableDir;
    if (!dir.endsWith(u'/')) dir += u'/';
    // An installed copy never writes beside itself, even where it could (root).
    // access() asks the kernel, so a read-only mount or missing permission both count.
    if (!isInstalledProgram(dir) && ::access(QFile::encodeName(dir).constData(), W_OK) == 0)
        return dir;
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty()) config = QDir::homePath() + QStringLiteral("/.config");
    QString user = config + QStringLiteral("/quillbeck/");
    if (create) QDir().mkpath(user);
    return user;
}

namespace {
QString& overriddenFolder() {
    static QString folder;
    return folder;
}
} // namespace

QString programFolder() {
    if (!overriddenFolder().isEmpty()) return overriddenFolder();
    static const QString folder = chooseProgramFolder(QCoreApplication::applicationDirPath());
    return folder;
}

void setProgramFolder(const QString& folder) {
    QString dir = folder;
    if (!dir.isEmpty() && !dir.endsWith(u'/')) dir += u'/';
    overriddenFolder() = dir;
}

} // namespace qb
