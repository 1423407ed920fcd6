// The journal (its file, limits, queries, what later drops block) and undo's rules
// (Trash never deletes, clashes, undo of an undo), and kills at fixed points of a drop
// and of an undo, after which the journal still brings every item back.
#include "HistoryTestUtil.h"
#include "history/Recorder.h"

#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>

using namespace histutil;
using namespace qb::history;
using qb::Op;
using qb::Policy;

namespace {

class Quiet : public qb::OperationObserver {
public:
    int killAt = 0; // the n-th progress report kills the process (0: never)
    void progress(const qb::Progress&) override {
        if (killAt > 0 && --killAt == 0) ::raise(SIGKILL);
    }
    qb::ReplaceAnswer askReplace(const qb::ItemInfo&, const qb::ItemInfo&) override {
        return qb::ReplaceAnswer::Yes;
    }
    qb::ReplaceAnswer askMerge(const qb::ItemInfo&, const qb::ItemInfo&) override {
        return qb::ReplaceAnswer::Yes;
    }
    qb::ErrorAnswer error(const qb::OpError&) override { return qb::ErrorAnswer::Skip; }
};

class KillingAnswers : public Answers {
public:
    int killAt = 0;
    void progress(const std::string&) override {
        if (killAt > 0 && --killAt == 0) ::raise(SIGKILL);
    }
};

std::unique_ptr<Journal> openJournal(const std::string& folder) {
    std::string error;
    auto j = Journal::open(folder, error);
    if (!j) qFatal("journal: %s", error.c_str());
    return j;
}

std::int64_t drop(Journal& j, Op op, Policy policy, const std::vector<std::string>& items,
                  const std::string& dest, int killAt = 0) {
    DropRecord d;
    d.op = op;
    d.policy = policy;
    d.destFolder = dest;
    d.slotName = "slot " + dest.substr(dest.rfind('/') + 1);
    const std::int64_t id = j.beginDrop(d);
    Quiet q;
    q.killAt = killAt;
    std::atomic<bool> cancel{false};
    for (const std::string& item : items)
        runRecorded(&j, id, op, policy, item, dest, q, cancel);
    j.endDrop(id, qb::Outcome::Done);
    return id;
}

UndoResult undo(Journal& j, std::int64_t id, Policy policy = Policy::AutoRename,
                Answers* answers = nullptr) {
    Answers a;
    std::atomic<bool> cancel{false};
    return runUndo(j, planUndo(j, id), policy, answers ? *answers : a, cancel);
}

// In `base`: s/d (a folder of files, one folder deeper too) and s/f, and t/d holding
// some of the same names: a move of s/* into t merges and replaces.
void scene(const std::string& base) {
    for (const char* d : {"/w", "/w/s", "/w/s/d", "/w/s/d/sub", "/w/t", "/w/t/d"})
        ::mkdir((base + d).c_str(), 0755);
    ::chmod((base + "/w/s/d/sub").c_str(), 0750);
    for (int i = 0; i < 8; ++i)
        write(base + "/w/s/d/f" + std::to_string(i), "new " + QByteArray::number(i), 0640);
    write(base + "/w/s/d/sub/g", "deep");
    write(base + "/w/s/f", "single");
    for (int i = 0; i < 8; i += 3)
        write(base + "/w/t/d/f" + std::to_string(i), "old " + QByteArray::number(i));
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT

private slots:
    void init() {
        tmp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp_->isValid());
        base_ = tmp_->path().toStdString();
        ::setenv("XDG_DATA_HOME", (base_ + "/xdg").c_str(), 1);
    }

    void fileIsPrivateAndLimitsHold() {
        auto j = openJournal(base_ + "/state/deep");
        struct stat st;
        QCOMPARE(::stat((base_ + "/state/deep").c_str(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0700u);
        QCOMPARE(::stat(j->path().c_str(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
        DropRecord old;
        old.timeMs = 1000; // long past 90 days
        old.slotName = "ancient";
        j->beginDrop(old);
        for (int i = 0; i < 12; ++i) {
            DropRecord d;
            d.slotName = "slot" + std::to_string(i);
            d.destFolder = "/dest/" + std::to_string(i);
            j->beginDrop(d);
        }
        j->setLimits(10, 90);
        QCOMPARE(j->drops({}, 100).size(), 10u);
        QCOMPARE(j->drops({}, 3).front().slotName, std::string("slot11"));
        QCOMPARE(j->drops({}, 3, 9).size(), 1u);
        QCOMPARE(j->drops("SLOT1", 100).size(), 2u); // slot1, slot10, slot11 minus pruned slot1
        QVERIFY(j->drops("ancient", 10).empty());
        j.reset();
        // Reopened: the same drops, the schema not laid again.
        QCOMPARE(openJournal(base_ + "/state/deep")->drops({}, 100).size(), 10u);
    }

    // A copy undone goes to the Trash with its .trashinfo; what it replaced comes back.
    // A later drop on its result blocks it until that one is undone; an undo undone
    // does the drop again.
    void undoRulesAndDependents() {
        auto j = openJournal(base_ + "/state");
        scene(base_);
        const Tree start = snap(base_ + "/w");
        const std::int64_t copy = drop(*j, Op::Copy, Policy::AutoReplace,
                                       {base_ + "/w/s/d", base_ + "/w/s/f"}, base_ + "/w/t");
        const Tree copied = snap(base_ + "/w");
        QCOMPARE(readAll(base_ + "/w/t/d/f3"), QByteArray("new 3"));
        QCOMPARE(j->drops("t/d/f3", 10).size(), 1u);
        const std::int64_t move =
            drop(*j, Op::Move, Policy::AutoRename, {base_ + "/w/t/f"}, base_ + "/w/s/d");
        UndoPlan plan = planUndo(*j, copy);
        QCOMPARE(plan.blockers, std::vector<std::int64_t>{move});
        QVERIFY(!plan.possible());
        QCOMPARE(j->lastUndoable(), move);
        const UndoResult redoable = undo(*j, move);
        QCOMPARE(redoable.moved, 1);
        QCOMPARE(snap(base_ + "/w"), copied);
        plan = planUndo(*j, copy);
        QVERIFY(plan.possible());
        QCOMPARE(plan.toTrash, 10); // the merge's 9 entries, and f
        QCOMPARE(plan.toRestore, 3);
        const UndoResult r = undo(*j, copy);
        QCOMPARE(r.trashed, 10);
        QCOMPARE(r.restored, 3);
        QVERIFY2(diff(start, snap(base_ + "/w")).empty(), diff(start, snap(base_ + "/w")).c_str());
        // Nothing of the copy was deleted: each is in the Trash, with its record.
        const Tree trash = snap(base_ + "/xdg/Trash");
        // (Put there while the replaced f3 was still in the Trash: under the next name.)
        QVERIFY(trash.count("files/f3.2") && trash.at("files/f3.2").data == "new 3");
        QVERIFY(trash.count("info/f3.2.trashinfo") && !trash.count("files/f3"));
        QCOMPARE(j->drop(copy)->undoneBy, r.undoDrop);
        QVERIFY(planUndo(*j, copy).alreadyUndone);
        // The undo of the copy, undone: the copy is back, the Trash as before the undo.
        undo(*j, r.undoDrop);
        QVERIFY2(diff(copied, snap(base_ + "/w")).empty(),
                 diff(copied, snap(base_ + "/w")).c_str());
    }

    // A declined replacement is a skipped item: nothing of it moved, so the drop is
    // neither counted as done nor offered for undo.
    void declinedItemsAreSkipped() {
        auto j = openJournal(base_ + "/state");
        ::mkdir((base_ + "/s").c_str(), 0755);
        ::mkdir((base_ + "/t").c_str(), 0755);
        write(base_ + "/s/a", "new");
        write(base_ + "/t/a", "old");
        struct Declining : Quiet {
            qb::ReplaceAnswer askReplace(const qb::ItemInfo&, const qb::ItemInfo&) override {
                return qb::ReplaceAnswer::No;
            }
        } no;
        DropRecord d;
        d.op = Op::Move;
        d.policy = Policy::AskReplace;
        d.destFolder = base_ + "/t";
        const std::int64_t id = j->beginDrop(d);
        std::atomic<bool> cancel{false};
        const qb::OperationResult r = runRecorded(j.get(), id, Op::Move, Policy::AskReplace,
                                                  base_ + "/s/a", base_ + "/t", no, cancel);
        QCOMPARE(r.outcome, qb::Outcome::Skipped);
        j->endDrop(id, r.outcome);
        QCOMPARE(j->items(id).at(0).state, qb::history::ItemState::Skipped);
        QCOMPARE(j->drop(id)->outcome, std::optional(qb::Outcome::Skipped));
        QCOMPARE(j->lastUndoable(), std::int64_t{0});
        QCOMPARE(readAll(base_ + "/t/a"), QByteArray("old"));
        QCOMPARE(readAll(base_ + "/s/a"), QByteArray("new"));
    }

    // A path taken since the drop is never overwritten: renamed beside it, skipped,
    // its holder sent to the Trash, or the undo cancelled, as the answers say.
    void clashesAskAndNeverOverwrite() {
        auto j = openJournal(base_ + "/state");
        scene(base_);
        const std::int64_t id =
            drop(*j, Op::Move, Policy::AutoRename, {base_ + "/w/s/f"}, base_ + "/w/t");
        write(base_ + "/w/s/f", "taken");
        QCOMPARE(planUndo(*j, id).clashes, std::vector<std::string>{base_ + "/w/s/f"});
        Answers a;
        a.answer = ClashAnswer::Cancel;
        UndoResult r = undo(*j, id, Policy::AskReplace, &a);
        QCOMPARE(r.outcome, qb::Outcome::Cancelled);
        QCOMPARE(j->drop(id)->undoneBy, 0); // can still be undone
        a.answer = ClashAnswer::Skip;
        r = undo(*j, id, Policy::AskReplace, &a);
        QCOMPARE(r.leftAlone, std::vector<std::string>{base_ + "/w/t/f"});
        QCOMPARE(readAll(base_ + "/w/t/f"), QByteArray("single"));
        const std::int64_t again =
            drop(*j, Op::Move, Policy::AutoRename, {base_ + "/w/t/f"}, base_ + "/w/t/d");
        r = undo(*j, again, Policy::AutoReplace);
        QCOMPARE(r.moved, 1);
        QCOMPARE(readAll(base_ + "/w/t/f"), QByteArray("single"));
        const std::int64_t third =
            drop(*j, Op::Move, Policy::AutoRename, {base_ + "/w/t/f"}, base_ + "/w/t/d");
        write(base_ + "/w/t/f", "taken too");
        r = undo(*j, third, Policy::AutoRename);
        QCOMPARE(readAll(base_ + "/w/t/f"), QByteArray("taken too"));
        QCOMPARE(readAll(base_ + "/w/t/f (2)"), QByteArray("single"));
        write(base_ + "/w/t/d/f", "in the way");
        const std::int64_t fourth =
            drop(*j, Op::Move, Policy::AutoRename, {base_ + "/w/t/d/f"}, base_ + "/w/s");
        write(base_ + "/w/t/d/f", "in the way again");
        r = undo(*j, fourth, Policy::AutoReplace);
        QCOMPARE(readAll(base_ + "/w/t/d/f"), QByteArray("in the way"));
        const Tree trash = snap(base_ + "/xdg/Trash");
        QVERIFY(trash.count("files/f") && trash.at("files/f").data == "in the way again");
    }

    // Killed at fixed points of a drop, then of an undo: once settled, the journal
    // knows every item that moved, and an undo brings the tree back as it was.
    void killedDropsAndUndosComeBack() {
        for (int killAt : {1, 2, 3, 5, 8, 12}) {
            for (const bool inUndo : {false, true}) {
                QTemporaryDir tmp;
                const std::string base = tmp.path().toStdString();
                ::setenv("XDG_DATA_HOME", (base + "/xdg").c_str(), 1);
                scene(base);
                const Tree start = snap(base + "/w");
                const std::vector<std::string> items{base + "/w/s/d", base + "/w/s/f"};
                if (inUndo) {
                    auto j = openJournal(base + "/state");
                    drop(*j, Op::Move, Policy::AutoReplace, items, base + "/w/t");
                }
                // The child opens the journal itself: a connection must not cross a fork.
                const pid_t child = ::fork();
                if (child == 0) {
                    std::string error;
                    auto j = Journal::open(base + "/state", error);
                    if (!inUndo) {
                        drop(*j, Op::Move, Policy::AutoReplace, items, base + "/w/t", killAt);
                    } else {
                        KillingAnswers a;
                        a.killAt = killAt;
                        std::atomic<bool> cancel{false};
                        runUndo(*j, planUndo(*j, j->lastUndoable()), Policy::AutoRename, a, cancel);
                    }
                    ::_exit(0);
                }
                int status = 0;
                QCOMPARE(::waitpid(child, &status, 0), child);
                if (inUndo && WIFEXITED(status)) { // the undo ended before the kill point
                    QVERIFY(diff(start, snap(base + "/w")).empty());
                    continue;
                }
                auto j = openJournal(base + "/state");
                j->recover();
                // Killed before anything moved: nothing to undo, nothing changed.
                const std::int64_t last = j->lastUndoable();
                const UndoResult r = last ? undo(*j, last) : UndoResult{};
                QVERIFY2(r.failed.empty(), r.failed.empty() ? "" : r.failed[0].c_str());
                const std::string d = diff(start, snap(base + "/w"));
                QVERIFY2(d.empty(), (d + " (kill " + std::to_string(killAt) +
                                     (inUndo ? " in the undo)" : " in the drop)"))
                                        .c_str());
            }
        }
    }

    // A drop whose items were kept beside same-named ones ("keep both"), at the top
    // and inside a merge: its undo takes only the new copies (and brings a move's
    // sources back); the old files are as they were, byte and time.
    void undoOfKeptBothTakesOnlyTheNewCopies_data() {
        QTest::addColumn<int>("op");
        QTest::addColumn<bool>("folder");
        for (Op op : {Op::Copy, Op::Move})
            for (bool folder : {false, true})
                QTest::addRow("%s %s", op == Op::Copy ? "copy" : "move",
                              folder ? "inside a merge" : "file")
                    << int(op) << folder;
    }
    void undoOfKeptBothTakesOnlyTheNewCopies() {
        QFETCH(int, op);
        QFETCH(bool, folder);
        struct KeepBoth : Quiet {
            qb::ReplaceAnswer askReplace(const qb::ItemInfo&, const qb::ItemInfo&) override {
                return qb::ReplaceAnswer::KeepBoth;
            }
        } keep;
        const std::string w = base_ + "/w";
        for (const char* d : {"", "/s", "/s/d", "/t", "/t/d"})
            ::mkdir((w + d).c_str(), 0755);
        write(w + "/s/a.txt", "new");
        write(w + "/t/a.txt", "old");
        write(w + "/s/d/x", "new x");
        write(w + "/s/d/y", "new y");
        write(w + "/t/d/x", "old x");
        const Tree before = snap(w);
        auto j = openJournal(base_ + "/state");
        DropRecord d;
        d.op = Op(op);
        d.policy = Policy::AskReplace;
        d.destFolder = w + "/t";
        const std::int64_t id = j->beginDrop(d);
        std::atomic<bool> cancel{false};
        const std::string item = w + (folder ? "/s/d" : "/s/a.txt");
        QCOMPARE(runRecorded(j.get(), id, Op(op), Policy::AskReplace, item, w + "/t", keep, cancel)
                     .outcome,
                 qb::Outcome::Done);
        j->endDrop(id, qb::Outcome::Done);
        const std::string copy = w + (folder ? "/t/d/x (2)" : "/t/a (2).txt");
        QCOMPARE(readAll(copy), QByteArray(folder ? "new x" : "new"));
        const UndoResult r = undo(*j, id);
        QVERIFY2(r.failed.empty(), r.failed.empty() ? "" : r.failed[0].c_str());
        const std::string left = diff(before, snap(w));
        QVERIFY2(left.empty(), left.c_str());
    }

private:
    std::unique_ptr<QTemporaryDir> tmp_;
    std::string base_;
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
