#pragma once
// A system tool run to its end, for the tests that make and mount file systems:
// header-only, Qt Core alone.
#include <QProcess>
#include <QString>
#include <QStringList>

namespace qb::test {

// Runs `argv` (30 s at most); true when it ended with status 0. What it wrote, on
// either stream, goes to `out`.
inline bool command(const QStringList& argv, QString* out = nullptr) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(argv.first(), argv.mid(1));
    const bool ok =
        p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!ok && p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
    }
    if (out) *out = QString::fromLocal8Bit(p.readAll()).trimmed();
    return ok;
}

} // namespace qb::test
