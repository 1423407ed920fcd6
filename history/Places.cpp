// Checking and opening the folders an undo works in (see Places.h).
#include "history/Places.h"

#include "history/Recorder.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace qb::history {

namespace {

// The process's umask without changing it (umask() would, for every thread).
std::uint32_t currentUmask() {
    std::uint32_t mask = 022;
    if (std::FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
        std::fclose(f);
    }
    return mask & 0777;
}

} // namespace

std::string parentOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

FolderId folderIdOf(const struct stat& st) {
    FolderId id;
    id.known = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.uid = st.st_uid;
    id.mode = st.st_mode & 07777;
    return id;
}

FolderId folderIdOf(const std::string& path) {
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
    return folderIdOf(st);
}

bool safeFolder(const struct stat& st) {
    const bool openToAll = (st.st_mode & S_IWOTH) && !(st.st_mode & S_ISVTX);
    return S_ISDIR(st.st_mode) && (st.st_uid == ::getuid() || st.st_uid == 0) && !openToAll;
}

Refusal judgeFolder(const struct stat& st, const FolderId& expect) {
    if (!S_ISDIR(st.st_mode)) return Refusal::NotTheFolder;
    if (!expect.known) return safeFolder(st) ? Refusal::None : Refusal::Unsafe;
    // A mount point left empty on the disk below: the recorded disk is not there.
    if (st.st_dev != expect.dev) return Refusal::DriveGone;
    if (st.st_ino == expect.ino && st.st_uid == expect.uid) return Refusal::None;
    // Made again since: only by the user, and so that no one else can change it.
    return st.st_uid == ::getuid() && safeFolder(st) ? Refusal::None : Refusal::NotTheFolder;
}

// Taking out: the entries are checked one by one, the folder only where recorded.
Refusal judgeUse(const struct stat& st, const FolderId& expect, Use use) {
    if (use != Use::Take || expect.known) return judgeFolder(st, expect);
    return S_ISDIR(st.st_mode) ? Refusal::None : Refusal::NotTheFolder;
}

Refusal judgePath(const std::string& path, const FolderId& expect, Use use) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) return judgeUse(st, expect, use);
    if (errno != ENOENT || use != Use::Make) return Refusal::NotTheFolder;
    std::string at = path;
    do {
        const std::string up = parentOf(at);
        if (up == at) return Refusal::NotTheFolder;
        at = up;
    } while (::stat(at.c_str(), &st) != 0 && errno == ENOENT);
    if (!S_ISDIR(st.st_mode)) return Refusal::NotTheFolder;
    if (expect.known && st.st_dev != expect.dev) return Refusal::DriveGone;
    if (!safeFolder(st)) return expect.known ? Refusal::NotTheFolder : Refusal::Unsafe;
    return Refusal::None;
}

int openTrashDir(const std::string& path, const FolderId& expect) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (fd < 0) return -1;
    const bool ours = ::fstat(fd, &st) == 0 && st.st_uid == ::getuid() &&
                      (!expect.known || (st.st_dev == expect.dev && st.st_ino == expect.ino));
    if (ours) return fd;
    ::close(fd);
    errno = EPERM;
    return -1;
}

int openTrashEntry(const ReplacedRecord& rep, Refusal& why, ItemKind* kind) {
    why = Refusal::None;
    engine::Fd files(openTrashDir(parentOf(rep.trashFile), rep.trashDir));
    if (!files.ok()) {
        if (errno != ENOENT) why = Refusal::TrashChanged;
        return -1;
    }
    const Identity now = entryIdentity(files.get(), nameOf(rep.trashFile), kind);
    if (!now.known) return -1;
    // Older journals did not record it: the user's own entry in the user's own Trash.
    const bool same = rep.entry.known ? unchanged(rep.entry, now, *kind)
                                      : now.uid == static_cast<std::int64_t>(::getuid());
    if (!same) return why = Refusal::TrashChanged, -1;
    return files.release();
}

int Folders::open(const std::string& path, const FolderId& expect, Use use, Refusal& why) {
    why = Refusal::None;
    struct stat st;
    if (const auto it = dirs_.find(path); it != dirs_.end()) {
        Dir& d = it->second;
        if (d.made || d.judged || use == Use::Take) return d.fd.get();
        why = ::fstat(d.fd.get(), &st) == 0 ? judgeFolder(st, expect) : Refusal::NotTheFolder;
        d.judged = why == Refusal::None;
        return d.judged ? d.fd.get() : -1;
    }
    engine::Fd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.ok()) {
        if (errno == ENOENT && use == Use::Make) return make(path, expect, why);
        why = Refusal::NotTheFolder;
        return -1;
    }
    why = ::fstat(fd.get(), &st) == 0 ? judgeUse(st, expect, use) : Refusal::NotTheFolder;
    if (why != Refusal::None) return -1;
    Dir& d = dirs_[path];
    d.fd = std::move(fd);
    d.judged = use != Use::Take || expect.known;
    // Owner-only and not the recorded one: made by an undo that was stopped.
    if (expect.known && st.st_ino != expect.ino && (st.st_mode & 07777) == 0700) {
        d.made = true;
        d.mode = expect.mode;
    }
    return d.fd.get();
}

int Folders::make(const std::string& path, const FolderId& expect, Refusal& why) {
    // The nearest folder that is there, and the missing ones below it, top first.
    std::vector<std::string> missing{path};
    engine::Fd base;
    bool baseMade = false;
    for (std::string at = parentOf(path); !base.ok(); at = parentOf(at)) {
        if (const auto it = dirs_.find(at); it != dirs_.end()) {
            base.reset(::dup(it->second.fd.get()));
            baseMade = it->second.made;
            break;
        }
        base.reset(::open(at.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (base.ok()) break;
        if (errno != ENOENT || parentOf(at) == at) return why = Refusal::NotTheFolder, -1;
        missing.push_back(at);
    }
    struct stat st;
    if (!base.ok() || ::fstat(base.get(), &st) != 0) return why = Refusal::NotTheFolder, -1;
    if (expect.known && st.st_dev != expect.dev) return why = Refusal::DriveGone, -1;
    if (!baseMade && !safeFolder(st))
        return why = expect.known ? Refusal::NotTheFolder : Refusal::Unsafe, -1;
    const std::uint32_t plain = 0777 & ~currentUmask();
    for (auto m = missing.rbegin(); m != missing.rend(); ++m) {
        // Owner-only until everything is in; a name someone took meanwhile is refused.
        const std::string name = nameOf(*m);
        engine::Fd made;
        if (::mkdirat(base.get(), name.c_str(), 0700) == 0)
            made.reset(engine::openDir(base.get(), name));
        if (!made.ok() || ::fstat(made.get(), &st) != 0 || st.st_uid != ::getuid())
            return why = Refusal::NotTheFolder, -1;
        Dir& d = dirs_[*m];
        d.fd.reset(::dup(made.get()));
        d.made = true;
        d.mode = *m == path && expect.known ? expect.mode : plain;
        base = std::move(made);
    }
    return dirs_[path].fd.get();
}

void Folders::settleMade(const std::string& path, std::uint32_t mode,
                         const struct timespec* times) {
    const auto it = dirs_.find(path);
    if (it == dirs_.end()) return;
    // One still owner-only and the user's is taken as made by an undo that was stopped.
    struct stat st;
    if (!it->second.made && ::fstat(it->second.fd.get(), &st) == 0 && st.st_uid == ::getuid() &&
        (st.st_mode & 07777) == 0700)
        it->second.made = true;
    if (!it->second.made) return;
    it->second.mode = mode;
    it->second.timed = times != nullptr;
    if (times) std::memcpy(it->second.times, times, sizeof it->second.times);
}

void Folders::finish() {
    // Deepest first: a folder's own time is set once nothing below it changes.
    for (auto it = dirs_.rbegin(); it != dirs_.rend(); ++it) {
        Dir& d = it->second;
        if (!d.made) continue;
        ::fchmod(d.fd.get(), d.mode & 07777);
        if (d.timed) ::futimens(d.fd.get(), d.times);
        d.made = false;
    }
}

} // namespace qb::history
