// The harness's own promises: a private display that really works, and nothing
// left running afterwards, even when a test process is killed outright.
#include "tests/support/E2e.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace qb::e2e;

namespace {

// A process counts as gone once it no longer exists or is a zombie waiting for
// init to reap it.
bool gone(qint64 pid) {
    if (pid <= 0) return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return true;
    const QByteArray s = stat.readAll();
    const qsizetype close = s.lastIndexOf(')');
    return close < 0 || s.mid(close + 2, 1) == "Z";
}

// Child mode: bring up a display and the program, report the pids, then die by
// SIGKILL, as a test does when CTest's time limit strikes.
int orphanChild() {
    Desktop desk;
    QString err;
    if (!desk.start(&err)) {
        std::fprintf(stderr, "%s\n", qPrintable(err));
        return 3;
    }
    Sandbox box;
    Program app(desk, box);
    if (!box.isValid() || !app.startToMainWindow(&err)) {
        std::fprintf(stderr, "%s\n", qPrintable(err));
        return 4;
    }
    std::printf("%lld %lld %lld %s\n", desk.serverPid(), desk.windowManagerPid(), app.pid(),
                qPrintable(desk.display()));
    std::fflush(stdout);
    raise(SIGKILL);
    return 5;
}

} // namespace

class E2eHarness : public QObject {
    Q_OBJECT
private slots:
    void displayWorksAndStopLeavesNothing() {
        Desktop desk;
        QString err;
        QVERIFY2(desk.start(&err), qPrintable(err));
        QVERIFY(desk.display().startsWith(':'));
        const qint64 server = desk.serverPid(), wm = desk.windowManagerPid();

        const RunResult root = desk.tool(QStringLiteral("xwininfo"), {QStringLiteral("-root")});
        QVERIFY2(root.ok(), qPrintable(root.describe()));
        QVERIFY(root.out.contains("-geometry 1280x800+0+0"));

        // A second desktop at the same time gets a display of its own.
        Desktop other;
        QVERIFY2(other.start(&err), qPrintable(err));
        QVERIFY(other.display() != desk.display());
        other.stop();

        const QString socket = QStringLiteral("/tmp/.X11-unix/X") + desk.display().mid(1);
        QVERIFY(QFileInfo::exists(socket));
        desk.stop();
        QVERIFY(gone(server));
        QVERIFY(gone(wm));
        QVERIFY2(!QFileInfo::exists(socket), "Xvfb left its socket behind");
    }

    void killedTestLeavesNothingRunning() {
        QTemporaryDir tmp; // the child's temporary folders go here and die with it
        QVERIFY(tmp.isValid());
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QB_E2E_ORPHAN_CHILD"), QStringLiteral("1"));
        env.insert(QStringLiteral("TMPDIR"), tmp.path());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(60000));
        const QByteArray out = child.readAllStandardOutput();
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        const QList<QByteArray> f = out.trimmed().split(' ');
        QVERIFY2(f.size() == 4, (out + child.readAllStandardError()).constData());
        const qint64 server = f[0].toLongLong(), wm = f[1].toLongLong(), app = f[2].toLongLong();
        QVERIFY(server > 0 && wm > 0 && app > 0);
        QVERIFY2(waitUntil([&] { return gone(app) && gone(wm) && gone(server); }, 10000),
                 "a child of the killed test is still running");
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("QB_E2E_ORPHAN_CHILD")) return orphanChild();
    E2eHarness t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_e2e_harness.moc"
