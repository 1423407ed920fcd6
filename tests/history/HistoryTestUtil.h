#pragma once
// Helpers for the journal and undo tests: a whole folder tree as it is (names, contents,
// modes, times, link targets), and an undo observer that answers from a setting.
#include "history/Recorder.h"
#include "history/Undo.h"

#include <QByteArray>
#include <QFile>

#include <map>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace histutil {

struct Node {
    char type = 0;   // 'f' file, 'd' folder, 'l' link
    QByteArray data; // file content or link target
    mode_t mode = 0;
    std::int64_t mtimeNs = 0; // files and links: a folder's changes with what goes in and out
    bool operator==(const Node&) const = default;
};
using Tree = std::map<std::string, Node>; // by path relative to the root

inline QByteArray readAll(const std::string& path) {
    QFile f(QFile::decodeName(path.c_str()));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

inline void snap(const std::string& root, const std::string& rel, Tree& out) {
    DIR* d = ::opendir((rel.empty() ? root : root + "/" + rel).c_str());
    if (!d) return;
    while (dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        const std::string r = rel.empty() ? n : rel + "/" + n, p = root + "/" + r;
        struct stat st;
        if (::lstat(p.c_str(), &st) != 0) continue;
        Node node;
        node.mode = st.st_mode;
        if (S_ISDIR(st.st_mode)) {
            node.type = 'd';
            snap(root, r, out);
        } else {
            node.mtimeNs = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
            if (S_ISLNK(st.st_mode)) {
                char buf[4096];
                const ssize_t len = ::readlink(p.c_str(), buf, sizeof buf);
                node.type = 'l';
                node.data = QByteArray(buf, len > 0 ? len : 0);
            } else {
                node.type = 'f';
                node.data = readAll(p);
            }
        }
        out[r] = node;
    }
    ::closedir(d);
}

inline Tree snap(const std::string& root) {
    Tree t;
    snap(root, {}, t);
    return t;
}

// The first difference of two trees, for the failure message; empty when equal.
inline std::string diff(const Tree& a, const Tree& b) {
    for (const auto& [k, v] : a) {
        const auto it = b.find(k);
        if (it == b.end()) return "gone: " + k;
        if (!(it->second == v))
            return "differs: " + k + " (" + std::string(1, v.type) + "/" +
                   std::string(1, it->second.type) + ", mode " + std::to_string(v.mode) + "/" +
                   std::to_string(it->second.mode) + ")";
    }
    for (const auto& [k, v] : b)
        if (!a.count(k)) return "new: " + k;
    return {};
}

inline void write(const std::string& path, const QByteArray& data, mode_t mode = 0644) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) qFatal("cannot create %s", path.c_str());
    if (::write(fd, data.constData(), static_cast<size_t>(data.size())) != data.size())
        qFatal("cannot write %s", path.c_str());
    ::fchmod(fd, mode);
    ::close(fd);
}

class Answers : public qb::history::UndoObserver {
public:
    qb::history::ClashAnswer answer = qb::history::ClashAnswer::Rename;
    int asked = 0;
    qb::history::ClashAnswer askClash(const std::string&, const std::string&, bool) override {
        ++asked;
        return answer;
    }
};

// Says yes to every replace and merge.
class Yes : public qb::OperationObserver {
public:
    void progress(const qb::Progress&) override {}
    qb::ReplaceAnswer askReplace(const qb::ItemInfo&, const qb::ItemInfo&) override {
        return qb::ReplaceAnswer::Yes;
    }
    qb::ReplaceAnswer askMerge(const qb::ItemInfo&, const qb::ItemInfo&) override {
        return qb::ReplaceAnswer::Yes;
    }
    qb::ErrorAnswer error(const qb::OpError&) override { return qb::ErrorAnswer::Skip; }
};

inline std::unique_ptr<qb::history::Journal> journalAt(const std::string& folder) {
    std::string error;
    auto j = qb::history::Journal::open(folder, error);
    if (!j) qFatal("journal: %s", error.c_str());
    return j;
}

// A drop of `items` into `dest`, recorded, every question answered yes.
inline std::int64_t recordDrop(qb::history::Journal& j, qb::Op op, qb::Policy policy,
                               const std::vector<std::string>& items, const std::string& dest) {
    qb::history::DropRecord d;
    d.op = op;
    d.policy = policy;
    d.destFolder = dest;
    const std::int64_t id = j.beginDrop(d);
    Yes yes;
    std::atomic<bool> cancel{false};
    for (const std::string& item : items)
        qb::history::runRecorded(&j, id, op, policy, item, dest, yes, cancel);
    j.endDrop(id, qb::Outcome::Done);
    return id;
}

inline qb::history::UndoResult undoNow(qb::history::Journal& j, std::int64_t id,
                                       qb::Policy policy = qb::Policy::AutoRename) {
    Answers a;
    std::atomic<bool> cancel{false};
    return qb::history::runUndo(j, qb::history::planUndo(j, id), policy, a, cancel);
}

} // namespace histutil
