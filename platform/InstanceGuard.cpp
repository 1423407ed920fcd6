#include "platform/InstanceGuard.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace qb {

QString instanceLockPath(const QString& name) {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        QString dir = runtime;
        if (!dir.endsWith(u'/')) dir += u'/';
        return dir + name + QStringLiteral(".lock");
    }
    return QStringLiteral("/tmp/") + name + u'-' + QString::number(::getuid()) +
           QStringLiteral(".lock");
}

InstanceGuard::~InstanceGuard() {
    if (fd_ >= 0) ::close(fd_);
}

bool InstanceGuard::claim(const QString& lockPath) {
    if (fd_ >= 0) return true;
    const QByteArray path = QFile::encodeName(lockPath);
    // O_NOFOLLOW: /tmp is shared, a planted symlink must not make us create or
    // lock some other file. O_CLOEXEC: a file manager started from a slot must not
    // inherit the lock and keep "the program is running" alive after we end.
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
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
