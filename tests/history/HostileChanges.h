// Changes others make between a drop and its undo, for the history model test.
#pragma once
#include "HistoryTestUtil.h"
#include "history/Places.h"

#include <QRandomGenerator>
#include <QtTest>

#include <map>

using namespace histutil;
using namespace qb::history;

struct World {
    std::string base, w, other, trash;
    std::unique_ptr<Journal> journal;
    int serial = 0;
};

inline bool isRegular(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Changes others make between a drop and its undo; none of what they made may be
// moved, changed or sent to the Trash by the undo.
struct Hostile {
    std::vector<std::string> links;            // a placed entry swapped for a link
    std::map<std::string, QByteArray> added;   // files added in copied folders
    std::map<std::string, QByteArray> swapped; // Trash entries swapped for others
    std::vector<std::string> otherUsers;       // source folders another user made
};

// `folders`: the pass that replaces source folders (before the other, which then
// finds the paths as they are).
inline void hostileChanges(World& wd, QRandomGenerator& rng, std::int64_t id, Hostile& h,
                           bool folders) {
    const std::string priv = wd.base + "/private", aside = wd.base + "/aside/";
    for (const ItemRecord& it : wd.journal->items(id)) {
        if (it.state != ItemState::Done || rng.bounded(4u)) continue;
        const std::string tag = std::to_string(++wd.serial);
        if (folders) {
            if (::getuid() != 0 || wd.journal->drop(id)->op != qb::Op::Move ||
                identityOf(it.source).known || !identityOf(parentOf(it.source)).known ||
                parentOf(it.source) == wd.w)
                continue;
            // The folder it came from, moved aside; another user makes one open to all.
            const std::string parent = parentOf(it.source);
            if (::rename(parent.c_str(), (aside + tag).c_str()) != 0) continue;
            ::mkdir(parent.c_str(), 0777);
            ::chmod(parent.c_str(), 0777);
            ::chown(parent.c_str(), 65534, 65534);
            h.otherUsers.push_back(parent);
            continue;
        }
        if (!it.merged && it.kind == ItemKind::Folder && identityOf(it.dest).known &&
            wd.journal->drop(id)->op == qb::Op::Copy) {
            const std::string p = it.dest + "/added " + tag;
            write(p, "added " + QByteArray::fromStdString(tag));
            h.added[p] = readAll(p);
        } else if (!it.merged && isRegular(it.dest) && rng.bounded(2u)) {
            // Set aside beside it: the other file system has no room of its own for it.
            if (::rename(it.dest.c_str(), (it.dest + ".aside " + tag).c_str()) != 0) continue;
            ::symlink(priv.c_str(), it.dest.c_str());
            h.links.push_back(it.dest);
        }
        for (const ReplacedRecord& rep : it.replaced) {
            if (!isRegular(rep.trashFile) || rng.bounded(2u)) continue;
            if (::rename(rep.trashFile.c_str(), (rep.trashFile + ".aside").c_str()) != 0) continue;
            write(rep.trashFile, "swapped " + QByteArray::fromStdString(tag));
            h.swapped[rep.trashFile] = readAll(rep.trashFile);
        }
    }
}

inline void checkHostile(const World& wd, const Hostile& h) {
    struct stat st;
    const std::string priv = wd.base + "/private";
    QVERIFY(::lstat(priv.c_str(), &st) == 0 && (st.st_mode & 07777) == 0700);
    QVERIFY2(snap(priv).empty(), "something went into the private folder");
    for (const std::string& p : h.links)
        QVERIFY2(::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode), ("link moved: " + p).c_str());
    for (const auto& [p, data] : h.added)
        QVERIFY2(readAll(p) == data, ("added since, but gone: " + p).c_str());
    for (const auto& [p, data] : h.swapped)
        QVERIFY2(readAll(p) == data, ("restored what the drop did not put there: " + p).c_str());
    for (const std::string& p : h.otherUsers)
        QVERIFY2(snap(p).empty(), ("went into another user's folder: " + p).c_str());
}

inline std::map<std::int64_t, Hostile> hostileChanges(World& wd, QRandomGenerator& rng,
                                                      const std::vector<std::int64_t>& drops) {
    ::mkdir((wd.base + "/private").c_str(), 0700);
    ::mkdir((wd.base + "/aside").c_str(), 0700);
    std::map<std::int64_t, Hostile> out;
    for (const bool folders : {true, false})
        for (const std::int64_t id : drops)
            hostileChanges(wd, rng, id, out[id], folders);
    return out;
}
