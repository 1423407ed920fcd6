// Model-based test of the journal and undo: random trees, random recorded drops
// (copy and move, the three policies, files, folders, links, clashes, replacements,
// cancels, failures), then each drop undone, newest first. Without outside changes
// every tree and the Trash must be exactly as before each drop; with them, whatever
// changed is left alone and reported, nothing is lost and no taken path overwritten.
// QB_HISTORY_ROUNDS=n runs n rounds of each (4 by default), QB_HISTORY_SEED picks the start.
#include "HistoryTestUtil.h"
#include "HostileChanges.h"
#include "history/Recorder.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <set>

#include <sys/socket.h>
#include <sys/un.h>

using namespace histutil;
using namespace qb::history;
using qb::Op;
using qb::Policy;
using qb::ReplaceAnswer;

namespace {

// The engine's questions, answered at random; a cancel after some progress.
class RandomObserver : public qb::OperationObserver {
public:
    RandomObserver(QRandomGenerator& rng, std::atomic<bool>& cancel, int cancelAfter)
        : rng_(rng), cancel_(cancel), left_(cancelAfter) {}
    void progress(const qb::Progress&) override {
        if (left_ > 0 && --left_ == 0) cancel_ = true;
    }
    ReplaceAnswer askReplace(const qb::ItemInfo&, const qb::ItemInfo&) override {
        const ReplaceAnswer a[] = {ReplaceAnswer::Yes, ReplaceAnswer::No, ReplaceAnswer::YesToAll};
        return a[rng_.bounded(3u)];
    }
    ReplaceAnswer askMerge(const qb::ItemInfo&, const qb::ItemInfo&) override {
        return rng_.bounded(4u) ? ReplaceAnswer::Yes : ReplaceAnswer::No;
    }
    qb::ErrorAnswer error(const qb::OpError&) override { return qb::ErrorAnswer::Skip; }

private:
    QRandomGenerator& rng_;
    std::atomic<bool>& cancel_;
    int left_;
};

// A few names only, so that drops meet clashes often.
const char* const kNames[] = {"x", "y.txt", "d", "e", "z (2).txt"};

void fill(World& wd, QRandomGenerator& rng, const std::string& dir, int depth) {
    const int n = 1 + static_cast<int>(rng.bounded(4u));
    for (int i = 0; i < n; ++i) {
        const std::string p = dir + "/" + kNames[rng.bounded(5u)];
        struct stat st;
        if (::lstat(p.c_str(), &st) == 0) continue;
        const quint32 kind = rng.bounded(10u);
        if (kind < 3 && depth < 3) {
            ::mkdir(p.c_str(), rng.bounded(2u) ? 0755 : 0700);
            fill(wd, rng, p, depth + 1);
        } else if (kind == 3) {
            ::symlink(rng.bounded(2u) ? "../x" : "nowhere", p.c_str());
        } else if (kind == 4 && rng.bounded(3u) == 0) {
            // A socket: a copy of it fails, a move renames it.
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un a{};
            a.sun_family = AF_UNIX;
            if (p.size() < sizeof a.sun_path) {
                std::memcpy(a.sun_path, p.c_str(), p.size());
                ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
            }
            ::close(fd);
        } else {
            const mode_t modes[] = {0644, 0600, 0755, 0444};
            write(p,
                  QByteArray("content ") + QByteArray::number(++wd.serial) + " " +
                      QByteArray(static_cast<int>(rng.bounded(3000u)), 'q'),
                  modes[rng.bounded(4u)]);
            const struct timespec t[2] = {{1600000000 + rng.bounded(1000000u), 123456789},
                                          {1500000000 + rng.bounded(1000000u), 987654321}};
            ::utimensat(AT_FDCWD, p.c_str(), t, AT_SYMLINK_NOFOLLOW);
        }
    }
}

// Every entry of the tree under `root`, as absolute paths.
std::vector<std::string> entries(const std::string& root) {
    std::vector<std::string> out;
    for (const auto& [rel, node] : snap(root))
        out.push_back(root + "/" + rel);
    return out;
}

std::vector<std::string> folders(const std::string& root) {
    std::vector<std::string> out{root};
    for (const auto& [rel, node] : snap(root))
        if (node.type == 'd') out.push_back(root + "/" + rel);
    return out;
}

World makeWorld(const QTemporaryDir& tmp, const QTemporaryDir& other, QRandomGenerator& rng) {
    World wd;
    wd.base = tmp.path().toStdString();
    wd.w = wd.base + "/w";
    wd.trash = wd.base + "/xdg/Trash";
    ::setenv("XDG_DATA_HOME", (wd.base + "/xdg").c_str(), 1);
    ::mkdir(wd.w.c_str(), 0755);
    for (const char* top : {"/a", "/b", "/c"}) {
        ::mkdir((wd.w + top).c_str(), 0755);
        fill(wd, rng, wd.w + top, 1);
    }
    // A folder on another file system, where there is one: moves there copy.
    struct stat a, b;
    if (other.isValid() && ::stat(other.path().toLocal8Bit().constData(), &b) == 0 &&
        ::stat(wd.w.c_str(), &a) == 0 && a.st_dev != b.st_dev)
        wd.other = other.path().toStdString();
    std::string error;
    wd.journal = Journal::open(wd.base + "/state", error);
    if (!wd.journal) qFatal("journal: %s", error.c_str());
    return wd;
}

struct State {
    Tree w, other, trash;
};

State stateOf(const World& wd) {
    return {snap(wd.w), wd.other.empty() ? Tree{} : snap(wd.other), snap(wd.trash)};
}

// One random drop of one or two items, recorded. Returns its id.
std::int64_t randomDrop(World& wd, QRandomGenerator& rng) {
    const std::vector<std::string> all = entries(wd.w);
    const bool away = !wd.other.empty() && rng.bounded(5u) == 0;
    const Op op = away || rng.bounded(2u) ? Op::Move : Op::Copy;
    const Policy policies[] = {Policy::AutoRename, Policy::AskReplace, Policy::AutoReplace};
    const Policy policy = away ? Policy::AutoRename : policies[rng.bounded(3u)];
    std::vector<std::string> dests = folders(wd.w);
    if (!wd.other.empty()) {
        const std::vector<std::string> more = folders(wd.other);
        if (!away) dests.insert(dests.end(), more.begin(), more.end());
        if (away) dests = more;
    }
    const std::string dest = dests[rng.bounded(static_cast<quint32>(dests.size()))];
    DropRecord d;
    d.op = op;
    d.policy = policy;
    d.destFolder = dest;
    const std::int64_t id = wd.journal->beginDrop(d);
    const int items = 1 + static_cast<int>(rng.bounded(2u));
    for (int i = 0; i < items && !all.empty(); ++i) {
        const std::string src = all[rng.bounded(static_cast<quint32>(all.size()))];
        std::atomic<bool> cancel{false};
        RandomObserver obs(rng, cancel,
                           rng.bounded(6u) == 0 ? 1 + static_cast<int>(rng.bounded(4u)) : 0);
        qb::OperationOptions o;
        o.workers = 1 + rng.bounded(3u);
        runRecorded(wd.journal.get(), id, op, policy, src, dest, obs, cancel, o);
        // A drop whose items now lie elsewhere picks among what is there now.
        if (op == Op::Move) break;
    }
    wd.journal->endDrop(id, qb::Outcome::Done);
    return id;
}

quint32 seedFromEnv() {
    return qEnvironmentVariableIsSet("QB_HISTORY_SEED") ? qgetenv("QB_HISTORY_SEED").toUInt()
                                                        : 20261210u;
}

int roundsFromEnv() {
    return qEnvironmentVariableIsSet("QB_HISTORY_ROUNDS")
               ? qEnvironmentVariableIntValue("QB_HISTORY_ROUNDS")
               : 4;
}

bool regular(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string first(const std::vector<std::string>& v) {
    return v.empty() ? std::string() : v.front();
}

// Trash entries of `after` that `before` lacks must be ones an undo sent there.
void checkTrash(const Tree& before, const Tree& after, const std::set<std::string>& undoTrashed,
                const std::string& trash) {
    for (const auto& [k, v] : before) {
        const auto it = after.find(k);
        QVERIFY2(it != after.end() && it->second == v, ("Trash lost or changed " + k).c_str());
    }
    for (const auto& [k, v] : after) {
        if (before.count(k) || k == "files" || k == "info") continue;
        std::string top = k.substr(0, k.find('/', k.find('/') + 1));
        const bool ours =
            undoTrashed.count(trash + "/" + top) ||
            (top.rfind("info/", 0) == 0 && top.size() > 10 &&
             undoTrashed.count(trash + "/files/" + top.substr(5, top.size() - 5 - 10)));
        QVERIFY2(ours, ("Trash holds more than the undos put there: " + k).c_str());
    }
}

} // namespace

class TestHistoryModel : public QObject {
    Q_OBJECT

private slots:
    // Undone newest first, each drop leaves the trees and the Trash as they were before it.
    void undoRestoresEverything() {
        const quint32 seed = seedFromEnv();
        const int rounds = roundsFromEnv();
        qInfo("seed %u, %d rounds (QB_HISTORY_SEED, QB_HISTORY_ROUNDS)", seed, rounds);
        for (int round = 0; round < rounds; ++round) {
            QRandomGenerator rng(seed + static_cast<quint32>(round));
            QTemporaryDir tmp, other(QStringLiteral("/dev/shm/qb-history-XXXXXX"));
            World wd = makeWorld(tmp, other, rng);
            std::vector<State> before;
            std::vector<std::int64_t> drops;
            const int n = 3 + static_cast<int>(rng.bounded(5u));
            for (int i = 0; i < n; ++i) {
                before.push_back(stateOf(wd));
                drops.push_back(randomDrop(wd, rng));
            }
            std::set<std::string> undoTrashed;
            for (int i = n - 1; i >= 0; --i) {
                const UndoPlan plan = planUndo(*wd.journal, drops[static_cast<std::size_t>(i)]);
                const std::string where =
                    "round " + std::to_string(round) + " drop " + std::to_string(i) + ": ";
                QVERIFY2(plan.blockers.empty(), (where + "blocked").c_str());
                QVERIFY2(plan.changed.empty(), (where + "changed " + first(plan.changed)).c_str());
                Answers answers;
                std::atomic<bool> cancel{false};
                const UndoResult r =
                    runUndo(*wd.journal, plan, Policy::AskReplace, answers, cancel);
                QVERIFY2(r.failed.empty(), (where + first(r.failed)).c_str());
                QVERIFY2(r.leftAlone.empty(), (where + "left " + first(r.leftAlone)).c_str());
                QVERIFY2(answers.asked == 0, (where + "asked").c_str());
                for (const ItemRecord& it : wd.journal->items(r.undoDrop))
                    if (it.dest.rfind(wd.trash, 0) == 0) undoTrashed.insert(it.dest);
                const State now = stateOf(wd);
                const State& was = before[static_cast<std::size_t>(i)];
                QVERIFY2(now.w == was.w, (where + diff(was.w, now.w)).c_str());
                QVERIFY2(now.other == was.other, (where + diff(was.other, now.other)).c_str());
                checkTrash(was.trash, now.trash, undoTrashed, wd.trash);
                if (QTest::currentTestFailed()) return;
            }
        }
    }

    // Outside changes between the drops and the undos: changed items stay and are
    // reported, no path taken meanwhile is overwritten, no content is lost; entries
    // swapped for links, files added in copied folders, swapped Trash entries and
    // source folders another user made are neither moved, trashed nor filled.
    void outsideChangesAreLeftAlone() {
        const quint32 seed = seedFromEnv() + 1000;
        for (int round = 0; round < roundsFromEnv(); ++round) {
            QRandomGenerator rng(seed + static_cast<quint32>(round));
            QTemporaryDir tmp, other(QStringLiteral("/dev/shm/qb-history-XXXXXX"));
            World wd = makeWorld(tmp, other, rng);
            std::vector<std::int64_t> drops;
            for (int i = 0, n = 3 + static_cast<int>(rng.bounded(4u)); i < n; ++i)
                drops.push_back(randomDrop(wd, rng));
            // Per drop: files edited or deleted since, and source paths taken since.
            std::map<std::int64_t, std::vector<std::string>> edited, deleted, taken;
            for (const std::int64_t id : drops) {
                for (const ItemRecord& it : wd.journal->items(id)) {
                    if (it.state != ItemState::Done || it.merged || it.kind != ItemKind::File ||
                        rng.bounded(3u))
                        continue;
                    const quint32 what = rng.bounded(3u);
                    if (what == 0 && regular(it.dest)) {
                        write(it.dest, "edited " + QByteArray::number(++wd.serial));
                        edited[id].push_back(it.dest);
                    } else if (what == 1 && regular(it.dest)) {
                        ::unlink(it.dest.c_str());
                        deleted[id].push_back(it.dest);
                    } else if (!identityOf(it.source).known) {
                        const int fd = ::open(it.source.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
                        if (fd < 0) continue;
                        ::close(fd);
                        write(it.source, "taken " + QByteArray::number(++wd.serial));
                        taken[id].push_back(it.source);
                    }
                }
            }
            std::map<std::int64_t, Hostile> hostile = hostileChanges(wd, rng, drops);
            const auto contents = [&wd] {
                std::set<QByteArray> out;
                // A .trashinfo goes with its entry: only the Trash's entries count.
                for (const Tree& t :
                     {snap(wd.w), snap(wd.trash + "/files"), snap(wd.base + "/aside"),
                      wd.other.empty() ? Tree{} : snap(wd.other)})
                    for (const auto& [k, v] : t)
                        if (v.type == 'f') out.insert(v.data);
                return out;
            };
            const std::set<QByteArray> had = contents();
            for (auto id = drops.rbegin(); id != drops.rend(); ++id) {
                std::map<std::string, QByteArray> takenData;
                for (const std::string& p : taken[*id])
                    takenData[p] = readAll(p);
                const UndoPlan plan = planUndo(*wd.journal, *id);
                std::vector<std::string> gone = edited[*id];
                gone.insert(gone.end(), deleted[*id].begin(), deleted[*id].end());
                for (const std::string& p : gone)
                    QVERIFY2(std::find(plan.changed.begin(), plan.changed.end(), p) !=
                                 plan.changed.end(),
                             ("not reported as changed: " + p).c_str());
                const QByteArray editedData =
                    edited[*id].empty() ? QByteArray() : readAll(edited[*id][0]);
                Answers answers;
                std::atomic<bool> cancel{false};
                const UndoResult r =
                    runUndo(*wd.journal, plan, Policy::AutoRename, answers, cancel);
                QVERIFY(r.failed.empty());
                for (const auto& [p, data] : takenData)
                    QVERIFY2(readAll(p) == data, ("overwritten: " + p).c_str());
                if (!edited[*id].empty()) QCOMPARE(readAll(edited[*id][0]), editedData);
                checkHostile(wd, hostile[*id]);
                if (QTest::currentTestFailed()) return;
            }
            const std::set<QByteArray> have = contents();
            for (const QByteArray& c : had)
                QVERIFY2(have.count(c), ("lost: " + c.left(40)).constData());
        }
    }
};

QTEST_GUILESS_MAIN(TestHistoryModel)
#include "tst_history_model.moc"
