#include "harness/Display.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

namespace qb::harness {

Display::~Display() {
    stop();
}

bool Display::fail(QString* error, const QString& why) {
    if (error) *error = why;
    stop();
    return false;
}

QString Display::log(const QString& name) const {
    QFile f(dir_.filePath(name));
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}

void Display::stop() {
    for (std::unique_ptr<QProcess>* p : {&wm_, &xvfb_}) {
        if (*p) harness::stop(**p);
        p->reset();
    }
    display_.clear();
}

bool Display::isRunning() const {
    return xvfb_ && xvfb_->state() == QProcess::Running && wm_ && wm_->state() == QProcess::Running;
}

QProcessEnvironment Display::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "SESSION_MANAGER",
                             "QT_QPA_PLATFORM", "QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE",
                             "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("DISPLAY"), display_);
    // No session bus unless a test starts its own: with no address at all, the
    // bus library would start one on the display (X11 autolaunch), and that one
    // starts whatever services the machine has installed.
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               QStringLiteral("unix:path=") + dir_.filePath(QStringLiteral("no-bus")));
    if (!env.contains(QStringLiteral("LANG"))) env.insert(QStringLiteral("LANG"), "C.UTF-8");
    return env;
}

RunResult Display::tool(const QString& program, const QStringList& args, int timeoutMs) const {
    return run(program, args, environment(), timeoutMs);
}

bool Display::start(QString* error, QSize size) {
    stop();
    if (!dir_.isValid()) return fail(error, QStringLiteral("no temporary folder"));
    size_ = size;

    // -displayfd 1: Xvfb picks a free display and writes its number on stdout.
    xvfb_ = std::make_unique<QProcess>();
    xvfb_->setStandardErrorFile(dir_.filePath(QStringLiteral("xvfb.log")));
    // SIGTERM, not SIGKILL: Xvfb then removes its socket and lock file.
    startGuarded(*xvfb_, QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                  QStringLiteral("0"),
                  QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height()),
                  QStringLiteral("-noreset"), QStringLiteral("-nolisten"), QStringLiteral("tcp")},
                 SIGTERM);
    if (!xvfb_->waitForStarted(5000))
        return fail(error, QStringLiteral("cannot start Xvfb: ") + xvfb_->errorString());
    QByteArray number;
    QElapsedTimer t;
    t.start();
    while (!number.contains('\n')) {
        if (xvfb_->state() != QProcess::Running || t.elapsed() > 15000)
            return fail(error, QStringLiteral("Xvfb gave no display number: ") +
                                   log(QStringLiteral("xvfb.log")));
        xvfb_->waitForReadyRead(200);
        number += xvfb_->readAllStandardOutput();
    }
    display_ = QStringLiteral(":") + QString::fromLatin1(number.trimmed());

    // openbox with a private home so no user configuration or autostart applies.
    // --sm-disable: there is no session manager, and it must not look for one.
    const QString home = dir_.path() + QStringLiteral("/wm-home");
    QDir().mkpath(home + QStringLiteral("/.config"));
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    // Its configuration and themes as its package installs them, whatever XDG
    // folders the test itself was given.
    env.insert(QStringLiteral("XDG_CONFIG_DIRS"), QStringLiteral("/etc/xdg"));
    env.insert(QStringLiteral("XDG_DATA_DIRS"), QStringLiteral("/usr/share"));
    wm_ = std::make_unique<QProcess>();
    wm_->setProcessEnvironment(env);
    // Output goes to a file: an undrained pipe would block the process once full.
    wm_->setStandardOutputFile(dir_.filePath(QStringLiteral("openbox.log")));
    wm_->setProcessChannelMode(QProcess::MergedChannels);
    startGuarded(*wm_, QStringLiteral("openbox"), {QStringLiteral("--sm-disable")}, SIGTERM);
    if (!wm_->waitForStarted(5000))
        return fail(error, QStringLiteral("cannot start openbox: ") + wm_->errorString());
    // The window manager is ready once it has announced itself on the root window.
    const bool ready = waitUntil(
        [&] {
            if (wm_->state() != QProcess::Running) return true;
            const RunResult r = tool(QStringLiteral("xprop"),
                                     {QStringLiteral("-root"), "_NET_SUPPORTING_WM_CHECK"}, 5000);
            return r.ok() && r.out.contains("window id");
        },
        15000, 25);
    if (!ready || wm_->state() != QProcess::Running)
        return fail(error, QStringLiteral("openbox did not come up on %1: %2")
                               .arg(display_, log(QStringLiteral("openbox.log"))));
    return true;
}

} // namespace qb::harness
