#include "harness/Program.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::harness {

static QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString defaultBinary() {
    // QB_E2E_BINARY runs the same tests against another build (a Release one, say).
    const QString other = qEnvironmentVariable("QB_E2E_BINARY");
    return other.isEmpty() ? QStringLiteral(QB_BINARY) : other;
}

// ---------------------------------------------------------------- Sandbox

Sandbox::Sandbox(const QString& binary, Binary how) {
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return;
    }
    QDir root(dir_.path());
    for (const char* sub : {"program", "home", "runtime", "home/.config", "home/.local/share",
                            "home/.cache", "home/Desktop", "xdg/config", "xdg/data"})
        root.mkpath(QString::fromLatin1(sub));
    // The runtime folder must be private to its user.
    QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // What the program sees as /run/user (see Program::start).
    const QString runUser = QStringLiteral("runuser/%1").arg(::geteuid());
    root.mkpath(runUser);
    QFile::setPermissions(root.filePath(runUser),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (how == Binary::InPlace) {
        inPlace_ = QFileInfo(binary).absoluteFilePath();
        valid_ = QFileInfo(inPlace_).isExecutable();
        if (!valid_) error_ = QStringLiteral("no program at ") + inPlace_;
        return;
    }
    // A copy, not a link: the program resolves its own path and keeps its
    // settings in that folder.
    if (!QFile::copy(binary, programPath())) {
        error_ = QStringLiteral("cannot copy %1 to %2").arg(binary, programPath());
        return;
    }
    QFile::setPermissions(programPath(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                             QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                             QFile::ExeOther);
    valid_ = true;
}

QString Sandbox::programFolder() const {
    if (!inPlace_.isEmpty()) return QFileInfo(inPlace_).absolutePath() + u'/';
    return dir_.path() + QStringLiteral("/program/");
}
QString Sandbox::programPath() const {
    return inPlace_.isEmpty() ? programFolder() + QStringLiteral("quillbeck") : inPlace_;
}
QString Sandbox::home() const {
    return dir_.path() + QStringLiteral("/home");
}
QString Sandbox::runtimeDir() const {
    return dir_.path() + QStringLiteral("/runtime");
}
QString Sandbox::configHome() const {
    return home() + QStringLiteral("/.config");
}
QString Sandbox::dataHome() const {
    return home() + QStringLiteral("/.local/share");
}

QProcessEnvironment Sandbox::environment(const Desktop& desk) const {
    QProcessEnvironment env = desk.environment();
    env.insert(QStringLiteral("HOME"), home());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome());
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome());
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home() + QStringLiteral("/.cache"));
    // Empty system XDG folders: no desktop entries from /usr/share/applications for
    // xdg-open to choose, no settings from /etc/xdg; and xdg-open, finding no
    // handler, does not fall back to the machine's web browsers.
    env.insert(QStringLiteral("XDG_CONFIG_DIRS"), root() + QStringLiteral("/xdg/config"));
    env.insert(QStringLiteral("XDG_DATA_DIRS"), root() + QStringLiteral("/xdg/data"));
    env.insert(QStringLiteral("BROWSER"), QStringLiteral("false"));
    env.insert(extra_);
    return env;
}

// ---------------------------------------------------------------- layout

namespace {
struct Placed {
    const char* name;
    int x, y, w, h;
};
// Client positions of the main window's fixed layout. Children of GroupBox1/2/3
// and Panel1 are already offset by their frame's position.
constexpr Placed kFixed[] = {
    {"Label16", 11, 8, 36, 13},         {"Label17", 46, 6, 121, 21},
    {"Button1", 169, 5, 65, 18},        {"Button2", 169, 23, 65, 18},
    {"Move", 18, 24, 49, 17},           {"Copy", 71, 24, 49, 17},
    {"Set", 123, 24, 49, 17},           {"GroupBox3", 0, 40, 241, 41},
    {"RadioButton13", 8, 56, 89, 17},   {"RadioButton15", 104, 56, 73, 17},
    {"RadioButton14", 184, 56, 49, 17}, {"GroupBox1", 2, 80, 238, 112},
    {"Label18", 16, 193, 73, 17},       {"Label19", 136, 193, 81, 17},
    {"Panel1", 3, 208, 238, 417},       {"Button3", 37, 627, 73, 18},
    {"Button4", 136, 627, 73, 18},      {"GroupBox2", 3, 644, 238, 28},
    {"RadioButton11", 15, 652, 77, 17}, {"RadioButton12", 139, 652, 81, 17},
    {"Labeltip", 4, 673, 221, 17},
};
constexpr int kRowTops[20] = {3,   23,  44,  64,  85,  105, 126, 146, 167, 187,
                              208, 228, 249, 269, 290, 310, 331, 351, 372, 393};
constexpr int kGroupTops[5] = {16, 34, 53, 72, 91};

int numberAfter(const QString& name, const QString& prefix) {
    if (!name.startsWith(prefix)) return 0;
    bool ok = false;
    const int n = name.mid(prefix.size()).toInt(&ok);
    return ok && QString::number(n) == name.mid(prefix.size()) ? n : 0;
}
} // namespace

std::optional<QRect> controlRect(const QString& name) {
    for (const Placed& p : kFixed)
        if (name == QLatin1String(p.name)) return QRect(p.x, p.y, p.w, p.h);
    const QPoint panel(3, 208);
    if (int r = numberAfter(name, QStringLiteral("Edit")); r >= 1 && r <= 20)
        return QRect(panel + QPoint(24, kRowTops[r - 1]), QSize(101, 19));
    if (int r = numberAfter(name, QStringLiteral("Ed")); r >= 1 && r <= 20)
        return QRect(panel + QPoint(127, kRowTops[r - 1]), QSize(101, 19));
    if (int g = numberAfter(name, QStringLiteral("RadioButton")); g >= 1 && g <= 10) {
        const QPoint box(2, 80);
        return QRect(box + QPoint(g <= 5 ? 16 : 122, kGroupTops[(g - 1) % 5]), QSize(97, 17));
    }
    // Row labels: Label1..Label15 for rows 1..15, Label20..Label24 for rows 16..20.
    if (int n = numberAfter(name, QStringLiteral("Label"));
        (n >= 1 && n <= 15) || (n >= 20 && n <= 24)) {
        const int row = n <= 15 ? n : n - 4;
        return QRect(panel + QPoint(5, kRowTops[row - 1]), QSize(19, 19));
    }
    return std::nullopt;
}

std::optional<QPoint> controlClickPoint(const QString& name) {
    const auto r = controlRect(name);
    if (!r) return std::nullopt;
    const bool radio = name.startsWith(QStringLiteral("RadioButton")) ||
                       name == QLatin1String("Move") || name == QLatin1String("Copy") ||
                       name == QLatin1String("Set");
    if (radio) return QPoint(r->left() + 7, r->center().y());
    return r->center();
}

int MainWindow::border() const {
    return (info.geometry.width() - clientWidth) / 2;
}

QPoint MainWindow::clientOrigin() const {
    const QRect g = info.geometry;
    return QPoint(g.x() + border(), g.y() + g.height() - border() - clientHeight);
}

QRect MainWindow::captionStrip() const {
    const QRect g = info.geometry;
    return QRect(g.x() + border(), g.y() + border(), clientWidth,
                 g.height() - 2 * border() - clientHeight);
}

QPoint MainWindow::point(const QString& objectName) const {
    const auto p = controlClickPoint(objectName);
    return p ? toScreen(*p) : QPoint(-1000000, -1000000);
}

// ---------------------------------------------------------------- Program

static int runCounter = 0;

Program::Program(const Desktop& desk, const Sandbox& box) : desk_(desk), box_(box) {}

Program::~Program() {
    kill();
}

bool Program::start(QString* error, const QStringList& args) {
    QProcessEnvironment env = box_.environment(desk_);
    env.insert(extra_);
    proc_.setProcessEnvironment(env);
    proc_.setWorkingDirectory(box_.home());
    // Output goes to a file: an undrained pipe would block the program once full.
    logFile_ = box_.root() + QStringLiteral("/program-%1.log").arg(++runCounter);
    proc_.setStandardOutputFile(logFile_);
    proc_.setProcessChannelMode(QProcess::MergedChannels);
    // The program keeps its single-instance lock in /run/user/<uid> whatever its
    // environment, so runs of other sandboxes (and other test runs on the machine)
    // would see each other. Where the test may make mounts, the program gets a
    // private view of /run/user: the sandbox's own, shared by its runs only.
    const QByteArray runUser = QFile::encodeName(box_.root() + QStringLiteral("/runuser"));
    const pid_t parent = getpid();
    // Runs in the child between fork and exec: only async-signal-safe calls.
    proc_.setChildProcessModifier([parent, runUser] {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127); // the test died before we got here
        if (unshare(CLONE_NEWNS) != 0) return;
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
        mkdir("/run/user", 0755);
        mount(runUser.constData(), "/run/user", nullptr, MS_BIND, nullptr);
    });
    proc_.start(executable_.isEmpty() ? box_.programPath() : executable_, args);
    if (!proc_.waitForStarted(10000)) {
        if (error) *error = QStringLiteral("cannot start the program: ") + proc_.errorString();
        return false;
    }
    return true;
}

qint64 Program::pid() const {
    return proc_.processId();
}

bool Program::isRunning() const {
    return proc_.state() == QProcess::Running;
}

std::optional<unsigned long> Program::waitForWindow(const QString& title, int timeoutMs,
                                                    QString* error) {
    std::optional<unsigned long> found;
    const qint64 id = pid();
    waitUntil(
        [&] {
            if (!isRunning()) return true;
            const auto wins = desk_.windowsOf(id);
            for (auto it = wins.begin(); it != wins.end(); ++it)
                if (it.value() == title) found = it.key();
            return found.has_value();
        },
        timeoutMs, 50);
    if (!found && error) {
        *error = isRunning()
                     ? QStringLiteral("no window \"%1\" after %2 ms").arg(title).arg(timeoutMs)
                     : QStringLiteral("the program ended (exit code %1) before showing \"%2\"")
                           .arg(proc_.exitCode())
                           .arg(title);
        *error += QStringLiteral("; output: ") + QString::fromUtf8(output());
    }
    return found;
}

std::optional<MainWindow> Program::waitForMainWindow(QString* error, int timeoutMs) {
    const auto id = waitForWindow(QStringLiteral("QuillbeckV9.6"), timeoutMs, error);
    if (!id) return std::nullopt;
    std::optional<WindowInfo> info;
    // The window manager may still place it: wait until the geometry settles.
    QRect last;
    int stable = 0;
    waitUntil(
        [&] {
            info = desk_.windowInfo(*id);
            if (!info) return true;
            stable = info->geometry == last ? stable + 1 : 0;
            last = info->geometry;
            return info->viewable && stable >= 2;
        },
        5000, 40);
    if (!info) {
        if (error) *error = QStringLiteral("window vanished: ") + desk_.lastError();
        return std::nullopt;
    }
    return MainWindow{*info};
}

bool Program::waitForExit(int timeoutMs) {
    if (proc_.state() == QProcess::NotRunning) return true;
    return proc_.waitForFinished(timeoutMs);
}

bool Program::exitedNormally() const {
    return proc_.state() == QProcess::NotRunning && proc_.exitStatus() == QProcess::NormalExit;
}

int Program::exitCode() const {
    return proc_.exitCode();
}

void Program::kill() {
    if (proc_.state() == QProcess::NotRunning) return;
    proc_.kill();
    proc_.waitForFinished(5000);
}

QByteArray Program::output() const {
    return bytesOf(logFile_);
}

static QString iniTool() {
    return QStringLiteral(QB_INI_TOOL);
}

QString readSetting(const QString& file, const QString& section, const QString& key,
                    const QString& defaultValue) {
    const RunResult r = run(iniTool(), {QStringLiteral("read"), file, section, key, defaultValue});
    if (!r.ok()) return QStringLiteral("<quillbeck-ini failed: %1>").arg(r.describe());
    QByteArray v = r.out;
    if (v.endsWith('\n')) v.chop(1);
    return QString::fromUtf8(v);
}

bool writeSetting(const QString& file, const QString& section, const QString& key,
                  const QString& value, QString* error) {
    const RunResult r = run(iniTool(), {QStringLiteral("write"), file, section, key, value});
    if (!r.ok() && error) *error = QStringLiteral("quillbeck-ini write: ") + r.describe();
    return r.ok();
}

QStringList settingsLines(const QString& file) {
    QStringDecoder dec("GB18030");
    QString text = dec.decode(bytesOf(file));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (QString& l : lines)
        if (l.endsWith(QLatin1Char('\r'))) l.chop(1);
    return lines;
}

} // namespace qb::harness
