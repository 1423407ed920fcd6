// The single-instance guard: one holder per lock file, refusal shows the message
// and nothing else, the marker ends with its holder.
#include "app/Startup.h"
#include "platform/Dialogs.h"
#include "platform/InstanceGuard.h"
#include "tests/support/FakeDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

} // namespace

class TestInstanceGuard : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    qb::FakeDialogs messages_;

private slots:
    void init() {
        messages_.clear();
        qb::setDialogs(&messages_);
    }
    void cleanup() { qb::setDialogs(nullptr); }

    void lockPathIsTheUsersWhateverTheEnvironment() {
        // The runtime folder is used when it is the user's and closed to others, a
        // private folder in the shared temporary folder otherwise, the home folder
        // when another user has taken that name; $XDG_RUNTIME_DIR plays no part.
        const QString uid = QString::number(::geteuid());
        const QString root = dir_.filePath(QStringLiteral("places"));
        QVERIFY(QDir().mkpath(root + "/run/" + uid) && QDir().mkpath(root + "/tmp") &&
                QDir().mkpath(root + "/home"));
        const qb::LockPlaces places{root + "/run", root + "/tmp", root + "/home"};
        const auto path = [&](const char* runtimeVariable) {
            if (runtimeVariable)
                qputenv("XDG_RUNTIME_DIR", runtimeVariable);
            else
                qunsetenv("XDG_RUNTIME_DIR");
            return qb::instanceLockPath(QStringLiteral("qb"), places);
        };
        const auto setMode = [](const QString& p, mode_t mode) {
            return ::chmod(QFile::encodeName(p).constData(), mode) == 0;
        };

        QVERIFY(setMode(root + "/run/" + uid, 0700));
        const QString runtimeLock = root + "/run/" + uid + "/qb.lock";
        QCOMPARE(path(nullptr), runtimeLock);
        QCOMPARE(path("/elsewhere"), runtimeLock);
        QCOMPARE(path(qPrintable(root + "/run/" + uid)), runtimeLock);

        // A runtime folder that others may enter is passed over for a private one.
        QVERIFY(setMode(root + "/run/" + uid, 0755));
        const QString privateLock = root + "/tmp/qb-" + uid + "/qb.lock";
        QCOMPARE(path(nullptr), privateLock);
        QCOMPARE(path("/elsewhere"), privateLock);
        QFileInfo made(root + "/tmp/qb-" + uid);
        QVERIFY(made.isDir() && !made.isSymLink());
        QCOMPARE(int(made.permissions() & 0x0077), 0); // nothing for group and others

        // The real places: one answer with and without the variable.
        const QString real = qb::instanceLockPath(QStringLiteral("qb-guard-test"));
        qputenv("XDG_RUNTIME_DIR", root.toUtf8());
        QCOMPARE(qb::instanceLockPath(QStringLiteral("qb-guard-test")), real);
        QVERIFY(!real.isEmpty() && !real.startsWith(root));
        if (real.startsWith(QStringLiteral("/tmp/"))) QDir().rmdir(QFileInfo(real).path());
        qunsetenv("XDG_RUNTIME_DIR");

        if (::geteuid() != 0) return; // the rest needs a file of another user
        // A private folder name another user took first is not used.
        QVERIFY(QDir().rmdir(root + "/tmp/qb-" + uid));
        QVERIFY(QDir().mkdir(root + "/tmp/qb-" + uid));
        QVERIFY(::chown(QFile::encodeName(root + "/tmp/qb-" + uid).constData(), kNobody, kNobody) ==
                0);
        QCOMPARE(path(nullptr), root + "/home/.qb.lock");
    }

    void anotherUsersLockFileDoesNotBlock() {
        if (::geteuid() != 0) QSKIP("needs a file of another user");
        // Another user's file at the lock's name, held by a live process.
        const QString path = dir_.filePath(QStringLiteral("foreign.lock"));
        QFile foreign(path);
        QVERIFY(foreign.open(QIODevice::WriteOnly));
        QVERIFY(::fchown(foreign.handle(), kNobody, kNobody) == 0);
        QVERIFY(::flock(foreign.handle(), LOCK_EX | LOCK_NB) == 0);

        qb::InstanceGuard first;
        QVERIFY(qb::claimSingleInstance(first, path));
        QVERIFY(first.held());
        QCOMPARE(messages_.shown(), 0);
        QCOMPARE(QFileInfo(path).ownerId(), ::geteuid()); // replaced by a file of our own
        // And that one works as the marker.
        qb::InstanceGuard second;
        QVERIFY(!qb::claimSingleInstance(second, path));
        QCOMPARE(messages_.messages, QStringList{QStringLiteral("程序已运行")});
        QVERIFY(messages_.errors.isEmpty());
    }

    void secondClaimIsRefusedUntilTheFirstEnds() {
        const QString path = dir_.filePath(QStringLiteral("a.lock"));
        {
            qb::InstanceGuard first;
            QVERIFY(qb::claimSingleInstance(first, path));
            QVERIFY(first.held());
            QCOMPARE(messages_.shown(), 0);

            qb::InstanceGuard second;
            QVERIFY(!qb::claimSingleInstance(second, path));
            QVERIFY(!second.held());
            QCOMPARE(messages_.messages, QStringList{QStringLiteral("程序已运行")});
            QVERIFY(messages_.errors.isEmpty());

            // Another process sees the marker too.
            if (!QStandardPaths::findExecutable(QStringLiteral("flock")).isEmpty()) {
                const int rc = QProcess::execute(
                    QStringLiteral("flock"), {QStringLiteral("-n"), path, QStringLiteral("true")});
                QCOMPARE(rc, 1);
            }
        }
        qb::InstanceGuard later;
        QVERIFY(qb::claimSingleInstance(later, path));
        QCOMPARE(messages_.shown(), 1);
    }

    void unusableLockFileCountsAsFirstInstance() {
        // A planted symlink is not followed: no file appears at its target.
        const QString target = dir_.filePath(QStringLiteral("target"));
        const QString link = dir_.filePath(QStringLiteral("link.lock"));
        QVERIFY(QFile::link(target, link));
        qb::InstanceGuard g;
        QVERIFY(qb::claimSingleInstance(g, link));
        QVERIFY(!QFile::exists(target));
        // A folder that does not exist: start-up goes on.
        qb::InstanceGuard h;
        QVERIFY(h.claim(dir_.filePath(QStringLiteral("missing/x.lock"))));
        QCOMPARE(messages_.shown(), 0);
    }
};

QTEST_MAIN(TestInstanceGuard)
#include "tst_instance_guard.moc"
