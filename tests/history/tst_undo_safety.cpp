// An undo against what others changed between the drop and the undo: a source folder
// another user made again (and swaps for a link while the undo runs), a Trash entry
// planted or swapped, a source disk unplugged, entries added to a copied folder.
// Other users are played by forked children as uid 65534; needs root, skips otherwise.
#include "HistoryTestUtil.h"
#include "tests/support/Command.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>

#include <sys/mount.h>
#include <sys/wait.h>

using namespace histutil;
using namespace qb::history;
using qb::Op;
using qb::Policy;

namespace {

constexpr uid_t kOther = 65534;

pid_t spawnAsOther(const std::function<bool()>& fn) {
    const pid_t c = ::fork();
    if (c == 0) {
        if (::setresgid(kOther, kOther, kOther) != 0 || ::setresuid(kOther, kOther, kOther) != 0)
            ::_exit(2);
        ::_exit(fn() ? 0 : 1);
    }
    return c;
}

// Runs `fn` as the other user; true when it returned true.
bool asOther(const std::function<bool()>& fn) {
    int status = 0;
    return ::waitpid(spawnAsOther(fn), &status, 0) > 0 && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

bool exists(const std::string& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

mode_t modeOf(const std::string& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

bool refusedFor(const UndoResult& r, const std::string& path, Refusal why) {
    for (const Refused& x : r.refused)
        if (x.path == path && x.why == why) return true;
    return false;
}

} // namespace

class TestUndoSafety : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> tmp_;
    std::string base_;
    std::vector<std::string> mounts_;

    // A fresh tmpfs at `at`; false where nothing can be mounted here.
    bool mountTmpfs(const std::string& at) {
        ::mkdir(at.c_str(), 0755);
        if (::mount("none", at.c_str(), "tmpfs", 0, "mode=0755") != 0) return false;
        mounts_.push_back(at);
        return true;
    }

private slots:
    void init() {
        if (::getuid() != 0) QSKIP("needs root to act as a second user");
        tmp_ = std::make_unique<QTemporaryDir>();
        base_ = tmp_->path().toStdString();
        // Like /tmp: anyone may make folders here, and remove only their own.
        ::chmod(base_.c_str(), 01777);
        ::setenv("XDG_DATA_HOME", (base_ + "/xdg").c_str(), 1);
    }
    void cleanup() {
        for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it)
            ::umount2(it->c_str(), MNT_DETACH);
        mounts_.clear();
        tmp_.reset();
    }

    // The source folder emptied by a move and removed; another user makes it again,
    // open to all, and (a merged folder) swaps the folder the undo would make in it
    // for a link to the user's private folder, again and again while the undo runs.
    void sourceFolderMadeByAnother_data() {
        QTest::addColumn<bool>("merged");
        QTest::addRow("files") << false;
        QTest::addRow("merged folder") << true;
    }
    void sourceFolderMadeByAnother() {
        QFETCH(bool, merged);
        const std::string proj = base_ + "/proj", slot = base_ + "/slot", priv = base_ + "/private";
        for (const std::string& d : {proj, slot, priv, slot + "/d", proj + "/d"})
            ::mkdir(d.c_str(), 0700);
        for (const char* n : {"a.txt", "b.txt"}) {
            write(proj + "/" + n, QByteArray("mine ") + n, 0600);
            write(proj + "/d/" + n, QByteArray("in d ") + n, 0600);
        }
        auto j = journalAt(base_ + "/state");
        const std::vector<std::string> items =
            merged ? std::vector<std::string>{proj + "/d"}
                   : std::vector<std::string>{proj + "/a.txt", proj + "/b.txt"};
        if (!merged) ::rename((proj + "/d").c_str(), (base_ + "/d-aside").c_str());
        // Asked, a folder meeting one of its name merges with it.
        const std::int64_t id = recordDrop(*j, Op::Move, Policy::AskReplace, items, slot);
        if (merged) ::rename((proj + "/a.txt").c_str(), (base_ + "/a-aside").c_str());
        if (merged) ::rename((proj + "/b.txt").c_str(), (base_ + "/b-aside").c_str());
        QCOMPARE(::rmdir(proj.c_str()), 0);
        QVERIFY(asOther(
            [&] { return ::mkdir(proj.c_str(), 0777) == 0 && ::chmod(proj.c_str(), 0777) == 0; }));
        // No allocation in the forked child: its names are made before.
        const std::string d = proj + "/d", aside = proj + "/moved-away";
        const pid_t racer = spawnAsOther([&] {
            for (;;) {
                struct stat st;
                if (::lstat(d.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
                    ::rename(d.c_str(), aside.c_str()) == 0)
                    ::symlink(priv.c_str(), d.c_str());
                ::rmdir(aside.c_str());
            }
            return true;
        });
        ::usleep(20000);
        const UndoResult r = undoNow(*j, id);
        ::kill(racer, SIGKILL);
        ::waitpid(racer, nullptr, 0);
        QCOMPARE(modeOf(priv), mode_t(0700));
        QVERIFY(snap(priv).empty());
        for (const auto& [rel, node] : snap(proj))
            QVERIFY2(node.type != 'f', ("went into the other user's folder: " + rel).c_str());
        const std::string inSlot = merged ? slot + "/d/" : slot + "/";
        QCOMPARE(readAll(inSlot + "a.txt"), QByteArray(merged ? "in d a.txt" : "mine a.txt"));
        QVERIFY(refusedFor(r, inSlot + "b.txt", Refusal::NotTheFolder));
        QVERIFY(!r.finished);
        QCOMPARE(j->lastUndoable(), id); // still on offer
    }

    // A replaced file in a shared .Trash (1777) of another disk: the Trash folder
    // taken over by another user, or the entry in it swapped. Neither comes back.
    void trashEntryNotTheDrops_data() {
        QTest::addColumn<bool>("otherUser");
        QTest::addRow("trash folder of another user") << true;
        QTest::addRow("entry swapped") << false;
    }
    void trashEntryNotTheDrops() {
        QFETCH(bool, otherUser);
        const std::string disk = base_ + "/disk", src = base_ + "/src";
        if (!mountTmpfs(disk)) QSKIP("cannot mount a tmpfs here");
        ::mkdir(src.c_str(), 0755);
        ::mkdir((disk + "/slot").c_str(), 0755);
        ::mkdir((disk + "/.Trash").c_str(), 01777);
        QCOMPARE(::chown((disk + "/.Trash").c_str(), kOther, kOther), 0);
        write(disk + "/slot/report.txt", "old");
        write(src + "/report.txt", "new");
        auto j = journalAt(base_ + "/state");
        const std::int64_t id =
            recordDrop(*j, Op::Copy, Policy::AutoReplace, {src + "/report.txt"}, disk + "/slot");
        const std::string mine = disk + "/.Trash/0";
        QCOMPARE(readAll(mine + "/files/report.txt"), QByteArray("old"));
        const auto plant = [&] {
            if (otherUser && ::rename(mine.c_str(), (mine + ".stolen").c_str()) != 0) return false;
            ::mkdir(mine.c_str(), 0700);
            ::mkdir((mine + "/files").c_str(), 0700);
            ::unlink((mine + "/files/report.txt").c_str());
            write(mine + "/files/report.txt", "planted");
            return true;
        };
        if (otherUser)
            QVERIFY(asOther(plant));
        else
            QVERIFY(plant());
        const UndoResult r = undoNow(*j, id);
        QVERIFY(readAll(disk + "/slot/report.txt") != "planted");
        QCOMPARE(readAll(mine + "/files/report.txt"), QByteArray("planted"));
        QVERIFY(refusedFor(r, disk + "/slot/report.txt", Refusal::TrashChanged));
        QCOMPARE(j->lastUndoable(), id);
    }

    // A move from a disk that is unplugged before the undo: its mount point is an empty
    // folder of the root disk then. Nothing goes there; plugged in again, the undo ends.
    void sourceDiskGone() {
        const std::string store = base_ + "/store", usb = base_ + "/usb", slot = base_ + "/slot";
        if (!mountTmpfs(store)) QSKIP("cannot mount a tmpfs here");
        ::mkdir((store + "/vol").c_str(), 0755);
        ::mkdir(usb.c_str(), 0755);
        ::mkdir(slot.c_str(), 0755);
        if (::mount((store + "/vol").c_str(), usb.c_str(), nullptr, MS_BIND, nullptr) != 0)
            QSKIP("cannot bind-mount here");
        mounts_.push_back(usb);
        ::mkdir((usb + "/proj").c_str(), 0755);
        write(usb + "/proj/a.txt", "on the stick");
        write(usb + "/b.txt", "top of the stick");
        auto j = journalAt(base_ + "/state");
        const std::int64_t id = recordDrop(*j, Op::Move, Policy::AutoRename,
                                           {usb + "/proj/a.txt", usb + "/b.txt"}, slot);
        QCOMPARE(::umount2(usb.c_str(), MNT_DETACH), 0);
        mounts_.pop_back();
        const UndoPlan plan = planUndo(*j, id);
        QCOMPARE(plan.refused.size(), std::size_t(2));
        const UndoResult r = undoNow(*j, id);
        QVERIFY(snap(usb).empty());
        QVERIFY(refusedFor(r, slot + "/a.txt", Refusal::DriveGone));
        QCOMPARE(readAll(slot + "/b.txt"), QByteArray("top of the stick"));
        QCOMPARE(j->lastUndoable(), id);
        QCOMPARE(::mount((store + "/vol").c_str(), usb.c_str(), nullptr, MS_BIND, nullptr), 0);
        mounts_.push_back(usb);
        const UndoResult again = undoNow(*j, id);
        QVERIFY(again.finished);
        QCOMPARE(again.moved, 2);
        QCOMPARE(readAll(usb + "/proj/a.txt"), QByteArray("on the stick"));
        QCOMPARE(j->lastUndoable(), std::int64_t(0));
    }

    // A copied folder the user worked in since: a new file and an edited one stay,
    // with the folders holding them; the rest of the copy goes to the Trash.
    void copiedFolderKeepsLaterWork() {
        const std::string src = base_ + "/src", slot = base_ + "/slot";
        for (const std::string& d :
             {src, src + "/tree", src + "/tree/sub", src + "/tree/lib", slot})
            ::mkdir(d.c_str(), 0755);
        write(src + "/tree/main.c", "int main;");
        write(src + "/tree/sub/x", "x");
        write(src + "/tree/lib/y", "y");
        auto j = journalAt(base_ + "/state");
        const std::int64_t id = recordDrop(*j, Op::Copy, Policy::AutoRename, {src + "/tree"}, slot);
        write(slot + "/tree/notes.txt", "my notes");
        write(slot + "/tree/main.c", "int main(void) { edited; }");
        write(slot + "/tree/sub/z", "added deeper");
        const UndoPlan plan = planUndo(*j, id);
        QCOMPARE(plan.kept.size(), std::size_t(3));
        const UndoResult r = undoNow(*j, id);
        QCOMPARE(readAll(slot + "/tree/notes.txt"), QByteArray("my notes"));
        QCOMPARE(readAll(slot + "/tree/main.c"), QByteArray("int main(void) { edited; }"));
        QCOMPARE(readAll(slot + "/tree/sub/z"), QByteArray("added deeper"));
        QVERIFY(!exists(slot + "/tree/sub/x") && !exists(slot + "/tree/lib"));
        const Tree trash = snap(base_ + "/xdg/Trash/files");
        QVERIFY(trash.count("x") && trash.count("lib/y"));
        QCOMPARE(r.kept.size(), std::size_t(3));
        QVERIFY(r.finished);
    }
};

QTEST_GUILESS_MAIN(TestUndoSafety)
#include "tst_undo_safety.moc"
