#pragma once
// Helper programs for the tests and the benchmarks: run to completion under a time
// limit, or started as children that die with the process that started them.
#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <csignal>

namespace qb::harness {

// Outcome of a helper program run to completion.
struct RunResult {
    bool finished = false; // false: did not start, or killed at the time limit
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    bool ok() const { return finished && exitCode == 0; }
    QString describe() const; // for failure messages
};

// Runs `program` to completion (killed after `timeoutMs`).
RunResult run(const QString& program, const QStringList& args,
              const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
              int timeoutMs = 10000);

// Waits for `p`, just started, to complete (killed after `timeoutMs`) and takes its output.
RunResult complete(QProcess& p, int timeoutMs = 10000);

// Starts a child process that receives `deathSignal` when this process dies.
void startGuarded(QProcess& p, const QString& program, const QStringList& args,
                  int deathSignal = SIGKILL);
// Ends a child gently (SIGTERM), or by force when it does not go within 3 s.
void stop(QProcess& p);

bool sleepMs(int ms);
// Polls `done` every `intervalMs` until it returns true or `timeoutMs` passes. The
// limit is wall time: a slow check (a spawned tool under load) must not stretch it.
template <typename F> bool waitUntil(F done, int timeoutMs, int intervalMs = 20) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (done()) return true;
        if (clock.elapsed() >= timeoutMs) return false;
        sleepMs(intervalMs);
    }
}

} // namespace qb::harness
