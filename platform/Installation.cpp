#include "platform/Installation.h"

#include "platform/Product.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace qb {

namespace {

// Folders that belong to the system: programs found there were put there by a
// package manager or an administrator, for every user.
constexpr const char* kSystemFolders[] = {
    "/bin",
    "/sbin",
    "/lib",
    "/lib32",
    "/lib64",
    "/libx32",
    "/usr/bin",
    "/usr/sbin",
    "/usr/lib",
    "/usr/lib32",
    "/usr/lib64",
    "/usr/libexec",
    "/usr/games",
    "/usr/share",
    "/usr/local/bin",
    "/usr/local/sbin",
    "/usr/local/lib",
    "/usr/local/games",
    "/usr/local/share",
    "/opt",
    "/snap",
    "/etc",
    "/boot",
};

bool isInside(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(folder + u'/');
}

QString realPath(const QString& dir) {
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(dir).absolutePath()) : canonical;
}

bool ownedByAnotherUser(const QString& dir) {
    struct stat st {};
    if (::stat(QFile::encodeName(dir).constData(), &st) != 0) return false;
    return st.st_uid != ::geteuid();
}

} // namespace

QString installedEntryFile(const QString& executableDir) {
    // Not cleaned as a whole: from a linked bin folder, ".." leads where the link does.
    return QDir::cleanPath(executableDir) + QStringLiteral("/" QB_BIN_TO_DATA "/applications/") +
           applicationId() + QStringLiteral(".desktop");
}

bool hasInstallLayout(const QString& executableDir) {
    return QFileInfo(installedEntryFile(executableDir)).isFile();
}

bool isSystemFolder(const QString& dir) {
    const QString path = realPath(dir);
    for (const char* folder : kSystemFolders)
        if (isInside(path, QLatin1String(folder))) return true;
    return false;
}

bool isInstalledProgram(const QString& executableDir) {
    return hasInstallLayout(executableDir) || isSystemFolder(executableDir) ||
           ownedByAnotherUser(executableDir);
}

bool runningInstalled() {
    static const bool installed = isInstalledProgram(QCoreApplication::applicationDirPath());
    return installed;
}

} // namespace qb
