#include "platform/InstanceGuard.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qb {

namespace {

// Whether `dir` is a folder of this user (not a link to one) that no other user
// may write into: with `closed`, nobody else may even look into it.
bool isOwnFolder(const QString& dir, bool closed) {
    struct stat info {};
    if (dir.isEmpty() || ::lstat(QFile::encodeName(dir).constData(), &info) != 0) return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() &&
           (info.st_mode & (closed ? 077 : 022)) == 0;
}

// A private folder in a shared one such as /tmp: made if missing. Another user may
// have taken the name first; then it is not ours and is not used.
bool makeOwnFolder(const QString& dir) {
    const QByteArray native = QFile::encodeName(dir);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) return false;
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid())
        return false;
    if ((info.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0) return false;
    return true;
}

// The home folder of the account, from the user database rather than $HOME.
QString accountHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return {};
    return QFile::decodeName(found->pw_dir);
}

// Opens the lock file, made if missing. Anything at that name that is not a
// regular file of this user (another user's file, a link, a pipe) is removed and
// replaced once, which only works in a folder of our own; else -1.
int openOwnLockFile(const QByteArray& path) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        // O_NOFOLLOW: never create or lock some other file through a planted link.
        // O_NONBLOCK: a planted pipe must not hang the start. O_CLOEXEC: a file
        // manager started from a slot must not inherit the lock and keep "the
        // program is running" alive after we end.
        const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        int fd = ::open(path.constData(), O_RDWR | O_CREAT | flags, 0600);
        if (fd < 0) fd = ::open(path.constData(), O_RDONLY | flags);
        if (fd >= 0) {
            struct stat info {};
            if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
                return fd;
            ::close(fd);
        } else if (errno == ENOENT || errno == ENOTDIR) {
            return -1; // no folder to put it in
        }
        if (::unlink(path.constData()) != 0) return -1;
    }
    return -1;
}

} // namespace

QString instanceLockPath(const QString& name, const LockPlaces& places) {
    const QString uid = QString::number(::geteuid());
    const QString runtime = places.runtimeRoot + u'/' + uid;
    if (isOwnFolder(runtime, true)) return runtime + u'/' + name + QStringLiteral(".lock");
    const QString own = places.tmp + u'/' + name + u'-' + uid;
    if (makeOwnFolder(own)) return own + u'/' + name + QStringLiteral(".lock");
    const QString home = places.home.isEmpty() ? accountHome() : places.home;
    if (isOwnFolder(home, false))
        return home + QStringLiteral("/.") + name + QStringLiteral(".lock");
    return {};
}

InstanceGuard::~InstanceGuard() {
    if (fd_ >= 0) ::close(fd_);
}

bool InstanceGuard::claim(const QString& lockPath) {
    if (fd_ >= 0 || lockPath.isEmpty()) return true;
    const int fd = openOwnLockFile(QFile::encodeName(lockPath));
    if (fd < 0) return true;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        fd_ = fd;
        return true;
    }
    const bool heldByOther = errno == EWOULDBLOCK;
    ::close(fd);
    return !heldByOther;
}

} // namespace qb
