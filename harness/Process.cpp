#include "harness/Process.h"

#include <QThread>

#include <sys/prctl.h>
#include <unistd.h>

namespace qb::harness {

QString RunResult::describe() const {
    QString s =
        finished ? QStringLiteral("exit code %1").arg(exitCode) : QStringLiteral("did not finish");
    if (!out.isEmpty()) s += QStringLiteral("; stdout: ") + QString::fromUtf8(out).trimmed();
    if (!err.isEmpty()) s += QStringLiteral("; stderr: ") + QString::fromUtf8(err).trimmed();
    return s;
}

bool sleepMs(int ms) {
    QThread::msleep(static_cast<unsigned long>(ms));
    return true;
}

void startGuarded(QProcess& p, const QString& program, const QStringList& args, int deathSignal) {
    const pid_t parent = getpid();
    // Runs in the child between fork and exec: only async-signal-safe calls.
    p.setChildProcessModifier([parent, deathSignal] {
        prctl(PR_SET_PDEATHSIG, deathSignal);
        if (getppid() != parent) _exit(127); // the parent died before we got here
    });
    p.start(program, args);
}

void stop(QProcess& p) {
    if (p.state() == QProcess::NotRunning) return;
    p.terminate(); // Xvfb removes its socket on SIGTERM
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(3000);
    }
}

RunResult run(const QString& program, const QStringList& args, const QProcessEnvironment& env,
              int timeoutMs) {
    QProcess p;
    p.setProcessEnvironment(env);
    startGuarded(p, program, args);
    return complete(p, timeoutMs);
}

RunResult complete(QProcess& p, int timeoutMs) {
    RunResult r;
    if (!p.waitForStarted(timeoutMs)) {
        r.err = QStringLiteral("cannot start %1: %2").arg(p.program(), p.errorString()).toUtf8();
        return r;
    }
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(2000);
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError() + "\n(killed after " + QByteArray::number(timeoutMs) +
                " ms: " + p.program().toUtf8() + " " + p.arguments().join(' ').toUtf8() + ")";
        return r;
    }
    r.finished = p.exitStatus() == QProcess::NormalExit;
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

} // namespace qb::harness
