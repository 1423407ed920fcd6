#pragma once
// Helpers for the engine tests: real files in temporary folders, and an observer
// that answers from a script and records what it was asked.
#include "engine/Operation.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QStringList>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace testutil {

inline std::string S(const QString& s) {
    return QFile::encodeName(s).toStdString();
}

inline void writeFile(const std::string& path, const QByteArray& data, mode_t mode = 0644) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) qFatal("cannot create %s", path.c_str());
    for (qsizetype off = 0; off < data.size();) {
        const ssize_t n =
            ::write(fd, data.constData() + off, static_cast<size_t>(data.size() - off));
        if (n <= 0) qFatal("cannot write %s", path.c_str());
        off += n;
    }
    ::fchmod(fd, mode);
    ::close(fd);
}

// Replaced files go to a Trash of the test's own, never to the user's. Returns it.
inline std::string useTestTrash(const std::string& base) {
    ::setenv("XDG_DATA_HOME", (base + "/xdg").c_str(), 1);
    return base + "/xdg/Trash";
}

inline QByteArray readFile(const std::string& path) {
    QFile f(QFile::decodeName(path.c_str()));
    if (!f.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
    return f.readAll();
}

inline bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

inline struct stat lst(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

inline void mkdirs(const std::string& path, mode_t mode = 0755) {
    ::mkdir(path.c_str(), mode);
    ::chmod(path.c_str(), mode);
}

// Sorted names in a folder, without "." and "..".
inline QStringList list(const std::string& dir) {
    QStringList out;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const QString n = QFile::decodeName(e->d_name);
            if (n != u"." && n != u"..") out << n;
        }
        ::closedir(d);
    }
    out.sort();
    return out;
}

// Deterministic content, different for every seed.
inline QByteArray pattern(qsizetype size, quint32 seed) {
    QByteArray b(size, Qt::Uninitialized);
    quint32 x = seed * 2654435761u + 1;
    for (qsizetype i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b[i] = static_cast<char>(x);
    }
    return b;
}

inline QByteArray sha(const QByteArray& b) {
    return QCryptographicHash::hash(b, QCryptographicHash::Sha256);
}

class ScriptedObserver : public qb::OperationObserver {
public:
    std::deque<qb::ReplaceAnswer> answers; // for askReplace and askMerge, in order
    qb::ErrorAnswer errorAnswer = qb::ErrorAnswer::Skip;
    std::deque<qb::ErrorAnswer> errorAnswers; // taken first, in order
    std::vector<std::pair<qb::ItemInfo, qb::ItemInfo>> replaceAsked, mergeAsked;
    std::vector<qb::OpError> errors;
    std::function<void(const qb::Progress&)> onProgress;
    qb::Progress last;

    void progress(const qb::Progress& p) override {
        last = p;
        if (onProgress) onProgress(p);
    }
    qb::ReplaceAnswer askReplace(const qb::ItemInfo& existing,
                                 const qb::ItemInfo& incoming) override {
        replaceAsked.emplace_back(existing, incoming);
        return next();
    }
    qb::ReplaceAnswer askMerge(const qb::ItemInfo& existing,
                               const qb::ItemInfo& incoming) override {
        mergeAsked.emplace_back(existing, incoming);
        return next();
    }
    qb::ErrorAnswer error(const qb::OpError& e) override {
        errors.push_back(e);
        if (errorAnswers.empty()) return errorAnswer;
        const auto a = errorAnswers.front();
        errorAnswers.pop_front();
        return a;
    }

private:
    qb::ReplaceAnswer next() {
        if (answers.empty()) qFatal("unexpected question");
        const auto a = answers.front();
        answers.pop_front();
        return a;
    }
};

inline qb::OperationResult runFull(qb::Op op, qb::Policy policy, const std::string& src,
                                   const std::string& dest, ScriptedObserver& obs,
                                   const qb::OperationOptions& options = {}) {
    std::atomic<bool> cancel{false};
    return qb::runOperation(op, policy, src, dest, obs, cancel, options);
}

// A Unix socket at `path`: something no copy can take. False when the path is too long.
inline bool makeSocket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

inline qb::Outcome run(qb::Op op, qb::Policy policy, const std::string& src,
                       const std::string& dest, ScriptedObserver& obs) {
    std::atomic<bool> cancel{false};
    return qb::runOperation(op, policy, src, dest, obs, cancel).outcome;
}

// Without copy workers: each file is done before the next is looked at, so a test
// can act between two files.
inline qb::OperationOptions oneAtATime() {
    qb::OperationOptions o;
    o.workers = 1;
    return o;
}

} // namespace testutil

Q_DECLARE_METATYPE(qb::Outcome)
