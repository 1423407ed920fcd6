// The single-instance guard: one holder per lock file, refusal shows the message
// and nothing else, the marker ends with its holder.
#include "app/Startup.h"
#include "platform/Dialogs.h"
#include "platform/InstanceGuard.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

class Messages final : public qb::Dialogs {
public:
    QStringList shown;
    void errorBox(QWidget*, const QString& text) override { shown << QStringLiteral("E:") + text; }
    void messageBox(QWidget*, const QString& text) override { shown << text; }
    bool getText(QWidget*, const QString&, const QString&, int, QString&) override { return false; }
};

} // namespace

class TestInstanceGuard : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    Messages messages_;

private slots:
    void init() {
        messages_.shown.clear();
        qb::setDialogs(&messages_);
    }
    void cleanup() { qb::setDialogs(nullptr); }

    void lockPathFollowsTheRuntimeFolder() {
        qputenv("XDG_RUNTIME_DIR", "/run/user/1234");
        QCOMPARE(qb::instanceLockPath(QStringLiteral("quillbeck001")),
                 QStringLiteral("/run/user/1234/quillbeck001.lock"));
        qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(qb::instanceLockPath(QStringLiteral("quillbeck001")),
                 QStringLiteral("/tmp/quillbeck001-%1.lock").arg(::getuid()));
    }

    void secondClaimIsRefusedUntilTheFirstEnds() {
        const QString path = dir_.filePath(QStringLiteral("a.lock"));
        {
            qb::InstanceGuard first;
            QVERIFY(qb::claimSingleInstance(first, path));
            QVERIFY(first.held());
            QVERIFY(messages_.shown.isEmpty());

            qb::InstanceGuard second;
            QVERIFY(!qb::claimSingleInstance(second, path));
            QVERIFY(!second.held());
            QCOMPARE(messages_.shown, QStringList{QStringLiteral("程序已运行")});

            // Another process sees the marker too.
            if (!QStandardPaths::findExecutable(QStringLiteral("flock")).isEmpty()) {
                const int rc = QProcess::execute(
                    QStringLiteral("flock"), {QStringLiteral("-n"), path, QStringLiteral("true")});
                QCOMPARE(rc, 1);
            }
        }
        qb::InstanceGuard later;
        QVERIFY(qb::claimSingleInstance(later, path));
        QCOMPARE(messages_.shown.size(), 1);
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
        QVERIFY(messages_.shown.isEmpty());
    }
};

QTEST_MAIN(TestInstanceGuard)
#include "tst_instance_guard.moc"
