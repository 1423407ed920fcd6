// The engine under hostile conditions: killed mid-copy, cancelled or killed while
// moving across file systems, and running out of room. Files must stay whole.
#include "EngineTestUtil.h"
#include "engine/CopyPool.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <map>

#include <cerrno>
#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>

using namespace testutil;
using qb::Op;
using qb::Outcome;
using qb::Policy;

namespace {

// Runs the engine in a child process and returns its pid; the child's exit code is
// the outcome. With `waitStart`, returns only once the child is about to run the
// engine, so a kill timed from then lands inside the operation, not in the fork.
// Workers copying at once: with them, this many more files are in hand at any time
// (queued, being copied, or copied and waiting for the walk to take them back).
constexpr unsigned kWorkers = 3;
constexpr int kInHand = int((qb::engine::kBacklogPerWorker + 1) * kWorkers);

pid_t spawn(Op op, Policy policy, const std::string& src, const std::string& dest,
            bool waitStart = false, bool durable = true) {
    int ready[2] = {-1, -1};
    if (waitStart && ::pipe2(ready, O_CLOEXEC) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (waitStart) {
            const char c = 1;
            (void)!::write(ready[1], &c, 1);
        }
        ScriptedObserver obs;
        obs.errorAnswer = qb::ErrorAnswer::Cancel;
        std::atomic<bool> cancel{false};
        qb::OperationOptions options;
        options.durable = durable;
        options.workers = kWorkers;
        const Outcome o = qb::runOperation(op, policy, src, dest, obs, cancel, options).outcome;
        ::_exit(static_cast<int>(o));
    }
    if (waitStart) {
        ::close(ready[1]);
        char c;
        while (::read(ready[0], &c, 1) < 0 && errno == EINTR) {
        }
        ::close(ready[0]);
    }
    return pid;
}

void sleepUs(qint64 us) {
    const struct timespec ts = {static_cast<time_t>(us / 1000000),
                                static_cast<long>(us % 1000000) * 1000};
    ::nanosleep(&ts, nullptr);
}

// Which of two equally long contents the file holds: 1 or 2, 0 for neither.
int whichOf(const std::string& path, const QByteArray& one, const QByteArray& two) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    static char buf[1 << 20];
    bool isOne = true, isTwo = true;
    qsizetype off = 0;
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0; off += n) {
        if (off + n > one.size()) {
            isOne = isTwo = false;
            break;
        }
        isOne = isOne && std::memcmp(buf, one.constData() + off, static_cast<size_t>(n)) == 0;
        isTwo = isTwo && std::memcmp(buf, two.constData() + off, static_cast<size_t>(n)) == 0;
        if (!isOne && !isTwo) break;
    }
    ::close(fd);
    if (off != one.size()) return 0;
    return isOne ? 1 : isTwo ? 2 : 0;
}

bool isTempName(const QString& n) {
    return n.startsWith(u".qb-") && n.endsWith(u".part");
}

// Every file of a tree by path relative to the tree's root, and whether it holds
// the expected content.
void walk(const std::string& root, const std::string& rel,
          const std::map<std::string, QByteArray>& expected, std::map<std::string, bool>& out) {
    const std::string here = rel.empty() ? root : root + "/" + rel;
    for (const QString& n : list(here)) {
        const std::string r = rel.empty() ? S(n) : rel + "/" + S(n);
        if (S_ISDIR(lst(root + "/" + r).st_mode)) {
            walk(root, r, expected, out);
            continue;
        }
        const auto it = expected.find(r);
        out[r] = it != expected.end() && whichOf(root + "/" + r, it->second, it->second) == 1;
    }
}

} // namespace

class TestEngineReliability : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    std::string base;

private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        base = S(tmp.path());
        useTestTrash(base);
    }

    // A copy that replaces a large file, killed at random moments: the target is
    // always the old file or the whole new one, and no partial file has a real name.
    void killDuringReplacingCopy() {
        const qsizetype size = 24 << 20;
        const QByteArray a = pattern(size, 11), b = pattern(size, 22);
        const std::string dirA = base + "/kill-a", dirB = base + "/kill-b", t = base + "/kill-t";
        mkdirs(dirA);
        mkdirs(dirB);
        mkdirs(t);
        writeFile(dirA + "/big.bin", a);
        writeFile(dirB + "/big.bin", b);
        writeFile(t + "/big.bin", a);
        bool targetIsA = true;

        // How long a whole copy takes here, so the kills land inside it.
        QElapsedTimer timer;
        timer.start();
        pid_t pid = spawn(Op::Copy, Policy::AutoReplace, dirB + "/big.bin", t);
        int status = 0;
        ::waitpid(pid, &status, 0);
        const qint64 full = timer.nsecsElapsed() / 1000;
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == int(Outcome::Done));
        QCOMPARE(whichOf(t + "/big.bin", a, b), 2);
        targetIsA = false;

        QRandomGenerator fixed(20261210); // the same kill points and sizes every run
        auto* rng = &fixed;
        int kills = 0, keptOld = 0, gotNew = 0;
        for (int round = 0; kills < 50 && round < 400; ++round) {
            const std::string from = (targetIsA ? dirB : dirA) + "/big.bin";
            pid = spawn(Op::Copy, Policy::AutoReplace, from, t);
            sleepUs(static_cast<qint64>(rng->bounded(static_cast<double>(full))));
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            if (WIFSIGNALED(status)) ++kills;

            const int now = whichOf(t + "/big.bin", a, b);
            QVERIFY2(now != 0, "the target is neither the old nor the new file");
            const bool isA = now == 1;
            if (WIFSIGNALED(status)) (isA == targetIsA ? keptOld : gotNew)++;
            targetIsA = isA;
            // Only a whole temporary file may be left, by a kill between its two renames.
            for (const QString& n : list(t)) {
                if (n == u"big.bin") continue;
                QVERIFY2(isTempName(n), qPrintable(n));
                QVERIFY(whichOf(t + "/" + S(n), a, b) != 0);
                ::unlink((t + "/" + S(n)).c_str());
            }
        }
        qInfo("%d kills: %d kept the old file, %d had the new one (a whole copy takes %lld us)",
              kills, keptOld, gotNew, full);
        QCOMPARE(kills, 50);
        QVERIFY2(keptOld >= 10, "too few kills landed inside the copy");
    }

    // A folder moved from /dev/shm to the disk, cancelled, then killed again and
    // again: every file is whole at its source or at its destination. Without the
    // sync only the files in hand can be at both places; a durable move syncs and
    // removes its sources a group at a time.
    void moveAcrossFileSystemsCancelledAndKilled_data() {
        QTest::addColumn<bool>("durable");
        QTest::addColumn<int>("inFlight");
        QTest::newRow("plain") << false << 1 + kInHand;
        // (one group being synced, the next being filled)
        QTest::newRow("durable") << true << 2 * int(qb::kDurableMoveGroup) + kInHand;
    }
    void moveAcrossFileSystemsCancelledAndKilled() {
        QFETCH(bool, durable);
        QFETCH(int, inFlight);
        QTemporaryDir shm(QStringLiteral("/dev/shm/qb-reliability-XXXXXX"));
        if (!shm.isValid()) QSKIP("no /dev/shm");
        const std::string from = S(shm.path()) + "/tree",
                          dest = base + (durable ? "/move-durable" : "/move-plain");
        mkdirs(dest);
        if (lst(S(shm.path())).st_dev == lst(dest).st_dev) QSKIP("/dev/shm is on the test disk");

        std::map<std::string, QByteArray> expected; // path -> content
        mkdirs(from);
        QRandomGenerator fixed(20261210); // the same kill points and sizes every run
        auto* rng = &fixed;
        for (int d = 0; d < 8; ++d) {
            const std::string dir = std::string(1, 'd') + char('0' + d);
            mkdirs(from + "/" + dir);
            for (int f = 0; f < 30; ++f) {
                const std::string rel = dir + "/f" + std::to_string(f);
                const qsizetype size = f == 0 ? (4 << 20) : 1 + rng->bounded(200 << 10);
                expected[rel] = pattern(size, static_cast<quint32>(d * 100 + f));
                writeFile(from + "/" + rel, expected[rel]);
            }
        }

        // Each file whole at exactly one place: the one a kill caught between linking
        // it in and removing its source may be whole at both, never at neither.
        std::size_t dstCount = 0;
        const auto check = [&](int maxBoth) {
            std::map<std::string, bool> atSrc, atDst;
            if (exists(from)) walk(from, "", expected, atSrc);
            if (exists(dest + "/tree")) walk(dest + "/tree", "", expected, atDst);
            int both = 0;
            for (const auto& [rel, content] : expected) {
                const bool s = atSrc.count(rel), d = atDst.count(rel);
                if (s) QVERIFY2(atSrc[rel], ("partial at source: " + rel).c_str());
                if (d) QVERIFY2(atDst[rel], ("partial at destination: " + rel).c_str());
                QVERIFY2(s || d, ("lost: " + rel).c_str());
                both += s && d;
            }
            std::size_t strays = 0;
            for (const auto& [rel, whole] : atDst) {
                if (expected.count(rel)) continue;
                // A kill between the two renames of a replacement may leave the whole
                // file under its temporary name, never a part of it.
                const auto slash = rel.rfind('/');
                QVERIFY2(isTempName(QString::fromStdString(rel.substr(slash + 1))),
                         ("stray file: " + rel).c_str());
                bool wholeCopy = false;
                for (const auto& [other, content] : expected)
                    wholeCopy =
                        wholeCopy || (other.compare(0, slash + 1, rel, 0, slash + 1) == 0 &&
                                      whichOf(dest + "/tree/" + rel, content, content) == 1);
                QVERIFY2(wholeCopy, ("partial temporary file: " + rel).c_str());
                ::unlink((dest + "/tree/" + rel).c_str());
                ++strays;
            }
            QVERIFY2(both <= maxBoth, "a file is at both places");
            dstCount = atDst.size() - strays;
        };

        // Cancel a third of the way through, timing it: the rest takes about twice as
        // long, so kills at most a quarter of that time into a run need several runs
        // to finish the move, however fast the machine.
        QElapsedTimer third;
        third.start();
        ScriptedObserver obs;
        std::atomic<bool> cancel{false};
        obs.onProgress = [&](const qb::Progress& p) {
            if (p.bytesTotal && p.bytesDone * 3 >= p.bytesTotal) cancel = true;
        };
        qb::OperationOptions options;
        options.durable = durable;
        options.workers = kWorkers;
        QCOMPARE(qb::runOperation(Op::Move, Policy::AutoReplace, from, dest, obs, cancel, options)
                     .outcome,
                 Outcome::Cancelled);
        const qint64 span = std::max<qint64>(third.nsecsElapsed() / 4000, 300);
        check(0);
        if (QTest::currentTestFailed()) return;
        QVERIFY(dstCount > 0 && dstCount < expected.size());

        // Kill, check, go on with the rest (merging into what arrived), kill again.
        int kills = 0;
        for (int round = 0; round < 200 && exists(from); ++round) {
            const pid_t pid = spawn(Op::Move, Policy::AutoReplace, from, dest, true, durable);
            QVERIFY(pid > 0);
            sleepUs(static_cast<qint64>(rng->bounded(static_cast<double>(span))));
            ::kill(pid, SIGKILL);
            int status = 0;
            ::waitpid(pid, &status, 0);
            if (WIFSIGNALED(status))
                ++kills;
            else
                QCOMPARE(WEXITSTATUS(status), int(Outcome::Done));
            check(inFlight);
            if (QTest::currentTestFailed()) return;
            if (kills >= 20) break;
        }
        qInfo("%d kills during the move (each within %lld us of its start)", kills, span);
        QVERIFY(kills >= 5);
        if (exists(from)) {
            ScriptedObserver rest;
            QCOMPARE(run(Op::Move, Policy::AutoReplace, from, dest, rest), Outcome::Done);
        }
        check(0);
        QCOMPARE(dstCount, expected.size());
        QVERIFY(!exists(from));
    }

    // Out of room half way: the old target stays as it was, the error names the file.
    void writeErrorOnAFullFileSystem() {
        const std::string mnt = base + "/small";
        mkdirs(mnt);
        if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=1m") != 0)
            QSKIP("cannot mount a small file system here (the file size limit test covers it)");
        struct Unmount {
            std::string at;
            ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
        } unmount{mnt};
        const QByteArray old = pattern(300 << 10, 5);
        writeFile(mnt + "/data.bin", old);
        writeFile(base + "/big-source.bin", pattern(2 << 20, 6));
        ScriptedObserver obs;
        QCOMPARE(run(Op::Copy, Policy::AutoReplace, base + "/big-source.bin", mnt, obs),
                 Outcome::Failed);
        QCOMPARE(obs.errors.size(), 1u);
        QCOMPARE(obs.errors[0].code, ENOSPC);
        QCOMPARE(obs.errors[0].kind, qb::ErrorKind::Transfer);
        QCOMPARE(obs.errors[0].path, base + "/big-source.bin");
        QCOMPARE(obs.errors[0].other, mnt + "/big-source.bin");
        QVERIFY(readFile(mnt + "/data.bin") == old);
        QCOMPARE(list(mnt), QStringList{"data.bin"});
        // A move that fails keeps its source.
        ScriptedObserver mv;
        QCOMPARE(run(Op::Move, Policy::AutoReplace, base + "/big-source.bin", mnt, mv),
                 Outcome::Failed);
        QCOMPARE(readFile(base + "/big-source.bin"), pattern(2 << 20, 6));
        QVERIFY(readFile(mnt + "/data.bin") == old);
    }

    void writeErrorPastTheFileSizeLimit() {
        const std::string d = base + "/limit";
        mkdirs(d);
        mkdirs(d + "/out");
        const QByteArray old = pattern(100 << 10, 7), incoming = pattern(20 << 20, 8);
        writeFile(d + "/out/data.bin", old);
        writeFile(d + "/data.bin", incoming);
        int fds[2];
        QCOMPARE(::pipe(fds), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const struct rlimit lim = {1 << 20, 1 << 20};
            ::setrlimit(RLIMIT_FSIZE, &lim);
            ScriptedObserver obs;
            const Outcome o = run(Op::Copy, Policy::AutoReplace, d + "/data.bin", d + "/out", obs);
            const std::string report =
                std::to_string(int(o)) + "|" + std::to_string(obs.errors.size()) + "|" +
                (obs.errors.empty()
                     ? ""
                     : std::to_string(obs.errors[0].code) + "|" + obs.errors[0].path);
            ::write(fds[1], report.data(), report.size());
            ::_exit(0);
        }
        ::close(fds[1]);
        QByteArray report;
        char buf[4096];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
            report.append(buf, n);
        ::close(fds[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        const QList<QByteArray> parts = report.split('|');
        QCOMPARE(parts.size(), 4);
        QCOMPARE(parts[0].toInt(), int(Outcome::Failed));
        QCOMPARE(parts[1].toInt(), 1);
        QCOMPARE(parts[2].toInt(), EFBIG);
        QCOMPARE(parts[3], QByteArray::fromStdString(d + "/data.bin"));
        QVERIFY(readFile(d + "/out/data.bin") == old);
        QCOMPARE(list(d + "/out"), QStringList{"data.bin"});
    }
};

QTEST_GUILESS_MAIN(TestEngineReliability)
#include "tst_engine_reliability.moc"
