#include "store/Settings.h"

#include "store/IniFile.h"
#include "store/Log.h"
#include "store/ParsedFiles.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace qb {

using settings::Loaded;
using settings::openRegular;
using settings::ParsedFiles;
using settings::Presence;

namespace {

std::atomic<SettingsFlush> flushPolicy{SettingsFlush::Auto};

// "…/sys" names "…/sys.ini": the last path component loses everything from its
// last dot on, then gets ".ini". Relative paths are taken from the working folder,
// so messages always show a full path.
QString settingsPath(const QString& file) {
    QString path = file;
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot > slash) path.truncate(dot);
    path += QStringLiteral(".ini");
    if (QDir::isRelativePath(path)) path = QDir::current().absoluteFilePath(path);
    return path;
}

// `why`, or the system's words for `code` where a call failed, go to the log and
// the error's reason: the message stays the one users know.
[[noreturn]] void unableToWrite(const QString& path, const char* why, int code = 0) {
    const QString reason = QString::fromLocal8Bit(code ? std::strerror(code) : why);
    qCInfo(lcStore) << "write refused:" << path << why << reason;
    throw SettingsError(QStringLiteral("Unable to write to %1").arg(path), reason);
}

// Whether the user may change this file or folder. The write bits are looked at
// as well as access(): root passes access() on any file, and a file or folder
// marked read-only for everybody is meant to stay as it is.
// Returns 0, or the errno that says why not.
int writeRefusal(const QByteArray& native, bool folder) {
    struct stat info {};
    if (::stat(native.constData(), &info) != 0) return errno;
    if (folder != S_ISDIR(info.st_mode)) return folder ? ENOTDIR : EISDIR;
    if ((info.st_mode & 0222) == 0) return EACCES;
    return ::access(native.constData(), folder ? W_OK | X_OK : W_OK) == 0 ? 0 : errno;
}

QByteArray folderOf(const QByteArray& native) {
    const qsizetype slash = native.lastIndexOf('/');
    if (slash < 0) return QByteArrayLiteral(".");
    if (slash == 0) return QByteArrayLiteral("/");
    return native.left(slash);
}

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += put;
    }
    return true;
}

QByteArray temporaryName(const QByteArray& folder, const QByteArray& base) {
    return folder + "/." + base + '.' +
           QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".tmp";
}

// Whether `name` has the shape temporaryName gives the temporary files of `base`.
bool isTemporaryNameOf(const QByteArray& name, const QByteArray& base) {
    const QByteArray prefix = "." + base + ".", suffix = ".tmp";
    if (!name.startsWith(prefix) || !name.endsWith(suffix)) return false;
    const QByteArray random = name.mid(prefix.size(), name.size() - prefix.size() - suffix.size());
    // A random 64-bit number in base 36 has 13 digits, rarely fewer than 8.
    return random.size() >= 8 && random.size() <= 13 &&
           std::all_of(random.begin(), random.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); });
}

// Whether the new content must be flushed to disk before it is renamed over the old
// file. A power cut must not leave an empty file under the old name. ext4 (in its
// default ordered mode) and btrfs see a replace-by-rename and write the new data
// before the rename reaches the disk themselves, and tmpfs never reaches a disk: no
// flush there, as it costs milliseconds per write on a busy disk. Everywhere else
// the file is flushed. A file that did not exist before is never flushed: losing it
// loses nothing. The rename itself is not synced: losing it only brings back the
// previous, complete file.
bool needsFlush(int fd) {
    switch (flushPolicy.load(std::memory_order_relaxed)) {
    case SettingsFlush::Always:
        return true;
    case SettingsFlush::Never:
        return false;
    case SettingsFlush::Auto:
        break;
    }
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) return true;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case EXT4_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
        return false;
    default:
        return true;
    }
}

// Give the finished content in `fd` the temporary name `linkName` in `folder`, for
// a file opened with O_TMPFILE (which has no name yet).
bool nameUnnamedFile(int fd, const QByteArray& folder, const QByteArray& base,
                     QByteArray& linkName) {
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    for (int attempt = 0; attempt < 16; ++attempt) {
        linkName = temporaryName(folder, base);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, linkName.constData(),
                     AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

// Replace `target` with `bytes` so that the file is always either wholly old or
// wholly new: the content goes to a temporary file in the same folder, reaches the
// disk (see needsFlush), and is renamed over the old file. Where the file system
// allows, the temporary file has no name until it is complete, so a kill mid-write
// leaves nothing behind.
bool replaceFile(const QByteArray& target, const QByteArray& bytes, const struct stat* old,
                 bool unnamed = true) {
    const QByteArray folder = folderOf(target);
    const QByteArray base = target.mid(target.lastIndexOf('/') + 1);
    QByteArray linkName;
    int fd = -1;
    if (unnamed) {
        fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd < 0) return replaceFile(target, bytes, old, false);
    } else {
        for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
            linkName = temporaryName(folder, base);
            fd = ::open(linkName.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST) break;
        }
        if (fd < 0) return false;
    }
    const auto fail = [&] {
        const int error = errno; // told to the user
        ::close(fd);
        if (!linkName.isEmpty()) ::unlink(linkName.constData());
        errno = error;
        return false;
    };
    if (!writeAll(fd, bytes)) return fail();
    if (old) {
        // The new file takes the old one's place, so it keeps its mode and owner.
        if (::fchmod(fd, old->st_mode & 07777) != 0) return fail();
        if (old->st_uid != ::geteuid() || old->st_gid != ::getegid()) {
            // Only root may hand a file to another owner; anyone else keeps their own.
            if (::fchown(fd, old->st_uid, old->st_gid) != 0) {
            }
        }
    }
    if (old && needsFlush(fd) && ::fdatasync(fd) != 0) return fail();
    if (unnamed && !nameUnnamedFile(fd, folder, base, linkName)) {
        // No /proc, say: start again with a named temporary file.
        ::close(fd);
        return replaceFile(target, bytes, old, false);
    }
    if (::rename(linkName.constData(), target.constData()) != 0) return fail();
    // The file is replaced; a late error from close cannot undo that.
    ::close(fd);
    return true;
}

// Writers of one folder take turns, so two processes (the program and a script
// using quillbeck-ini, say) changing the same file never lose each other's change.
// The lock is advisory, held on the folder, and dies with the process. A writer
// waits for it about a second at most: the program writes on its window's thread,
// and a lock that another process keeps must not freeze the window.
class FolderLock {
public:
    explicit FolderLock(const QByteArray& folder)
        : fd_(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ < 0) return;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        auto pause = std::chrono::milliseconds(1);
        for (;;) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
                held_ = true;
                return;
            }
            if (errno == EINTR) continue;
            // A file system without locks: go on unlocked, as before locks existed.
            if (errno != EWOULDBLOCK) return;
            if (std::chrono::steady_clock::now() >= deadline) {
                busy_ = true;
                return;
            }
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::milliseconds(10));
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Removes the temporary files of `base` that a writer killed between naming its
    // finished file and renaming it left behind. Only with the lock held: then no
    // live writer owns one.
    void removeStaleTemporaries(const QByteArray& base) const {
        if (!held_) return;
        const int dirFd = ::dup(fd_);
        if (dirFd < 0) return;
        DIR* dir = ::fdopendir(dirFd);
        if (!dir) {
            ::close(dirFd);
            return;
        }
        while (const dirent* entry = ::readdir(dir))
            if (isTemporaryNameOf(QByteArray(entry->d_name), base))
                ::unlinkat(::dirfd(dir), entry->d_name, 0);
        ::closedir(dir);
    }

    // Whether another writer kept the lock for the whole wait.
    bool busy() const { return busy_; }

private:
    int fd_;
    bool held_ = false;
    bool busy_ = false;
};

// A settings file that is a symbolic link is written through the link, so the link
// stays in place.
QByteArray resolvedTarget(const QByteArray& native, bool& ok) {
    ok = true;
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISLNK(info.st_mode)) return native;
    char resolved[PATH_MAX];
    if (!::realpath(native.constData(), resolved)) {
        ok = false;
        return native;
    }
    return QByteArray(resolved);
}

struct Prepared {
    Loaded current;
    QByteArray updated;
    bool write = false; // whether the file must be written
};

// Reads the file, applies the change and checks that it may be written, without
// writing anything.
template <typename Change>
Prepared prepare(const QString& path, const QByteArray& target, bool createIfMissing,
                 const Change& change) {
    Prepared result;
    const auto parsed = ParsedFiles::instance().get(target, result.current);
    // Rewriting a file we cannot read would throw its content away.
    if (result.current.presence == Presence::Unreadable)
        unableToWrite(path, "not a regular file", result.current.error);
    if (result.current.presence == Presence::Missing && !createIfMissing) return result;

    ini::Document doc = parsed ? *parsed : ini::Document::parse(QByteArray());
    if (parsed) result.current.bytes = parsed->serialize(); // unchanged: the bytes as read
    change(doc);                                            // may refuse with its own message

    const bool exists = result.current.presence == Presence::Present;
    const int refusal = exists ? writeRefusal(target, false) : 0;
    if (refusal) unableToWrite(path, "no write permission", refusal);
    if (const int folder = writeRefusal(folderOf(target), true))
        unableToWrite(path, "no write permission in its folder", folder);
    result.updated = doc.serialize();
    result.write = !exists || result.updated != result.current.bytes;
    if (result.write && !doc.rewritable())
        throw SettingsError(
            QStringLiteral("Cannot write to %1: its %2 text has broken characters, which "
                           "rewriting the file would change")
                .arg(path, QLatin1StringView(ini::encodingName(doc.encoding()))));
    return result;
}

template <typename Change>
void modify(const QString& path, bool createIfMissing, const Change& change) {
    bool resolvedOk = true;
    const QByteArray target = resolvedTarget(QFile::encodeName(path), resolvedOk);
    if (!resolvedOk) unableToWrite(path, "its link cannot be resolved", errno);
    // A change that leaves the file as it is needs no lock: every load writes back
    // the values it has just read.
    if (!prepare(path, target, createIfMissing, change).write) return;

    const FolderLock lock(folderOf(target));
    if (lock.busy()) unableToWrite(path, "another program is writing in its folder");
    const Prepared prepared = prepare(path, target, createIfMissing, change);
    if (!prepared.write) return;
    const bool exists = prepared.current.presence == Presence::Present;
    lock.removeStaleTemporaries(target.mid(target.lastIndexOf('/') + 1));
    if (!replaceFile(target, prepared.updated, exists ? &prepared.current.info : nullptr))
        unableToWrite(path, "the new file could not replace the old one", errno);
    qCDebug(lcStore) << "wrote" << path;
}

} // namespace

void setSettingsFlushForTesting(SettingsFlush flush) {
    flushPolicy.store(flush, std::memory_order_relaxed);
}

QString ReadSetting(const QString& file, const QString& section, const QString& key,
                    const QString& defaultValue) {
    Loaded current;
    const auto document =
        ParsedFiles::instance().get(QFile::encodeName(settingsPath(file)), current);
    if (!document) return defaultValue;
    return document->value(section, key).value_or(defaultValue);
}

void WriteSetting(const QString& file, const QString& section, const QString& key,
                  const QString& value) {
    const QString path = settingsPath(file);
    modify(path, true, [&](ini::Document& doc) {
        const QString why = doc.checkStorable(section, key, value);
        if (!why.isEmpty()) {
            qCInfo(lcStore) << "value refused:" << path << section << key << why;
            throw SettingsError(
                QStringLiteral("Cannot store key \"%1\" of section \"%2\" in %3: %4")
                    .arg(key, section, path, why));
        }
        doc.setValue(section, key, value);
    });
}

void EraseSettingSection(const QString& file, const QString& section) {
    modify(settingsPath(file), false, [&](ini::Document& doc) { doc.eraseSection(section); });
}

void ListSettingSections(const QString& file, QStringList& list) {
    list.clear();
    Loaded current;
    if (const auto document =
            ParsedFiles::instance().get(QFile::encodeName(settingsPath(file)), current))
        list = document->sections();
}

QString SettingsFilePath(const QString& file) {
    return settingsPath(file);
}

QString SettingsReadProblem(const QString& file) {
    Loaded current;
    const int fd = openRegular(QFile::encodeName(settingsPath(file)), current);
    if (fd >= 0) {
        ::close(fd);
        return {};
    }
    if (!current.error) return QStringLiteral("not a regular file");
    return QString::fromLocal8Bit(std::strerror(current.error));
}

} // namespace qb
