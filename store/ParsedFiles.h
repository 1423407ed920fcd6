// Reading settings files: only regular files, and each parsed once while it
// stays as it is on disk.
#pragma once
#include "store/IniFile.h"

#include <QByteArray>
#include <QList>

#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <time.h>

namespace qb::settings {

enum class Presence { Missing, Present, Unreadable };

struct Loaded {
    Presence presence = Presence::Missing;
    QByteArray bytes;
    struct stat info {};
    int error = 0; // why it is unreadable: an errno, 0 for no regular file
};

// Opens a settings file for reading: only a regular file, opened without
// waiting (a FIFO where a settings file should be would block). -1 with
// `result` saying why when there is none.
int openRegular(const QByteArray& native, Loaded& result);
// Reads the rest of `fd` into `result` and closes it.
void readAndClose(int fd, Loaded& result);

// What tells one content of a file from another without reading it. A write
// replaces the file (a new inode, a new time); an editor writing in place changes
// the time, and usually the size.
struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    explicit Identity(const struct stat& info)
        : device(info.st_dev), inode(info.st_ino), size(info.st_size), modified(info.st_mtim) {}
    bool operator==(const Identity& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

// The last files parsed, so that reading many keys of a large file parses it once.
// Each read still looks at the file first and parses it again when its identity
// changed. A file modified shortly before it was read is not kept: a second change
// within the file system's time resolution (two seconds on some) could leave the
// identity as it was, on a reused inode.
class ParsedFiles {
public:
    static ParsedFiles& instance() {
        static ParsedFiles files;
        return files;
    }

    // The parsed file, or null with `result.presence` saying why there is none.
    std::shared_ptr<const ini::Document> get(const QByteArray& native, Loaded& result);

private:
    static constexpr time_t kSettleSeconds = 2;
    static constexpr qsizetype kKept = 8;
    struct Entry {
        QByteArray path;
        Identity identity;
        std::shared_ptr<const ini::Document> document;
    };
    std::mutex mutex_; // reads come from the window's thread and the drop threads
    QList<Entry> entries_;
};

} // namespace qb::settings
