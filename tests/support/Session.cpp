#include "tests/support/Session.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::wl {

namespace {

const QString kUserPrefix = QStringLiteral("qbwl");

bool isRoot() {
    return ::geteuid() == 0;
}

e2e::RunResult runAsRoot(const QString& program, const QStringList& args) {
    return e2e::run(program, args, QProcessEnvironment::systemEnvironment(), 20000);
}

// Users left behind by test processes that were killed: their name carries the
// process id, so one whose process is gone can go.
void removeStaleUsers() {
    QStringList stale;
    ::setpwent();
    while (const passwd* pw = ::getpwent()) {
        const QString name = QString::fromLocal8Bit(pw->pw_name);
        if (!name.startsWith(kUserPrefix)) continue;
        bool ok = false;
        const int pid = name.mid(kUserPrefix.size()).section(u'_', 0, 0).toInt(&ok);
        if (ok && pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH) stale << name;
    }
    ::endpwent();
    for (const QString& name : stale)
        runAsRoot(QStringLiteral("userdel"), {name});
}

QString which(const QString& program) {
    return QStandardPaths::findExecutable(program,
                                          {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"),
                                           QStringLiteral("/sbin"), QStringLiteral("/bin")});
}

} // namespace

// ---------------------------------------------------------------- user

SessionUser::~SessionUser() {
    if (created_) runAsRoot(QStringLiteral("userdel"), {name_});
}

bool SessionUser::create(QString* error) {
    if (!isRoot()) {
        uid_ = ::getuid();
        gid_ = ::getgid();
        const passwd* pw = ::getpwuid(uid_);
        name_ = pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(uid_);
        return true;
    }
    removeStaleUsers();
    // A second session of the same process has a user of its own.
    static int created = 0;
    name_ = kUserPrefix + QString::number(::getpid());
    if (created++ > 0) name_ += u'_' + QString::number(created);
    const e2e::RunResult r =
        runAsRoot(QStringLiteral("useradd"),
                  {QStringLiteral("--system"), QStringLiteral("--user-group"),
                   QStringLiteral("--no-create-home"), QStringLiteral("--home-dir"),
                   QStringLiteral("/nonexistent"), QStringLiteral("--shell"),
                   QStringLiteral("/usr/sbin/nologin"), name_});
    if (!r.ok()) {
        if (error) *error = QStringLiteral("useradd %1: %2").arg(name_, r.describe());
        return false;
    }
    created_ = true;
    const passwd* pw = ::getpwnam(name_.toLocal8Bit().constData());
    if (!pw) {
        if (error) *error = QStringLiteral("user %1 not found after useradd").arg(name_);
        return false;
    }
    uid_ = pw->pw_uid;
    gid_ = pw->pw_gid;
    return true;
}

bool SessionUser::adopt(const QString& path) const {
    if (!isRoot()) return true;
    const e2e::RunResult r =
        runAsRoot(QStringLiteral("chown"),
                  {QStringLiteral("-R"), QStringLiteral("%1:%2").arg(uid_).arg(gid_), path});
    return r.ok();
}

void SessionUser::start(QProcess& p, const QString& program, const QStringList& args) const {
    const pid_t parent = ::getpid();
    const bool switchUser = isRoot();
    const uid_t uid = uid_;
    const gid_t gid = gid_;
    // Runs in the child between fork and exec: only async-signal-safe calls. A
    // change of user clears the parent-death signal, so it is set afterwards.
    p.setChildProcessModifier([=] {
        if (switchUser &&
            (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0))
            ::_exit(126);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
    });
    p.start(program, args);
}

// ---------------------------------------------------------------- session

Compositor compositorFromEnvironment() {
    const QByteArray name = qgetenv("QB_WL_COMPOSITOR");
    if (name == "kwin") return Compositor::KWin;
    if (name == "mutter") return Compositor::Mutter;
    return Compositor::Sway;
}

QString nameOf(Compositor c) {
    switch (c) {
    case Compositor::KWin:
        return QStringLiteral("KWin");
    case Compositor::Mutter:
        return QStringLiteral("mutter");
    case Compositor::Sway:
        break;
    }
    return QStringLiteral("sway");
}

QString missingPrerequisite(Compositor c) {
    QStringList programs = {QStringLiteral("Xwayland"), QStringLiteral("xwininfo"),
                            QStringLiteral("python3")};
    switch (c) {
    case Compositor::Sway:
        programs << QStringLiteral("sway") << QStringLiteral("swaymsg");
        break;
    case Compositor::KWin:
        programs << QStringLiteral("kwin_wayland") << QStringLiteral("dbus-daemon");
        break;
    case Compositor::Mutter:
        programs << QStringLiteral("mutter") << QStringLiteral("pipewire")
                 << QStringLiteral("dbus-daemon");
        break;
    }
    for (const QString& program : programs)
        if (which(program).isEmpty()) return QStringLiteral("%1 is not installed").arg(program);
    if (isRoot() && which(QStringLiteral("useradd")).isEmpty())
        return QStringLiteral("useradd is not installed");
    if (!QFileInfo(QStringLiteral(QB_WL_POINTER_TOOL)).isExecutable())
        return QStringLiteral("the pointer tool was not built (no wayland-client)");
    return {};
}

Session::~Session() {
    stop();
}

bool Session::fail(QString* error, const QString& why) {
    if (error) *error = why + QStringLiteral("\ncompositor log:\n") + log();
    stop();
    return false;
}

QString Session::scratch() const {
    return dir_ ? dir_->path() + QStringLiteral("/scratch") : QString();
}

QString Session::log() const {
    return dir_ ? QString::fromUtf8(test::bytesOf(dir_->path() + QStringLiteral("/compositor.log")))
                      .right(6000)
                : QString();
}

QProcessEnvironment Session::environment() const {
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/local/bin:/usr/bin:/bin"));
    env.insert(QStringLiteral("HOME"), dir_->path() + QStringLiteral("/home"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_->path() + QStringLiteral("/runtime"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    if (!waylandDisplay_.isEmpty()) env.insert(QStringLiteral("WAYLAND_DISPLAY"), waylandDisplay_);
    if (!xDisplay_.isEmpty()) env.insert(QStringLiteral("DISPLAY"), xDisplay_);
    if (!xAuthority_.isEmpty()) env.insert(QStringLiteral("XAUTHORITY"), xAuthority_);
    if (!swaySocket_.isEmpty()) env.insert(QStringLiteral("SWAYSOCK"), swaySocket_);
    env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    // Keep GTK from looking for the accessibility bus. Without a private bus,
    // name one that is not there, so that no client starts one (X11 autolaunch)
    // with the services the machine has installed.
    env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               bus_ ? bus_->address()
                    : QStringLiteral("unix:path=") + dir_->path() +
                          QStringLiteral("/runtime/no-bus"));
    // Nothing of the machine's desktop: see Sandbox::environment().
    env.insert(QStringLiteral("XDG_CONFIG_DIRS"), dir_->path() + QStringLiteral("/xdg/config"));
    env.insert(QStringLiteral("XDG_DATA_DIRS"), dir_->path() + QStringLiteral("/xdg/data"));
    env.insert(QStringLiteral("BROWSER"), QStringLiteral("false"));
    for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "FONTCONFIG_FILE"})
        if (qEnvironmentVariableIsSet(keep))
            env.insert(QString::fromLatin1(keep), qEnvironmentVariable(keep));
    return env;
}

void Session::startClient(QProcess& p, const QString& program, const QStringList& args,
                          const QProcessEnvironment& env) const {
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir_->path());
    user_.start(p, program, args);
}

e2e::RunResult Session::tool(const QString& program, const QStringList& args, int timeoutMs) const {
    QProcess p;
    startClient(p, program, args, environment());
    return harness::complete(p, timeoutMs);
}

// The compositor's configuration: the outputs, Xwayland started at once, no
// borders, and the display names written to `displays`.
bool Session::writeConfig(const QString& path, const QString& displays) const {
    QFile config(path);
    if (!config.open(QIODevice::WriteOnly)) return false;
    QString text;
    for (qsizetype i = 0; i < outputs_.size(); ++i) {
        const Output& o = outputs_[i];
        text += QStringLiteral("output HEADLESS-%1 mode %2x%3 position %4 %5 scale %6\n")
                    .arg(i + 1)
                    .arg(o.mode.width())
                    .arg(o.mode.height())
                    .arg(o.position.x())
                    .arg(o.position.y())
                    .arg(o.scale);
    }
    text += QStringLiteral("xwayland force\n"
                           "default_border none\n"
                           "default_floating_border none\n"
                           "focus_follows_mouse no\n"
                           "exec sh -c 'echo \"$WAYLAND_DISPLAY $DISPLAY $SWAYSOCK\" > %1'\n")
                .arg(displays);
    config.write(text.toUtf8());
    return true;
}

bool Session::start(QString* error, QSize size) {
    return start(error, {Output{size, QPoint(0, 0)}});
}

bool Session::start(QString* error, const QList<Output>& outputs) {
    stop();
    if (const QString missing = missingPrerequisite(); !missing.isEmpty())
        return fail(error, missing);
    if (outputs.isEmpty() || (outputs.size() > 1 && compositor_ != Compositor::Sway))
        return fail(error, QStringLiteral("several outputs need sway"));
    if (!user_.uid() && !user_.create(error)) return false;
    outputs_ = outputs;
    QRect box;
    for (const Output& o : outputs)
        box |= o.layout();
    size_ = QSize(box.right() + 1, box.bottom() + 1);
    dir_ = std::make_unique<QTemporaryDir>();
    if (!dir_->isValid()) return fail(error, QStringLiteral("no temporary folder"));
    const QString root = dir_->path();
    for (const char* sub : {"home", "runtime", "scratch", "xdg/config", "xdg/data"})
        QDir(root).mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(root + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Whoever creates the X socket folder owns it: made by the session's user,
    // no other user could start an X server afterwards, and Xwayland refuses a
    // folder a user of an earlier run left behind.
    if (isRoot()) {
        ::mkdir("/tmp/.X11-unix", 01777);
        if (::chown("/tmp/.X11-unix", 0, 0) != 0 || ::chmod("/tmp/.X11-unix", 01777) != 0)
            return fail(error, QStringLiteral("cannot prepare /tmp/.X11-unix"));
    }

    const QString displays = root + QStringLiteral("/displays");
    if (!user_.adopt(root)) return fail(error, QStringLiteral("cannot hand the folder over"));
    // KWin and mutter live on the session bus (mutter's remote desktop is there).
    if (compositor_ != Compositor::Sway) {
        bus_ = std::make_unique<e2e::SessionBus>();
        QString why;
        if (!bus_->start(&why, user_.uid())) return fail(error, why);
    }
    if (!startCompositor(error, displays)) return false;

    QStringList names;
    const bool up = e2e::waitUntil(
        [&] {
            names = QString::fromUtf8(test::bytesOf(displays)).simplified().split(u' ');
            return names.size() == 3 || sway_->state() != QProcess::Running;
        },
        30000, 50);
    if (!up || names.size() != 3)
        return fail(error, nameOf(compositor_) + QStringLiteral(" did not come up"));
    waylandDisplay_ = names[0];
    xDisplay_ = names[1];
    if (compositor_ == Compositor::Sway)
        swaySocket_ = names[2];
    else if (names[2] != QLatin1String("-"))
        xAuthority_ = names[2];

    return startPointer(error);
}

// Starts the compositor, which writes "WAYLAND_DISPLAY DISPLAY THIRD" to
// `displays` once Xwayland runs (THIRD: sway's socket, else the X authority file
// or "-").
bool Session::startCompositor(QString* error, const QString& displays) {
    const QString root = dir_->path();
    const QString announce =
        QStringLiteral("echo \"$WAYLAND_DISPLAY $DISPLAY ${XAUTHORITY:--}\" > ") + displays;
    QProcessEnvironment env = environment();
    QString program;
    QStringList args;
    switch (compositor_) {
    case Compositor::Sway: {
        const QString config = root + QStringLiteral("/config");
        if (!writeConfig(config, displays) || !user_.adopt(config))
            return fail(error, QStringLiteral("cannot write config"));
        env.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
        env.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
        env.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
        env.insert(QStringLiteral("WLR_HEADLESS_OUTPUTS"), QString::number(outputs_.size()));
        program = QStringLiteral("sway");
        args = {QStringLiteral("-c"), config};
        break;
    }
    case Compositor::KWin: {
        // Debian gives the binary a file capability that a container's bounding
        // set may lack, and then no one may run it: a copy has none and needs none.
        program = root + QStringLiteral("/kwin_wayland");
        if (!QFile::copy(which(QStringLiteral("kwin_wayland")), program) || !user_.adopt(program))
            return fail(error, QStringLiteral("cannot copy kwin_wayland"));
        // Fake input is for privileged clients only, named in desktop files the
        // private data folders do not have.
        env.insert(QStringLiteral("KWIN_WAYLAND_NO_PERMISSION_CHECKS"), QStringLiteral("1"));
        env.insert(QStringLiteral("KWIN_XKB_DEFAULT_KEYMAP"), QStringLiteral("1"));
        args = {QStringLiteral("--virtual"),
                QStringLiteral("--xwayland"),
                QStringLiteral("--width"),
                QString::number(size_.width()),
                QStringLiteral("--height"),
                QString::number(size_.height()),
                QStringLiteral("--socket"),
                QStringLiteral("wayland-qb"),
                QStringLiteral("sh -c '") + announce + u'\''};
        break;
    }
    case Compositor::Mutter: {
        // Absolute pointer motion needs a screen cast stream, which needs PipeWire.
        pipewire_ = std::make_unique<QProcess>();
        pipewire_->setProcessChannelMode(QProcess::MergedChannels);
        pipewire_->setStandardOutputFile(root + QStringLiteral("/pipewire.log"));
        startClient(*pipewire_, QStringLiteral("pipewire"), {}, env);
        if (!pipewire_->waitForStarted(5000))
            return fail(error, QStringLiteral("cannot start pipewire"));
        // Its settings from the installed schemas, kept in memory only.
        env.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
        env.insert(QStringLiteral("GSETTINGS_SCHEMA_DIR"),
                   QStringLiteral("/usr/share/glib-2.0/schemas"));
        program = QStringLiteral("mutter");
        args = {QStringLiteral("--headless"),
                QStringLiteral("--wayland"),
                QStringLiteral("--virtual-monitor"),
                QStringLiteral("%1x%2").arg(size_.width()).arg(size_.height()),
                QStringLiteral("--wayland-display"),
                QStringLiteral("wayland-qb"),
                QStringLiteral("--"),
                QStringLiteral("sh"),
                QStringLiteral("-c"),
                announce + QStringLiteral("; while kill -0 $PPID; do sleep 1; done")};
        break;
    }
    }
    sway_ = std::make_unique<QProcess>();
    sway_->setProcessChannelMode(QProcess::MergedChannels);
    sway_->setStandardOutputFile(root + QStringLiteral("/compositor.log"));
    startClient(*sway_, program, args, env);
    if (!sway_->waitForStarted(10000))
        return fail(error, QStringLiteral("cannot start ") + nameOf(compositor_));
    return true;
}

// The pointer, once Xwayland answers, resting in the middle.
bool Session::startPointer(QString* error) {
    pointerTool_ = std::make_unique<QProcess>();
    if (compositor_ == Compositor::Mutter)
        startClient(*pointerTool_, QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral(QB_SOURCE_DIR "/tests/support/mutter_pointer.py")},
                    environment());
    else
        startClient(*pointerTool_, QStringLiteral(QB_WL_POINTER_TOOL),
                    {QString::number(size_.width()), QString::number(size_.height())},
                    environment());
    if (!pointerTool_->waitForStarted(5000) || !command({}, 20000))
        return fail(
            error, QStringLiteral("no virtual pointer: ") +
                       QString::fromUtf8(lastReply_ + '\n' + pointerTool_->readAllStandardError()));
    // Xwayland answers once it is up.
    const bool xUp = e2e::waitUntil(
        [&] { return tool(QStringLiteral("xwininfo"), {QStringLiteral("-root")}, 5000).ok(); },
        15000, 100);
    if (!xUp) return fail(error, QStringLiteral("Xwayland did not come up"));
    return pointerMove(QPoint(size_.width() / 2, size_.height() / 2)) ||
           fail(error, QStringLiteral("the pointer does not move"));
}

void Session::stop() {
    for (auto* p : {&pointerTool_, &sway_, &pipewire_}) {
        if (!*p) continue;
        if ((*p)->state() != QProcess::NotRunning) {
            (*p)->terminate();
            if (!(*p)->waitForFinished(3000)) {
                (*p)->kill();
                (*p)->waitForFinished(3000);
            }
        }
        p->reset();
    }
    bus_.reset();
    xDisplay_.clear();
    xAuthority_.clear();
    waylandDisplay_.clear();
    swaySocket_.clear();
}

// Sends one line (none: only waits) and waits for the tool's answer.
bool Session::command(const QByteArray& line, int timeoutMs) {
    if (!pointerTool_ || pointerTool_->state() != QProcess::Running) return false;
    if (!line.isEmpty()) pointerTool_->write(line + '\n');
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (pointerTool_->canReadLine()) {
            lastReply_ = pointerTool_->readLine().trimmed();
            return lastReply_ == "ok";
        }
        pointerTool_->waitForReadyRead(50);
    }
    return false;
}

bool Session::pointerMove(QPoint p) {
    if (!command(QStringLiteral("move %1 %2").arg(p.x()).arg(p.y()).toLatin1())) return false;
    pointer_ = p;
    return true;
}

bool Session::pointerBy(QPoint delta) {
    if (!command(QStringLiteral("by %1 %2").arg(delta.x()).arg(delta.y()).toLatin1())) return false;
    pointer_ += delta;
    return true;
}

bool Session::pointerDown() {
    return command("down");
}

bool Session::pointerUp() {
    return command("up");
}

bool Session::pointerGlide(QPoint to, int steps, int delayMs, bool relative) {
    const QPoint from = pointer_;
    for (int i = 1; i <= steps; ++i) {
        const QPoint next = from + (to - from) * i / steps;
        if (!(relative ? pointerBy(next - pointer_) : pointerMove(next))) return false;
        e2e::sleepMs(delayMs);
    }
    return true;
}

bool Session::pointerClick(QPoint at) {
    if (!pointerGlide(at, 6) || !pointerMove(at + QPoint(1, 0)) || !pointerMove(at)) return false;
    e2e::sleepMs(100);
    if (!pointerDown()) return false;
    e2e::sleepMs(100);
    return pointerUp();
}

std::optional<QRect> Session::xWindow(const QString& title) const {
    const e2e::RunResult r =
        tool(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    if (!r.ok()) return std::nullopt;
    // 0x400006 "Title": ("res" "class")  246x716+517+42  +517+42
    static const QRegularExpression line(
        QStringLiteral("^\\s*0x[0-9a-f]+ \"(.*)\":.*\\s(\\d+)x(\\d+)\\+-?\\d+\\+-?\\d+\\s+"
                       "\\+(-?\\d+)\\+(-?\\d+)\\s*$"));
    for (const QString& l : QString::fromUtf8(r.out).split(u'\n')) {
        const auto m = line.match(l);
        if (m.hasMatch() && m.captured(1) == title)
            return QRect(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(2).toInt(),
                         m.captured(3).toInt());
    }
    return std::nullopt;
}

std::optional<QRect> Session::swayWindow(const QString& title) const {
    const e2e::RunResult r =
        tool(QStringLiteral("swaymsg"),
             {QStringLiteral("-r"), QStringLiteral("-t"), QStringLiteral("get_tree")});
    if (!r.ok()) return std::nullopt;
    std::optional<QRect> found;
    std::function<void(const QJsonObject&)> walk = [&](const QJsonObject& node) {
        if (node.value(QStringLiteral("name")).toString() == title &&
            node.contains(QStringLiteral("shell"))) {
            const QJsonObject rect = node.value(QStringLiteral("rect")).toObject();
            found = QRect(rect.value(QStringLiteral("x")).toInt(),
                          rect.value(QStringLiteral("y")).toInt(),
                          rect.value(QStringLiteral("width")).toInt(),
                          rect.value(QStringLiteral("height")).toInt());
        }
        for (const char* key : {"nodes", "floating_nodes"})
            for (const QJsonValue& child : node.value(QLatin1String(key)).toArray())
                walk(child.toObject());
    };
    walk(QJsonDocument::fromJson(r.out).object());
    return found;
}

} // namespace qb::wl
