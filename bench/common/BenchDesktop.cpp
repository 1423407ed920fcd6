#include "BenchDesktop.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace qb::bench {

void fail(const QString& why) {
    throw Failure{why};
}

QString runTool(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(10000)) fail(program + QStringLiteral(" did not finish"));
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

namespace {

// Starts `p` so that it receives SIGTERM when the benchmark dies (Xvfb then
// removes its socket and lock file).
void startGuarded(QProcess& p, const QString& program, const QStringList& args) {
    const pid_t parent = getpid();
    p.setChildProcessModifier([parent] {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
    });
    p.start(program, args);
    if (!p.waitForStarted(5000)) fail(QStringLiteral("cannot start ") + program);
}

void stop(QProcess* p) {
    if (!p || p->state() == QProcess::NotRunning) return;
    p->terminate();
    if (!p->waitForFinished(3000)) {
        p->kill();
        p->waitForFinished(3000);
    }
}

} // namespace

Desktop::Desktop(QSize size) {
    if (!dir_.isValid()) fail(QStringLiteral("no temporary folder"));
    xvfb_ = std::make_unique<QProcess>();
    xvfb_->setStandardErrorFile(QProcess::nullDevice());
    startGuarded(*xvfb_, QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                  QStringLiteral("0"),
                  QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height()),
                  QStringLiteral("-noreset"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    while (!xvfb_->canReadLine())
        if (!xvfb_->waitForReadyRead(10000)) fail(QStringLiteral("Xvfb reported no display"));
    display_ = u':' + QString::fromLatin1(xvfb_->readLine().trimmed());

    // A private home, so no user configuration or autostart of openbox applies.
    const QString home = dir_.filePath(QStringLiteral("wm-home"));
    QDir().mkpath(home + QStringLiteral("/.config"));
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    wm_ = std::make_unique<QProcess>();
    wm_->setProcessEnvironment(env);
    wm_->setStandardOutputFile(QProcess::nullDevice());
    wm_->setStandardErrorFile(QProcess::nullDevice());
    startGuarded(*wm_, QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    QElapsedTimer t;
    t.start();
    while (!tool(QStringLiteral("xprop"), {QStringLiteral("-root"), "_NET_SUPPORTING_WM_CHECK"})
                .contains(QStringLiteral("window id"))) {
        if (t.elapsed() > 15000) fail(QStringLiteral("openbox did not start"));
        QThread::msleep(25);
    }
}

Desktop::~Desktop() {
    stop(wm_.get());
    stop(xvfb_.get());
}

QProcessEnvironment Desktop::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "DBUS_SESSION_BUS_ADDRESS",
                             "SESSION_MANAGER", "QT_QPA_PLATFORM", "QT_QPA_PLATFORMTHEME"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("DISPLAY"), display_);
    if (!env.contains(QStringLiteral("LANG"))) env.insert(QStringLiteral("LANG"), "C.UTF-8");
    return env;
}

void Desktop::mouseMove(int x, int y) const {
    tool(QStringLiteral("xdotool"),
         {QStringLiteral("mousemove"), QString::number(x), QString::number(y)});
}

Sandbox::Sandbox(const QString& binary) {
    if (!dir_.isValid()) fail(QStringLiteral("no temporary folder"));
    const QDir root(dir_.path());
    for (const char* sub : {"program", "home/.config", "home/.local/share", "runtime"})
        root.mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // A copy, not a link: the program finds its settings beside its own path.
    if (!QFile::copy(binary, programPath()))
        fail(QStringLiteral("cannot copy %1 to %2").arg(binary, programPath()));
    QFile::setPermissions(programPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString Sandbox::programFolder() const {
    return dir_.path() + QStringLiteral("/program/");
}

QString Sandbox::programPath() const {
    return programFolder() + QStringLiteral("quillbeck");
}

QProcessEnvironment Sandbox::environment(const Desktop& desk) const {
    QProcessEnvironment env = desk.environment();
    const QString home = dir_.path() + QStringLiteral("/home");
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.path() + QStringLiteral("/runtime"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return env;
}

} // namespace qb::bench
