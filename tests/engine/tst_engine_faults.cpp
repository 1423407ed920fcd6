// Faults of earlier versions of the engine that could lose data or tell untruths,
// each kept as a named case, and the Trash, kept attributes and links.
#include "EngineTestUtil.h"
#include "engine/DirCache.h"
#include "engine/Log.h"
#include "engine/Names.h"
#include "engine/Posix.h"

#include <QTemporaryDir>
#include <QtTest>

#include <mutex>
#include <set>
#include <thread>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sys/xattr.h>

using namespace testutil;
using qb::ErrorKind;
using qb::Op;
using qb::Outcome;
using qb::Policy;
using qb::ReplaceAnswer;

Q_DECLARE_METATYPE(qb::Policy)
Q_DECLARE_METATYPE(qb::ReplaceAnswer)

namespace {

// Rare failures of the calls the engine makes through qb::engine::sys().
enum Fault { CloseEio, CloseEdquot, NoRenameFlags, NoRenameFlagsRace, SyncfsEio, FsyncEio };

struct Fakes {
    std::atomic<int> closeError{0};
    std::mutex m;
    std::string raceDir; // a name "f" appears here at the first flagged rename into it
    bool raced = false;
} fakes;

// A late write error: the close of a file written for a copy fails (it is closed all the same).
int lateErrorClose(int fd) {
    struct stat st;
    const bool written = (::fcntl(fd, F_GETFL) & O_ACCMODE) == O_WRONLY && ::fstat(fd, &st) == 0 &&
                         S_ISREG(st.st_mode);
    if (const int r = ::close(fd); r != 0 || !written) return r;
    errno = fakes.closeError;
    return -1;
}

// A file system that knows neither RENAME_NOREPLACE nor RENAME_EXCHANGE.
int flaglessRename(int od, const char* on, int nd, const char* nn, unsigned flags) {
    if (flags == 0) return ::renameat2(od, on, nd, nn, 0);
    const std::lock_guard<std::mutex> lock(fakes.m);
    struct stat a, b;
    if (!fakes.raceDir.empty() && !fakes.raced && std::strcmp(nn, "f") == 0 &&
        ::fstat(nd, &a) == 0 && ::stat(fakes.raceDir.c_str(), &b) == 0 && a.st_ino == b.st_ino &&
        a.st_dev == b.st_dev) {
        // Another writer, just after the engine looked.
        fakes.raced = !exists(fakes.raceDir + "/f");
        if (fakes.raced) writeFile(fakes.raceDir + "/f", "intruder");
    }
    errno = EINVAL;
    return -1;
}

void appendFile(const std::string& path, const char* text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    if (fd >= 0 && ::write(fd, text, std::strlen(text)) >= 0) ::close(fd);
}

std::atomic<bool> cancelPressed{false};
std::thread::id walkThread;

// Each copy worker stays in its first close until Cancel is pressed.
int closeAfterCancel(int fd) {
    while (!cancelPressed && std::this_thread::get_id() != walkThread)
        std::this_thread::yield();
    return ::close(fd);
}

// The engine's log while it lives: the lines a bug report would get.
struct LogCapture {
    static inline std::mutex m;
    static inline std::vector<std::string> lines;
    LogCapture() {
        lines.clear();
        qb::setEngineLogSink(&take);
    }
    ~LogCapture() { qb::setEngineLogSink(nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    static void take(std::string_view line) {
        const std::lock_guard<std::mutex> lock(m);
        lines.emplace_back(line);
    }
    // The lines that hold `text`.
    static std::vector<std::string> with(const std::string& text) {
        const std::lock_guard<std::mutex> lock(m);
        std::vector<std::string> out;
        for (const std::string& l : lines)
            if (l.find(text) != std::string::npos) out.push_back(l);
        return out;
    }
};

// A drive that stores what it is given wrongly: one byte of each write to a file flipped.
ssize_t corruptingPwrite(int fd, const void* data, std::size_t n, off_t at) {
    std::vector<char> bad(static_cast<const char*>(data), static_cast<const char*>(data) + n);
    if (n > 0) bad[n / 2] = static_cast<char>(bad[n / 2] ^ 0x5a);
    return ::pwrite(fd, bad.data(), n, at);
}

// A copy that goes bad after it was written, while the next bytes or files are: the
// first one waited on before its read-back (of `size` bytes, or any size at 0) is held
// until two more writes were made, and then a byte of it is flipped on its way to the
// drive. With `cancel`, it is flipped at once and Cancel is pressed.
struct LateDamage {
    std::atomic<std::uint64_t> writes{0};
    std::atomic<bool> struck{false};
    off_t size = 0;
    std::atomic<bool>* cancel = nullptr;
} late;

ssize_t countingPwrite(int fd, const void* data, std::size_t n, off_t at) {
    late.writes++;
    return ::pwrite(fd, data, n, at);
}

int damagingSyncFileRange(int fd, off_t at, off_t n, unsigned flags) {
    struct stat st;
    if ((flags & SYNC_FILE_RANGE_WAIT_AFTER) && ::fstat(fd, &st) == 0 &&
        (late.size == 0 || st.st_size == late.size) && !late.struck.exchange(true)) {
        const std::uint64_t seen = late.writes;
        for (int i = 0; i < 5000 && !late.cancel && late.writes < seen + 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        char c = 0;
        if (::pread(fd, &c, 1, at + 7) == 1) {
            c = static_cast<char>(c ^ 0x5a);
            if (::pwrite(fd, &c, 1, at + 7) != 1) return -1;
        }
        if (late.cancel) *late.cancel = true;
    }
    return ::sync_file_range(fd, at, n, flags);
}

// Swaps calls of the table for the test's fakes; puts the real ones back.
struct SysSwap {
    qb::engine::SysCalls saved = qb::engine::sys();
    ~SysSwap() {
        qb::engine::sys() = saved;
        fakes.closeError = 0;
        fakes.raceDir.clear();
        fakes.raced = false;
        late.writes = 0;
        late.struck = false;
        late.size = 0;
        late.cancel = nullptr;
    }
};

} // namespace

class TestEngineFaults : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    std::string root, trash;

    std::string fresh(const char* name) {
        const std::string d = root + "/" + name + "-" + std::to_string(++counter_);
        mkdirs(d);
        return d;
    }
    int counter_ = 0;
    // The .trashinfo of the Trash entry `name`, or "" when there is none.
    QByteArray trashInfo(const std::string& name) {
        return exists(trash + "/info/" + name + ".trashinfo")
                   ? readFile(trash + "/info/" + name + ".trashinfo")
                   : QByteArray();
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        root = S(tmp.path());
        trash = useTestTrash(root);
    }

    // Dropping x/A/A on x: the same-named x/A holds the item. Merging would put
    // "innermost" over "outer" and lose "inner"; it is refused and nothing changes.
    void case1_destinationHoldsTheItem() {
        for (Op op : {Op::Copy, Op::Move}) {
            for (Policy p : {Policy::AskReplace, Policy::AutoReplace}) {
                const std::string x = fresh("case1");
                mkdirs(x + "/A");
                mkdirs(x + "/A/A");
                mkdirs(x + "/A/A/A");
                writeFile(x + "/A/f", "outer");
                writeFile(x + "/A/A/f", "inner");
                writeFile(x + "/A/A/A/f", "innermost");
                ScriptedObserver obs;
                obs.answers = {ReplaceAnswer::YesToAll};
                QCOMPARE(run(op, p, x + "/A/A", x, obs), Outcome::Failed);
                QCOMPARE(obs.errors.size(), 1u);
                QCOMPARE(obs.errors[0].kind, ErrorKind::ContainsItem);
                QCOMPARE(obs.errors[0].other, x + "/A");
                QVERIFY(!obs.errors[0].canSkip);
                QVERIFY(obs.mergeAsked.empty());
                QCOMPARE(readFile(x + "/A/f"), QByteArray("outer"));
                QCOMPARE(readFile(x + "/A/A/f"), QByteArray("inner"));
                QCOMPARE(readFile(x + "/A/A/A/f"), QByteArray("innermost"));
                QCOMPARE(list(x + "/A"), (QStringList{"A", "f"}));
            }
            // Auto-rename merges nothing: the item arrives beside, whole.
            const std::string x = fresh("case1");
            mkdirs(x + "/A");
            mkdirs(x + "/A/A");
            writeFile(x + "/A/f", "outer");
            writeFile(x + "/A/A/f", "inner");
            ScriptedObserver obs;
            QCOMPARE(run(op, Policy::AutoRename, x + "/A/A", x, obs), Outcome::Done);
            QCOMPARE(readFile(x + "/A (2)/f"), QByteArray("inner"));
            QCOMPARE(readFile(x + "/A/f"), QByteArray("outer"));
            QCOMPARE(exists(x + "/A/A/f"), op == Op::Copy);
        }
    }

    // a/r.txt -> b/r.txt dropped on b: the link would replace the only copy of its
    // own target by a link to itself. Refused, without a question; a link elsewhere
    // is asked about as a link, with its target's size.
    void case2_linkOntoItsOwnTarget() {
        for (Op op : {Op::Copy, Op::Move}) {
            for (Policy p : {Policy::AskReplace, Policy::AutoReplace}) {
                for (bool absolute : {false, true}) {
                    const std::string d = fresh("case2");
                    mkdirs(d + "/a");
                    mkdirs(d + "/b");
                    writeFile(d + "/b/r.txt", "the only copy");
                    const std::string to = absolute ? d + "/b/r.txt" : "../b/r.txt";
                    QCOMPARE(::symlink(to.c_str(), (d + "/a/r.txt").c_str()), 0);
                    ScriptedObserver obs;
                    QCOMPARE(run(op, p, d + "/a/r.txt", d + "/b", obs), Outcome::Failed);
                    QCOMPARE(obs.errors.size(), 1u);
                    QCOMPARE(obs.errors[0].kind, ErrorKind::LinkToReplaced);
                    QCOMPARE(obs.errors[0].path, d + "/a/r.txt");
                    QCOMPARE(obs.errors[0].other, d + "/b/r.txt");
                    QVERIFY(obs.replaceAsked.empty());
                    QVERIFY(S_ISREG(lst(d + "/b/r.txt").st_mode));
                    QCOMPARE(readFile(d + "/b/r.txt"), QByteArray("the only copy"));
                    QVERIFY(S_ISLNK(lst(d + "/a/r.txt").st_mode));
                }
            }
        }
        const std::string d = fresh("case2");
        mkdirs(d + "/a");
        mkdirs(d + "/b");
        writeFile(d + "/elsewhere.txt", pattern(1234, 1));
        writeFile(d + "/b/q", "old");
        ::symlink((d + "/elsewhere.txt").c_str(), (d + "/a/q").c_str());
        ScriptedObserver obs;
        obs.answers = {ReplaceAnswer::Yes};
        QCOMPARE(run(Op::Copy, Policy::AskReplace, d + "/a/q", d + "/b", obs), Outcome::Done);
        QCOMPARE(obs.replaceAsked.size(), 1u);
        const qb::ItemInfo& incoming = obs.replaceAsked[0].second;
        QVERIFY(incoming.isLink && !obs.replaceAsked[0].first.isLink);
        QCOMPARE(incoming.linkTarget, d + "/elsewhere.txt");
        QCOMPARE(incoming.size, 1234u);
        QVERIFY(S_ISLNK(lst(d + "/b/q").st_mode));
    }

    // Cancel means the whole item: at the error question (also after an earlier
    // skip), and while the tree is still being counted.
    void case5_cancelStopsEverything() {
        const std::string d = fresh("case5");
        mkdirs(d + "/t");
        writeFile(d + "/t/a", "a");
        if (!makeSocket(d + "/t/b.sock") || !makeSocket(d + "/t/d.sock"))
            QSKIP("path too long for a socket");
        writeFile(d + "/t/e", "e");
        mkdirs(d + "/out");
        ScriptedObserver obs;
        obs.errorAnswers = {qb::ErrorAnswer::Skip, qb::ErrorAnswer::Cancel};
        // One at a time: "a" is whole before the first question.
        const qb::OperationResult r =
            runFull(Op::Copy, Policy::AutoRename, d + "/t", d + "/out", obs, oneAtATime());
        QCOMPARE(r.outcome, Outcome::Cancelled);
        QCOMPARE(r.failures, 2u);
        QCOMPARE(list(d + "/out/t"), QStringList{"a"});

        // Cancelled before the count has finished: nothing reported, nothing made.
        mkdirs(d + "/many");
        for (int i = 0; i < 50; ++i)
            writeFile(d + "/many/f" + std::to_string(i), "x");
        ScriptedObserver early;
        std::atomic<bool> cancel{true};
        QCOMPARE(
            qb::runOperation(Op::Copy, Policy::AutoRename, d + "/many", d + "/out", early, cancel)
                .outcome,
            Outcome::Cancelled);
        QCOMPARE(early.last.filesTotal, 0u);
        QVERIFY(!exists(d + "/out/many"));
    }

    // c/f and e/f are two names of one file; moving c/f into e is a clash of two items.
    void case6_otherNamesOfOneFileAreOtherItems() {
        for (Policy p : {Policy::AutoRename, Policy::AskReplace, Policy::AutoReplace}) {
            for (Op op : {Op::Copy, Op::Move}) {
                const std::string d = fresh("case6");
                mkdirs(d + "/c");
                mkdirs(d + "/e");
                writeFile(d + "/c/f", "shared");
                QCOMPARE(::link((d + "/c/f").c_str(), (d + "/e/f").c_str()), 0);
                ScriptedObserver obs;
                obs.answers = {ReplaceAnswer::Yes};
                const qb::OperationResult r = runFull(op, p, d + "/c/f", d + "/e", obs);
                QCOMPARE(r.outcome, Outcome::Done);
                QVERIFY(obs.errors.empty());
                QCOMPARE(exists(d + "/c/f"), op == Op::Copy);
                QCOMPARE(readFile(d + "/e/f"), QByteArray("shared"));
                if (p == Policy::AutoRename) {
                    QCOMPARE(readFile(d + "/e/f (2)"), QByteArray("shared"));
                    QCOMPARE(r.trashed, 0u);
                } else {
                    QCOMPARE(list(d + "/e"), QStringList{"f"});
                    QCOMPARE(r.trashed, 1u); // the replaced name, restorable
                }
            }
        }
    }

    // A file swapped for a named pipe between the look and the open: no hang, an error.
    void case7_swappedForAPipe() {
        const std::string d = fresh("case7");
        mkdirs(d + "/t");
        writeFile(d + "/t/a", "a");
        writeFile(d + "/t/b", "b");
        mkdirs(d + "/out");
        ScriptedObserver obs;
        obs.onProgress = [&](const qb::Progress& p) {
            if (p.current == d + "/t/b" && S_ISREG(lst(d + "/t/b").st_mode)) {
                ::unlink((d + "/t/b").c_str());
                ::mkfifo((d + "/t/b").c_str(), 0644);
            }
        };
        QCOMPARE(
            runFull(Op::Copy, Policy::AutoRename, d + "/t", d + "/out", obs, oneAtATime()).outcome,
            Outcome::Failed);
        QCOMPARE(obs.errors.size(), 1u);
        QCOMPARE(obs.errors[0].kind, ErrorKind::Changed);
        QCOMPARE(list(d + "/out/t"), QStringList{"a"});
    }

    // A destination that is a second mount of a folder inside the tree.
    void case7_secondMountInsideTheTree() {
        const std::string d = fresh("case7m");
        mkdirs(d + "/tree");
        mkdirs(d + "/tree/sub");
        writeFile(d + "/tree/sub/x", "x");
        mkdirs(d + "/mnt");
        if (::mount((d + "/tree/sub").c_str(), (d + "/mnt").c_str(), nullptr, MS_BIND, nullptr) !=
            0)
            QSKIP("cannot bind-mount here");
        struct Unmount {
            std::string at;
            ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
        } unmount{d + "/mnt"};
        for (Op op : {Op::Copy, Op::Move}) {
            ScriptedObserver obs;
            QCOMPARE(run(op, Policy::AutoRename, d + "/tree", d + "/mnt", obs), Outcome::Failed);
            QCOMPARE(obs.errors.size(), 1u);
            QCOMPARE(obs.errors[0].kind, ErrorKind::IntoItself);
            QCOMPARE(list(d + "/tree/sub"), QStringList{"x"});
        }
    }

    // The same item twice in one drop would only find itself gone the second time.
    void case7_sameItemTwice() {
        const std::string d = fresh("case7t");
        mkdirs(d + "/s");
        writeFile(d + "/s/a", "a");
        writeFile(d + "/s/b", "b");
        ::symlink((d + "/s").c_str(), (d + "/alias").c_str());
        const std::vector<std::string> items{d + "/s/a",     d + "/s/b",       d + "/s/a",
                                             d + "/alias/a", d + "/s/../s/b/", d + "/gone",
                                             d + "/gone"};
        QCOMPARE(qb::distinctItems(items),
                 (std::vector<std::string>{d + "/s/a", d + "/s/b", d + "/gone"}));
    }

    // A deep tree moved durably across file systems under a low soft file limit.
    void case7_deepTreeUnderTheFileLimit() {
        QTemporaryDir shm(QStringLiteral("/dev/shm/qb-deep-XXXXXX"));
        const std::string d = fresh("case7d");
        if (!shm.isValid() || lst(S(shm.path())).st_dev == lst(d).st_dev)
            QSKIP("no second file system");
        std::string at = S(shm.path()) + "/t";
        mkdirs(at);
        for (int i = 0; i < 150; ++i)
            mkdirs(at += "/l");
        writeFile(at + "/f", "deep");
        struct rlimit saved, low;
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
        low = {128, saved.rlim_max};
        if (saved.rlim_max <= 1024 || ::setrlimit(RLIMIT_NOFILE, &low) != 0)
            QSKIP("no hard file limit above the soft one to raise it to");
        ScriptedObserver obs;
        const Outcome o = run(Op::Move, Policy::AutoRename, S(shm.path()) + "/t", d, obs);
        ::setrlimit(RLIMIT_NOFILE, &saved);
        QCOMPARE(o, Outcome::Done);
        QVERIFY(!exists(S(shm.path()) + "/t"));
        QCOMPARE(readFile(d + at.substr(S(shm.path()).size()) + "/f"), QByteArray("deep"));
    }

    // Copies and durable moves across file systems within a hard file limit far below
    // the tree's depth: a deep chain and a deep tree with files and folders at every level.
    void deepTreesWithinAHardFileLimit() {
        QTemporaryDir shm(QStringLiteral("/dev/shm/qb-limit-XXXXXX"));
        const std::string d = fresh("limit"), s = S(shm.path());
        if (!shm.isValid() || lst(s).st_dev == lst(d).st_dev) QSKIP("no second file system");
        struct Tree {
            std::string name;
            std::vector<std::string> files; // relative paths; each holds its own path
        };
        const auto make = [&](const std::string& name, int depth, int files, int leaves) {
            Tree t{name, {}};
            std::string rel = name;
            mkdirs(s + "/" + rel);
            for (int i = 0; i < depth; ++i) {
                for (int f = 0; f < files; ++f)
                    t.files.push_back(rel + "/f" + std::to_string(f));
                for (int w = 0; w < leaves; ++w) {
                    mkdirs(s + "/" + rel + "/w" + std::to_string(w));
                    for (int f = 0; f < 2; ++f)
                        t.files.push_back(rel + "/w" + std::to_string(w) + "/g" +
                                          std::to_string(f));
                }
                mkdirs(s + "/" + (rel += "/l"));
            }
            t.files.push_back(rel + "/end");
            for (const std::string& f : t.files)
                writeFile(s + "/" + f, QByteArray::fromStdString(f));
            return t;
        };
        const std::vector<Tree> trees{make("chain", 300, 0, 0), make("wide", 80, 3, 2)};
        struct Step {
            Op op;
            const Tree& tree;
        };
        const std::vector<Step> steps{
            {Op::Copy, trees[0]}, {Op::Move, trees[0]}, {Op::Copy, trees[1]}, {Op::Move, trees[1]}};
        const pid_t pid = ::fork();
        if (pid == 0) {
            const struct rlimit low = {64, 64};
            if (::setrlimit(RLIMIT_NOFILE, &low) != 0) ::_exit(100);
            int failed = 0;
            for (std::size_t i = 0; i < steps.size(); ++i) {
                ScriptedObserver obs;
                qb::OperationOptions options;
                options.workers = 4;
                const std::string to = d + (steps[i].op == Op::Copy ? "/copied" : "/moved");
                ::mkdir(to.c_str(), 0755);
                const qb::OperationResult r =
                    runFull(steps[i].op, Policy::AutoRename, s + "/" + steps[i].tree.name, to, obs,
                            options);
                for (const qb::OpError& e : obs.errors)
                    std::fprintf(stderr, "step %zu: %s: %s\n", i, e.path.c_str(),
                                 std::strerror(e.code));
                if (r.outcome != Outcome::Done || r.failures) failed |= 1 << i;
            }
            ::_exit(failed);
        }
        int status = -1;
        QVERIFY(pid > 0 && ::waitpid(pid, &status, 0) == pid);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        for (const Tree& t : trees) {
            QVERIFY(!exists(s + "/" + t.name));
            for (const std::string& f : t.files) {
                QCOMPARE(readFile(d + "/copied/" + f), QByteArray::fromStdString(f));
                QCOMPARE(readFile(d + "/moved/" + f), QByteArray::fromStdString(f));
            }
        }
    }

    // A folder the walk let go of and finds another in its place is refused, not followed.
    void releasedFolderSwapped() {
        const std::string d = fresh("swapped");
        for (const char* p : {"/a", "/a/b", "/a/c", "/x"})
            mkdirs(d + p);
        qb::engine::DirCache dirs(qb::engine::DirCache::kMinBudget);
        const qb::engine::DirRef top = qb::engine::DirCache::root(
            qb::engine::Fd(::open(d.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
        const qb::engine::DirRef a = dirs.open(top, "a"), b = dirs.open(a, "b");
        QVERIFY(a && b);
        std::vector<qb::engine::DirRef> others;
        for (std::size_t i = 0; i < qb::engine::DirCache::kMinBudget; ++i)
            others.push_back(dirs.open(top, "x"));
        QVERIFY(!a->fd && !b->fd);
        QCOMPARE(dirs.held(), qb::engine::DirCache::kMinBudget);
        dirs.backTo(*others.back()); // its parent is a root: nothing to reopen
        QVERIFY(dirs.fd(*b) >= 0);   // reopened by name, from the top
        QVERIFY(a->fd);
        for (auto& o : others)
            QVERIFY(dirs.fd(*o) >= 0); // a and b released again
        QVERIFY(!a->fd && !b->fd);
        QCOMPARE(::rename((d + "/a/b").c_str(), (d + "/b-old").c_str()), 0);
        QCOMPARE(::rename((d + "/a/c").c_str(), (d + "/a/b").c_str()), 0);
        QCOMPARE(dirs.fd(*b), -1);
        QCOMPARE(errno, ESTALE);
        ::rmdir((d + "/a/b").c_str());
        QCOMPARE(::symlink("../b-old", (d + "/a/b").c_str()), 0); // nor through a link
        QCOMPARE(dirs.fd(*b), -1);
    }

    // Two names of one file deeper than PATH_MAX stay two names of one copy.
    void case8_hardLinksBeyondPathMax() {
        const std::string d = fresh("case8");
        mkdirs(d + "/src");
        mkdirs(d + "/out");
        const std::string level(200, 'n');
        // Opens (making it first, with `make`) the deep folder under `top`.
        const auto deep = [&](const std::string& top, bool make) {
            int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
            for (int i = 0; i < 25 && fd >= 0; ++i) {
                if (make) ::mkdirat(fd, level.c_str(), 0755);
                const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
                ::close(fd);
                fd = next;
            }
            return fd;
        };
        const int s = deep(d + "/src", true);
        QVERIFY(s >= 0);
        const int f = ::openat(s, "a", O_WRONLY | O_CREAT, 0644);
        QVERIFY(f >= 0 && ::write(f, "ab", 2) == 2);
        ::close(f);
        QCOMPARE(::linkat(s, "a", s, "b", 0), 0);
        ::close(s);
        ScriptedObserver obs;
        QCOMPARE(run(Op::Copy, Policy::AutoRename, d + "/src", d + "/out", obs), Outcome::Done);
        const int o = deep(d + "/out/src", false);
        QVERIFY(o >= 0);
        struct stat a, b;
        QCOMPARE(::fstatat(o, "a", &a, 0), 0);
        QCOMPARE(::fstatat(o, "b", &b, 0), 0);
        ::close(o);
        QCOMPARE(a.st_ino, b.st_ino);
        QCOMPARE(a.st_size, 2);
    }

    // Dropping A and A/B together: A/B goes with A, once, and no false failure.
    void case9_itemInsideAnother() {
        const std::string d = fresh("case9");
        for (const char* sub : {"/A", "/A/B", "/A/B/C", "/out"})
            mkdirs(d + sub);
        writeFile(d + "/A/B/C/f", "f");
        const std::vector<std::string> items{d + "/A/B/C", d + "/A/", d + "/A/B", d + "/out"};
        const std::vector<std::string> once = qb::distinctItems(items);
        QCOMPARE(once, (std::vector<std::string>{d + "/A/", d + "/out"}));
        ScriptedObserver obs;
        QCOMPARE(run(Op::Move, Policy::AskReplace, once[0], d + "/out", obs), Outcome::Done);
        QCOMPARE(readFile(d + "/out/A/B/C/f"), QByteArray("f"));
    }

    // A replaced file or link goes to the Trash with a .trashinfo a file manager can
    // restore from; where none may be used, it is gone and the result says so.
    void replacedFilesGoToTheTrash() {
        const std::string d = fresh("trash");
        mkdirs(d + "/src");
        mkdirs(d + "/我的 文件");
        const std::string dest = d + "/我的 文件";
        writeFile(d + "/src/报告 1.txt", "new");
        writeFile(dest + "/报告 1.txt", "old one");
        ScriptedObserver obs;
        qb::OperationResult r =
            runFull(Op::Copy, Policy::AutoReplace, d + "/src/报告 1.txt", dest, obs);
        QCOMPARE(r.outcome, Outcome::Done);
        QCOMPARE(r.trashed, 1u);
        QCOMPARE(readFile(dest + "/报告 1.txt"), QByteArray("new"));
        QCOMPARE(readFile(trash + "/files/报告 1.txt"), QByteArray("old one"));
        const QByteArray info = trashInfo("报告 1.txt");
        const QList<QByteArray> lines = info.split('\n');
        QCOMPARE(lines.value(0), QByteArray("[Trash Info]"));
        QCOMPARE(lines.value(1), "Path=" + QByteArray::fromStdString(dest).toPercentEncoding("/") +
                                     "/" + QByteArray("报告 1.txt").toPercentEncoding());
        QVERIFY(QDateTime::fromString(QString::fromLatin1(lines.value(2).mid(13)), Qt::ISODate)
                    .isValid());
        QVERIFY(lines.value(2).startsWith("DeletionDate="));
        // A second one of the same name takes another name in the Trash.
        writeFile(d + "/src/报告 1.txt", "newer");
        r = runFull(Op::Move, Policy::AutoReplace, d + "/src/报告 1.txt", dest, obs);
        QCOMPARE(r.trashed, 1u);
        QCOMPARE(readFile(trash + "/files/报告 1.txt.2"), QByteArray("new"));
        QVERIFY(!trashInfo("报告 1.txt.2").isEmpty());
        QCOMPARE(list(dest), QStringList{"报告 1.txt"}); // and nothing else left behind

        // No Trash: under "ask" the question says so; the result counts the loss.
        qb::OperationOptions noTrash;
        noTrash.useTrash = false;
        writeFile(d + "/src/x", "x2");
        writeFile(dest + "/x", "x1");
        ScriptedObserver ask;
        ask.answers = {ReplaceAnswer::Yes};
        r = runFull(Op::Copy, Policy::AskReplace, d + "/src/x", dest, ask, noTrash);
        QCOMPARE(r.outcome, Outcome::Done);
        QVERIFY(ask.replaceAsked.at(0).first.noTrash);
        QCOMPARE(r.destroyed, 1u);
        QVERIFY(r.replacedWithoutTrash());
        QVERIFY(!exists(trash + "/files/x"));
    }

    void rareSystemCallFailures_data() {
        QTest::addColumn<int>("fault");
        QTest::addColumn<bool>("move");
        QTest::addColumn<bool>("replace");
        QTest::addColumn<bool>("inFolder");
        const char* names[] = {"close EIO",    "close EDQUOT", "no rename flags",
                               "name appears", "syncfs EIO",   "fsync EIO"};
        for (int f = CloseEio; f <= FsyncEio; ++f)
            for (bool move : {false, true})
                for (bool replace : {false, true})
                    for (bool inFolder : {false, true})
                        if (move || f < SyncfsEio) // only a durable move syncs
                            QTest::addRow("%s %s%s%s", names[f], move ? "move" : "copy",
                                          replace ? " replacing" : "", inFolder ? " in folder" : "")
                                << f << move << replace << inFolder;
    }

    // A late write error at close, a file system without the rename flags (and a name
    // that appears there between the look and the rename), a failed sync before the
    // sources of a durable move go: nothing is lost or overwritten, every failure is
    // reported, no temporary file stays.
    void rareSystemCallFailures() {
        QFETCH(int, fault);
        QFETCH(bool, move);
        QFETCH(bool, replace);
        QFETCH(bool, inFolder);
        const bool closeFault = fault <= CloseEdquot, syncFault = fault >= SyncfsEio;
        QTemporaryDir shm(QStringLiteral("/dev/shm/qb-faults-XXXXXX"));
        const std::string base = fresh("sys"), out = base + "/o";
        // A copy at close or a sync needs the bytes copied: from another file system.
        const std::string from = closeFault || syncFault ? S(shm.path()) : base;
        if ((closeFault || syncFault) && (!shm.isValid() || lst(from).st_dev == lst(out).st_dev))
            QSKIP("no second file system");
        mkdirs(out);
        const std::string s = inFolder ? from + "/t" : from, d = inFolder ? out + "/t" : out;
        const QStringList files = inFolder ? QStringList{"f", "g"} : QStringList{"f"};
        mkdirs(s);
        if (replace) mkdirs(d);
        for (const QString& n : files)
            writeFile(s + "/" + S(n), pattern(70000, n == u"f" ? 1 : 2));
        if (replace) writeFile(d + "/f", "old");
        const QStringList trashBefore = list(trash + "/files");

        const SysSwap swap;
        qb::engine::SysCalls& sys = qb::engine::sys();
        const int code = fault == CloseEio ? EIO : fault == CloseEdquot ? EDQUOT : EEXIST;
        if (closeFault) fakes.closeError = code, sys.close = lateErrorClose;
        if (!closeFault && !syncFault) sys.renameat2 = flaglessRename;
        if (fault == NoRenameFlagsRace) fakes.raceDir = d;
        if (fault == SyncfsEio) sys.syncfs = [](int) { return errno = EIO, -1; };
        if (fault == FsyncEio) sys.fsync = [](int) { return errno = EIO, -1; };
        ScriptedObserver obs;
        const LogCapture log;
        const qb::OperationResult r = runFull(move ? Op::Move : Op::Copy, Policy::AutoReplace,
                                              inFolder ? s : s + "/f", out, obs);
        // The log tells why, once for the whole job however many files met it.
        QCOMPARE(log.with("sync failed").size(), syncFault ? 1u : 0u);
        QVERIFY(log.with("RENAME_NOREPLACE").size() <= 1);
        QVERIFY(log.with("RENAME_EXCHANGE").size() <= 1);
        if (!closeFault && !syncFault && (move || replace))
            QVERIFY(!log.with("renameat2 without").empty());
        // A name that appears can only be caught where the engine renames.
        QVERIFY(fakes.raced || fault != NoRenameFlagsRace || (!move && !replace));

        QStringList failed = closeFault || syncFault ? files : QStringList();
        if (fakes.raced) failed = QStringList{"f"};
        std::set<std::string> reported;
        for (const qb::OpError& e : obs.errors) {
            QCOMPARE(e.kind, ErrorKind::Transfer);
            QCOMPARE(e.code, syncFault ? EIO : code);
            QCOMPARE(e.other.substr(d.size()), e.path.substr(s.size()));
            reported.insert(e.path);
        }
        QCOMPARE(reported.size(), static_cast<std::size_t>(failed.size()));
        QCOMPARE(obs.errors.size(), reported.size());
        QCOMPARE(r.outcome, failed.isEmpty() ? Outcome::Done : Outcome::Failed);
        QStringList atDest = closeFault ? QStringList() : files;
        if (closeFault && replace) atDest << "f";
        QCOMPARE(list(d), atDest); // no temporary file either
        for (const QString& n : files) {
            const QByteArray content = pattern(70000, n == u"f" ? 1 : 2);
            const bool stays = !move || failed.contains(n);
            QCOMPARE(readFile(s + "/" + S(n)), stays ? content : QByteArray("<missing>"));
            if (!closeFault)
                QCOMPARE(readFile(d + "/" + S(n)),
                         fakes.raced && n == u"f" ? QByteArray("intruder") : content);
        }
        if (closeFault && replace) QCOMPARE(readFile(d + "/f"), QByteArray("old"));
        // The replaced file is in the Trash, restorable, unless nothing replaced it.
        QStringList trashed = list(trash + "/files");
        for (const QString& n : trashBefore)
            trashed.removeOne(n);
        QCOMPARE(trashed.size(), replace && !closeFault ? 1 : 0);
        QCOMPARE(r.trashed, static_cast<std::uint64_t>(trashed.size()));
        QCOMPARE(r.destroyed, 0u);
        if (!trashed.isEmpty()) QCOMPARE(readFile(trash + "/files/" + S(trashed[0])), "old");
    }

    void verifyCatchesACorruptedWrite_data() {
        QTest::addColumn<bool>("corrupt");
        QTest::addColumn<bool>("verify");
        QTest::addColumn<bool>("move");
        QTest::addColumn<bool>("inFolder"); // small files, copied by the workers
        for (bool corrupt : {true, false})
            for (bool verify : {true, false})
                for (bool move : {false, true})
                    for (bool inFolder : {false, true})
                        QTest::addRow("%s, verify %s, %s%s", corrupt ? "corrupted" : "sound",
                                      verify ? "on" : "off", move ? "move" : "copy",
                                      inFolder ? " in folder" : "")
                            << corrupt << verify << move << inFolder;
    }
    // A drive that corrupts what is written: with verify on each copy read back is
    // caught, fails, is removed, and a moved source stays; with it off the damage
    // goes unnoticed (what verify is for). Sound copies verify and count.
    void verifyCatchesACorruptedWrite() {
        QFETCH(bool, corrupt);
        QFETCH(bool, verify);
        QFETCH(bool, move);
        QFETCH(bool, inFolder);
        // Across file systems the bytes pass through writes even without verify.
        QTemporaryDir shm(QStringLiteral("/dev/shm/qb-verify-XXXXXX"));
        const std::string out = fresh("verify"), from = S(shm.path());
        if (!shm.isValid() || lst(from).st_dev == lst(out).st_dev) QSKIP("no second file system");
        const std::string s = inFolder ? from + "/t" : from, d = inFolder ? out + "/t" : out;
        const QStringList files = inFolder ? QStringList{"f", "g"} : QStringList{"f"};
        const qsizetype size = inFolder ? 70000 : (6 << 20) + 123; // one past the workers' size
        mkdirs(s);
        for (const QString& n : files)
            writeFile(s + "/" + S(n), pattern(size, n == u"f" ? 1 : 2));
        const SysSwap swap;
        if (corrupt) qb::engine::sys().pwrite = corruptingPwrite;
        ScriptedObserver obs;
        qb::OperationOptions options;
        options.verify = verify;
        const qb::OperationResult r = runFull(move ? Op::Move : Op::Copy, Policy::AutoRename,
                                              inFolder ? s : s + "/f", out, obs, options);
        const bool caught = corrupt && verify;
        QCOMPARE(r.outcome, caught ? Outcome::Failed : Outcome::Done);
        QCOMPARE(obs.errors.size(), caught ? static_cast<std::size_t>(files.size()) : 0u);
        for (const qb::OpError& e : obs.errors) {
            QCOMPARE(e.kind, ErrorKind::VerifyFailed);
            QCOMPARE(e.other.substr(d.size()), e.path.substr(s.size()));
        }
        QCOMPARE(r.verified, verify && !corrupt ? static_cast<std::uint64_t>(files.size()) : 0u);
        // No bad copy stays, nor a temporary file.
        QCOMPARE(list(d), caught ? QStringList() : files);
        for (const QString& n : files) {
            const QByteArray content = pattern(size, n == u"f" ? 1 : 2);
            QCOMPARE(readFile(s + "/" + S(n)), move && !caught ? "<missing>" : content);
            if (!caught) QCOMPARE(readFile(d + "/" + S(n)) == content, !corrupt);
        }
    }

    void verifyCatchesLateDamage_data() {
        QTest::addColumn<bool>("inFolder"); // small files, read back while others are written
        QTest::addColumn<bool>("move");
        QTest::addColumn<bool>("cancel"); // and Cancel pressed during the read-back
        for (bool inFolder : {false, true}) {
            for (bool move : {false, true})
                QTest::addRow("damaged, %s%s", move ? "move" : "copy", inFolder ? " in folder" : "")
                    << inFolder << move << false;
            QTest::addRow("cancelled%s", inFolder ? " in folder" : "") << inFolder << false << true;
        }
    }
    // A copy damaged after it was written, while its next ranges or the next files are
    // written, fails its read-back: the others still verify, and a moved source stays
    // unless its copy verified. A cancel during the read-back leaves only whole copies,
    // and calls verified exactly those: none half read back.
    void verifyCatchesLateDamage() {
        QFETCH(bool, inFolder);
        QFETCH(bool, move);
        QFETCH(bool, cancel);
        QTemporaryDir shm(QStringLiteral("/dev/shm/qb-late-XXXXXX"));
        const std::string out = fresh("late"), from = S(shm.path());
        if (!shm.isValid() || lst(from).st_dev == lst(out).st_dev) QSKIP("no second file system");
        const std::string s = inFolder ? from + "/t" : from, d = inFolder ? out + "/t" : out;
        mkdirs(s);
        QStringList files{"f"};
        if (inFolder)
            for (int i = 0; i < 12; ++i)
                files << "g" + QString::number(i);
        files.sort();
        const auto content = [&](const QString& n) {
            const auto i = files.indexOf(n);
            return pattern(inFolder ? 60000 + 10 * i : (24 << 20) + 123, static_cast<quint32>(i));
        };
        for (const QString& n : files)
            writeFile(s + "/" + S(n), content(n));
        const SysSwap swap;
        std::atomic<bool> cancelled{false};
        late.size = inFolder ? content("f").size() : 0;
        if (cancel) late.cancel = &cancelled;
        qb::engine::sys().pwrite = countingPwrite;
        qb::engine::sys().syncFileRange = damagingSyncFileRange;
        ScriptedObserver obs;
        bool phaseShown = false; // the progress window names the verify phase
        obs.onProgress = [&](const qb::Progress& p) { phaseShown = phaseShown || p.verifying; };
        qb::OperationOptions options;
        options.verify = true;
        options.workers = 2;
        const qb::OperationResult r =
            qb::runOperation(move ? Op::Move : Op::Copy, Policy::AutoRename,
                             inFolder ? s : s + "/f", out, obs, cancelled, options);
        QVERIFY(late.struck);
        QVERIFY(phaseShown || cancel);
        const QStringList made = list(d);
        for (const QString& n : made) // whole, and no temporary file
            QCOMPARE(readFile(d + "/" + S(n)), content(n));
        if (cancel) {
            QCOMPARE(r.outcome, Outcome::Cancelled);
            QCOMPARE(r.verified, static_cast<std::uint64_t>(made.size()));
            return;
        }
        QCOMPARE(r.outcome, Outcome::Failed);
        QCOMPARE(obs.errors.size(), 1u);
        QCOMPARE(obs.errors[0].kind, ErrorKind::VerifyFailed);
        QCOMPARE(obs.errors[0].path, s + "/f");
        QStringList good = files;
        good.removeOne("f");
        QCOMPARE(made, good);
        QCOMPARE(r.verified, static_cast<std::uint64_t>(good.size()));
        QCOMPARE(list(s), move ? QStringList{"f"} : files);
    }

    // No Trash on the destination's mount (its trash folder's name is taken by a
    // file): nothing is replaced, both stay, and the log says once why.
    void noTrashOnTheMount() {
        const std::string d = fresh("notrash");
        for (const char* sub : {"/top", "/mnt", "/src"})
            mkdirs(d + sub);
        if (::mount((d + "/top").c_str(), (d + "/mnt").c_str(), nullptr, MS_BIND, nullptr) != 0)
            QSKIP("cannot bind-mount here");
        struct Unmount {
            std::string at;
            ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
        } unmount{d + "/mnt"};
        writeFile(d + "/top/.Trash-" + std::to_string(::getuid()), "not a folder");
        mkdirs(d + "/mnt/src");
        for (const char* n : {"/a", "/b"}) {
            writeFile(d + "/src" + n, "new");
            writeFile(d + "/mnt/src" + n, "old");
        }
        ScriptedObserver obs;
        const LogCapture log;
        const qb::OperationResult r =
            runFull(Op::Copy, Policy::AutoReplace, d + "/src", d + "/mnt", obs, oneAtATime());
        QCOMPARE(r.outcome, Outcome::Failed);
        QCOMPARE(r.destroyed, 0u);
        QCOMPARE(r.trashed, 0u);
        QCOMPARE(obs.errors.size(), 2u);
        QCOMPARE(obs.errors[0].kind, ErrorKind::NotReplaced);
        QCOMPARE(obs.errors[0].code, ENOTDIR);
        QCOMPARE(readFile(d + "/mnt/src/b"), QByteArray("old"));
        QCOMPARE(list(d + "/mnt/src"), (QStringList{"a", "b"}));
        const std::vector<std::string> lines = log.with("no Trash takes");
        QCOMPARE(lines.size(), 1u);
        QVERIFY2(lines[0].find("home trash: on another mount") != std::string::npos &&
                     lines[0].find(".Trash-" + std::to_string(::getuid()) + ": ") !=
                         std::string::npos &&
                     lines[0].find("(" + std::to_string(ENOTDIR) + ")") != std::string::npos,
                 lines[0].c_str());
    }

    // A disk too full for a Trash folder: a replacement deletes the old entry only
    // where the user said yes to a question that told them so; else it stays, the
    // incoming one is kept back and the failure says why.
    void fullDiskReplacesNothingUntold_data() {
        QTest::addColumn<bool>("move");
        QTest::addColumn<bool>("folder");
        QTest::addColumn<Policy>("policy");
        QTest::addColumn<QList<ReplaceAnswer>>("answers");
        QTest::addColumn<int>("deleted"); // old entries gone for good, with the user's yes
        const QList<ReplaceAnswer> none, yes{ReplaceAnswer::Yes}, mergeAll{ReplaceAnswer::YesToAll},
            each{ReplaceAnswer::Yes, ReplaceAnswer::Yes, ReplaceAnswer::Yes},
            first{ReplaceAnswer::Yes, ReplaceAnswer::YesToAll};
        QTest::newRow("auto move") << true << false << Policy::AutoReplace << none << 0;
        QTest::newRow("auto copy") << false << false << Policy::AutoReplace << none << 0;
        QTest::newRow("auto merge") << true << true << Policy::AutoReplace << none << 0;
        QTest::newRow("asked, yes") << true << false << Policy::AskReplace << yes << 1;
        QTest::newRow("merge yes to all, files never asked")
            << false << true << Policy::AskReplace << mergeAll << 0;
        QTest::newRow("merge, then yes to all") << true << true << Policy::AskReplace << first << 2;
        QTest::newRow("merge, yes each") << false << true << Policy::AskReplace << each << 2;
    }
    void fullDiskReplacesNothingUntold() {
        QFETCH(bool, move);
        QFETCH(bool, folder);
        QFETCH(Policy, policy);
        QFETCH(QList<ReplaceAnswer>, answers);
        QFETCH(int, deleted);
        const std::string d = fresh("full");
        const std::string src = folder ? d + "/src/t" : d + "/src",
                          out = folder ? d + "/out/t" : d + "/out";
        for (const std::string& dir : {d + "/src", src, d + "/out", out})
            mkdirs(dir);
        const QStringList names = folder ? QStringList{"a", "b"} : QStringList{"doc.txt"};
        for (const QString& n : names) {
            writeFile(src + "/" + S(n), "new");
            writeFile(out + "/" + S(n), "old");
        }
        const SysSwap swap;
        qb::engine::sys().mkdirat = [](int, const char*, mode_t) { return errno = ENOSPC, -1; };
        ScriptedObserver obs;
        obs.answers.assign(answers.begin(), answers.end());
        const LogCapture log;
        const qb::OperationResult r =
            runFull(move ? Op::Move : Op::Copy, policy, folder ? src : src + "/doc.txt", d + "/out",
                    obs, oneAtATime());
        QVERIFY(obs.answers.empty());
        for (const auto& asked : obs.replaceAsked)
            QVERIFY(asked.first.noTrash);
        QCOMPARE(r.destroyed, static_cast<std::uint64_t>(deleted));
        QCOMPARE(r.trashed, 0u);
        const bool all = deleted == names.size();
        QCOMPARE(r.outcome, all ? Outcome::Done : Outcome::Failed);
        QCOMPARE(obs.errors.size(), static_cast<std::size_t>(names.size() - deleted));
        for (const qb::OpError& e : obs.errors) {
            QCOMPARE(e.kind, ErrorKind::NotReplaced);
            QCOMPARE(e.code, ENOSPC);
            QVERIFY(e.path.rfind(out + "/", 0) == 0);
        }
        QCOMPARE(list(out), names); // nothing left under another name
        for (const QString& n : names)
            QCOMPARE(readFile(out + "/" + S(n)), QByteArray(all ? "new" : "old"));
        QCOMPARE(list(src).size(), move && all ? 0 : names.size());
        QCOMPARE(log.with("no Trash takes").size(), all ? 0u : 1u);
    }

    // The same on a real disk with no room left for a Trash folder (a tmpfs out of
    // inodes): a move with auto-replace keeps the old file where it is.
    void fullTmpfsKeepsTheReplaced() {
        const std::string d = fresh("tmpfs"), mnt = d + "/mnt";
        mkdirs(mnt);
        if (::mount("qb-full", mnt.c_str(), "tmpfs", 0, "nr_inodes=8,mode=0755") != 0)
            QSKIP("cannot mount a tmpfs here");
        struct Unmount {
            std::string at;
            ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
        } unmount{mnt};
        mkdirs(mnt + "/in");
        writeFile(mnt + "/in/doc.txt", "new");
        writeFile(mnt + "/doc.txt", "old");
        for (int n = 0; n < 100; ++n) // what inodes are left
            if (::mkdir((mnt + "/fill" + std::to_string(n)).c_str(), 0700) != 0) break;
        QCOMPARE(errno, ENOSPC);
        ScriptedObserver obs;
        const qb::OperationResult r =
            runFull(Op::Move, Policy::AutoReplace, mnt + "/in/doc.txt", mnt, obs);
        QCOMPARE(r.outcome, Outcome::Failed);
        QCOMPARE(r.destroyed, 0u);
        QCOMPARE(obs.errors.size(), 1u);
        QCOMPARE(obs.errors[0].kind, ErrorKind::NotReplaced);
        QCOMPARE(obs.errors[0].code, ENOSPC);
        QCOMPARE(readFile(mnt + "/doc.txt"), QByteArray("old"));
        QCOMPARE(readFile(mnt + "/in/doc.txt"), QByteArray("new"));
    }

    // Cancel pressed after the walk's last look at it, while copies still wait for
    // a worker: those are never made, so the drop must not end as done.
    // A replaced file the Trash cannot take (its note meets a full disk or quota)
    // stays where it was and the item is reported as not replaced, with or without
    // rename flags; without those and without links, names are taken by exclusive
    // creates and the old file still goes to the Trash only once the new one is in.
    void replacedItemNeverLost_data() {
        QTest::addColumn<int>("noteError");
        QTest::addColumn<bool>("flagless");
        QTest::addColumn<bool>("move");
        for (int e : {ENOSPC, EDQUOT, 0})
            for (bool flagless : {false, true})
                for (bool move : {false, true})
                    if (e != EDQUOT || !flagless)
                        QTest::addRow("%s%s %s", e ? strerrorname_np(e) : "no links",
                                      flagless ? " no rename flags" : "", move ? "move" : "copy")
                            << e << (flagless || !e) << move;
    }
    void replacedItemNeverLost() {
        QFETCH(int, noteError);
        QFETCH(bool, flagless);
        QFETCH(bool, move);
        const std::string d = fresh("keep");
        mkdirs(d + "/src");
        mkdirs(d + "/out");
        writeFile(d + "/src/f", "new");
        writeFile(d + "/out/f", "old");
        const QStringList trashBefore = list(trash + "/files");
        const SysSwap swap;
        qb::engine::SysCalls& sys = qb::engine::sys();
        static int code;
        code = noteError;
        if (noteError)
            sys.write = [](int, const void*, std::size_t) -> ssize_t { return errno = code, -1; };
        else
            sys.linkat = [](int, const char*, int, const char*, int) { return errno = EPERM, -1; };
        if (flagless) sys.renameat2 = flaglessRename;
        ScriptedObserver obs;
        const qb::OperationResult r =
            runFull(move ? Op::Move : Op::Copy, Policy::AutoReplace, d + "/src/f", d + "/out", obs);
        QCOMPARE(list(d + "/out"), QStringList{"f"}); // nothing left under another name
        QCOMPARE(r.destroyed, 0u);
        if (!noteError) {
            QCOMPARE(r.outcome, Outcome::Done);
            QCOMPARE(readFile(d + "/out/f"), QByteArray("new"));
            QCOMPARE(list(d + "/src"), move ? QStringList() : QStringList{"f"});
            QCOMPARE(list(trash + "/files").size(), trashBefore.size() + 1);
            return;
        }
        QCOMPARE(r.outcome, Outcome::Failed);
        QCOMPARE(obs.errors.size(), 1u);
        QCOMPARE(obs.errors[0].kind, ErrorKind::NotReplaced);
        QCOMPARE(obs.errors[0].code, noteError);
        QCOMPARE(readFile(d + "/out/f"), QByteArray("old"));
        QCOMPARE(readFile(d + "/src/f"), QByteArray("new"));
        QCOMPARE(list(trash + "/files"), trashBefore);
    }

    // A moved source that changed after its copy (grown, or saved anew under its
    // name) is kept and reported, its copy stays; bytes appended while the copy runs
    // are copied too.
    void movedSourceChanged_data() {
        QTest::addColumn<int>("when");
        QTest::addRow("appended during the copy") << 0;
        QTest::addRow("appended before removal") << 1;
        QTest::addRow("saved anew before durable removal") << 2;
    }
    void movedSourceChanged() {
        QFETCH(int, when);
        QTemporaryDir shm(QStringLiteral("/dev/shm/qb-changed-XXXXXX"));
        const std::string d = fresh("changed"), src = S(shm.path()) + "/log";
        if (!shm.isValid() || lst(S(shm.path())).st_dev == lst(d).st_dev)
            QSKIP("no second file system");
        static std::string path;
        path = src;
        const QByteArray v1 = pattern(when ? 70000 : 40 << 20, 1);
        writeFile(src, v1);
        const SysSwap swap;
        qb::engine::SysCalls& sys = qb::engine::sys();
        ScriptedObserver obs;
        qb::OperationOptions o;
        o.durable = when == 2;
        if (when == 0) // a concurrent writer, between two chunks
            obs.onProgress = [&](const qb::Progress& p) {
                if (p.bytesDone > 0 && p.bytesDone < std::uint64_t(v1.size()))
                    appendFile(src, "+tail\n");
            };
        if (when == 1)
            sys.close = [](int fd) {
                if ((::fcntl(fd, F_GETFL) & O_ACCMODE) == O_WRONLY) appendFile(path, "+tail\n");
                return ::close(fd);
            };
        if (when == 2)
            sys.syncfs = [](int fd) {
                writeFile(path + ".tmp", "version 2");
                ::rename((path + ".tmp").c_str(), path.c_str());
                return ::syncfs(fd);
            };
        const qb::OperationResult r = runFull(Op::Move, Policy::AutoRename, src, d, obs, o);
        if (when == 0) {
            QCOMPARE(r.outcome, Outcome::Done);
            QVERIFY(!exists(src));
            QVERIFY(readFile(d + "/log").startsWith(v1));
            QVERIFY(readFile(d + "/log").endsWith("+tail\n"));
            return;
        }
        QCOMPARE(r.outcome, Outcome::Failed);
        QCOMPARE(obs.errors.size(), 1u);
        QCOMPARE(obs.errors[0].kind, ErrorKind::SourceChanged);
        QCOMPARE(readFile(d + "/log"), v1);
        QCOMPARE(readFile(src), when == 1 ? v1 + "+tail\n" : QByteArray("version 2"));
    }

    // Owners and set-id bits as cp -a keeps them for the administrator; where the
    // owner (or a mode, times, attributes) cannot be kept, the data is copied whole,
    // set-id bits go, and the result names what was missing.
    void ownersAndMissingFeatures_data() {
        QTest::addColumn<int>("fake");
        QTest::addColumn<unsigned>("missing");
        QTest::addRow("all kept") << 0 << 0u;
        QTest::addRow("fchown EPERM") << 1 << unsigned(qb::MissingOwners);
        QTest::addRow("fchmod ENOSYS") << 2 << unsigned(qb::MissingModes);
        QTest::addRow("futimens EOPNOTSUPP") << 3 << unsigned(qb::MissingTimes);
        QTest::addRow("fsetxattr EOPNOTSUPP") << 4 << unsigned(qb::MissingXattrs);
    }
    void ownersAndMissingFeatures() {
        QFETCH(int, fake);
        QFETCH(unsigned, missing);
        if (::geteuid() != 0) QSKIP("owners are kept only for the administrator");
        QTemporaryDir shm(QStringLiteral("/dev/shm/qb-owners-XXXXXX"));
        const std::string d = fresh("owners"), s = S(shm.path()) + "/t";
        if (!shm.isValid()) QSKIP("no /dev/shm");
        mkdirs(s);
        writeFile(s + "/f", pattern(70000, 3));
        QVERIFY(::setxattr((s + "/f").c_str(), "user.k", "v", 1, 0) == 0 || fake != 4);
        QCOMPARE(::chown((s + "/f").c_str(), 1234, 1234), 0);
        QCOMPARE(::chmod((s + "/f").c_str(), 06755), 0);
        QCOMPARE(::chown(s.c_str(), 1234, 1234), 0);
        const SysSwap swap;
        qb::engine::SysCalls& sys = qb::engine::sys();
        if (fake == 1) sys.fchown = [](int, uid_t, gid_t) { return errno = EPERM, -1; };
        if (fake == 2) sys.fchmod = [](int, mode_t) { return errno = ENOSYS, -1; };
        if (fake == 3) sys.futimens = [](int, const timespec*) { return errno = EOPNOTSUPP, -1; };
        if (fake == 4)
            sys.fsetxattr = [](int, const char*, const void*, std::size_t, int) {
                return errno = EOPNOTSUPP, -1;
            };
        ScriptedObserver obs;
        for (Op op : {Op::Copy, Op::Move}) {
            const std::string out = d + (op == Op::Copy ? "/c" : "/m");
            mkdirs(out);
            const qb::OperationResult r = runFull(op, Policy::AutoRename, s, out, obs);
            QCOMPARE(r.outcome, Outcome::Done);
            QCOMPARE(r.missing, missing);
            QCOMPARE(readFile(out + "/t/f"), pattern(70000, 3));
            const struct stat st = lst(out + "/t/f"), dt = lst(out + "/t");
            QCOMPARE(st.st_uid, fake == 1 ? 0u : 1234u);
            QCOMPARE(dt.st_uid, fake == 1 ? 0u : 1234u);
            if (fake != 2) QCOMPARE(st.st_mode & 07777, fake == 1 ? 0755u : 06755u);
            if (op == Op::Copy) continue;
            QVERIFY(!exists(s));
        }
        QVERIFY(obs.errors.empty());
    }

    void cancelWhileCopiesWait() {
        const std::string d = fresh("waiting");
        mkdirs(d + "/t");
        mkdirs(d + "/o");
        for (const char* n : {"a", "b", "c", "d"})
            writeFile(d + "/t/" + n, n);
        ::symlink("a", (d + "/t/z").c_str()); // copied by the walk itself, last
        const SysSwap swap;
        qb::engine::sys().close = closeAfterCancel;
        cancelPressed = false;
        walkThread = std::this_thread::get_id();
        ScriptedObserver obs;
        obs.onProgress = [&](const qb::Progress& p) {
            if (p.current == d + "/t/z") cancelPressed = true;
        };
        qb::OperationOptions two;
        two.workers = 2;
        const qb::OperationResult r = qb::runOperation(Op::Copy, Policy::AutoRename, d + "/t",
                                                       d + "/o", obs, cancelPressed, two);
        QCOMPARE(r.outcome, Outcome::Cancelled);
        QVERIFY(list(d + "/o/t").size() < 5);
        for (const QString& n : list(d + "/o/t")) // each one made is whole
            if (n != u"z") QCOMPARE(readFile(d + "/o/t/" + S(n)), QByteArray(S(n).c_str()));
    }

    // Declining or skipping for all: asked once, then the rest goes the same way.
    void noToAllAndSkipAll() {
        const std::string d = fresh("all");
        mkdirs(d + "/s");
        mkdirs(d + "/o");
        mkdirs(d + "/o/s");
        for (const char* n : {"a", "b", "c"}) {
            writeFile(d + "/s/" + n, "new");
            writeFile(d + "/o/s/" + n, "old");
        }
        ScriptedObserver obs;
        obs.answers = {ReplaceAnswer::Yes, ReplaceAnswer::Yes, ReplaceAnswer::NoToAll};
        QCOMPARE(run(Op::Move, Policy::AskReplace, d + "/s", d + "/o", obs), Outcome::Done);
        QCOMPARE(obs.replaceAsked.size(), 2u);
        QCOMPARE(readFile(d + "/o/s/a"), QByteArray("new"));
        QCOMPARE(readFile(d + "/o/s/c"), QByteArray("old"));
        QCOMPARE(list(d + "/s"), (QStringList{"b", "c"}));

        mkdirs(d + "/t");
        for (const char* n : {"1.sock", "2.sock", "3.sock"})
            if (!makeSocket(d + "/t/" + n)) QSKIP("path too long for a socket");
        writeFile(d + "/t/z", "z");
        ScriptedObserver skip;
        skip.errorAnswer = qb::ErrorAnswer::SkipAll;
        const qb::OperationResult r =
            runFull(Op::Copy, Policy::AutoRename, d + "/t", d + "/o", skip);
        QCOMPARE(r.outcome, Outcome::Failed);
        QCOMPARE(r.failures, 3u);
        QCOMPARE(skip.errors.size(), 1u);
        QCOMPARE(list(d + "/o/t"), QStringList{"z"});
    }

    // Extended attributes stay with files and folders; names of one file stay one
    // file, on one file system and across two.
    void attributesAndHardLinksKept() {
        QTemporaryDir shm(QStringLiteral("/dev/shm/qb-faults-XXXXXX"));
        for (const std::string& from :
             {fresh("attr"), shm.isValid() ? S(shm.path()) : fresh("a")}) {
            const std::string t = from + "/t";
            mkdirs(t);
            writeFile(t + "/a", "linked");
            QCOMPARE(::link((t + "/a").c_str(), (t + "/b").c_str()), 0);
            mkdirs(t + "/sub");
            QCOMPARE(::link((t + "/a").c_str(), (t + "/sub/c").c_str()), 0);
            const bool xattrs =
                ::setxattr((t + "/a").c_str(), "user.qb.note", "hello", 5, 0) == 0 &&
                ::setxattr((t + "/sub").c_str(), "user.qb.dir", "d", 1, 0) == 0;
            for (Op op : {Op::Copy, Op::Move}) {
                const std::string out = fresh("attr-out");
                ScriptedObserver obs;
                QCOMPARE(run(op, Policy::AutoRename, t, out, obs),
                         op == Op::Copy ? Outcome::Done : Outcome::Done);
                QCOMPARE(readFile(out + "/t/b"), QByteArray("linked"));
                QCOMPARE(lst(out + "/t/a").st_ino, lst(out + "/t/b").st_ino);
                QCOMPARE(lst(out + "/t/a").st_ino, lst(out + "/t/sub/c").st_ino);
                QCOMPARE(lst(out + "/t/a").st_nlink, nlink_t(3));
                if (xattrs) {
                    char buf[16] = {};
                    QCOMPARE(::getxattr((out + "/t/a").c_str(), "user.qb.note", buf, sizeof buf),
                             5);
                    QCOMPARE(QByteArray(buf), QByteArray("hello"));
                    QCOMPARE(::getxattr((out + "/t/sub").c_str(), "user.qb.dir", buf, sizeof buf),
                             1);
                }
                if (op == Op::Move) QVERIFY(!exists(t));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestEngineFaults)
#include "tst_engine_faults.moc"
