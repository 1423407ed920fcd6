#pragma once
// End-to-end harness: the real quillbeck binary on a private Xvfb display with
// openbox as window manager, in a private program folder and home.
//
// Typical use in a Qt Test (QTEST_GUILESS_MAIN):
//
//   qb::e2e::Desktop desk;            // one per test program, started in initTestCase
//   QVERIFY2(desk.start(&err), qPrintable(err));
//   qb::e2e::Sandbox box;             // one per test function
//   qb::e2e::Program app(desk, box);
//   auto win = app.startToMainWindow(&err);
//   QVERIFY2(win, qPrintable(err));
//   desk.click(win->point("RadioButton3"));
//
// Everything started here dies with the test process, also when it crashes or is
// killed by a CTest timeout (the children get a parent-death signal).
#include "harness/Display.h"
#include "tests/support/Files.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

namespace qb::e2e {

using namespace qb::test;

using harness::run;
using harness::RunResult;
using harness::sleepMs;
using harness::startGuarded;
using harness::waitUntil;

// An X window's place on the screen, as xwininfo reports it.
struct WindowInfo {
    unsigned long id = 0;
    QRect geometry; // absolute position and inner size
    bool viewable = false;
};

// A private X display: Xvfb (1280x800x24, a free display number) and openbox,
// with the X tools' view of its windows and input.
class Desktop : public harness::Display {
public:
    // Visible windows of a process (by _NET_WM_PID), with their titles.
    QMap<unsigned long, QString> windowsOf(qint64 pid) const;
    std::optional<WindowInfo> windowInfo(unsigned long id) const;
    // Atoms of _NET_WM_STATE, e.g. "_NET_WM_STATE_ABOVE".
    QStringList netWmState(unsigned long id) const;
    // One property as xprop prints it after " = " (empty when unset).
    QString property(unsigned long id, const QString& name) const;

    // Managed windows from bottom to top (_NET_CLIENT_LIST_STACKING), and the
    // window that has the focus (_NET_ACTIVE_WINDOW, 0 for none).
    QList<unsigned long> stacking() const;
    unsigned long activeWindow() const;

    bool mouseMove(QPoint p) const;
    // Whether the pointer moved to `p` is over window `id` (or its frame's part
    // that holds it), nothing stacked above it there.
    bool pointerReaches(unsigned long id, QPoint p) const;
    // Drags with the left button from `from` to `to`, as a hand does.
    bool mouseDrag(QPoint from, QPoint to) const;
    bool click(QPoint p, int button = 1) const;
    bool doubleClick(QPoint p, int button = 1) const;
    // Gives `id` the keyboard focus, then types the key (xdotool key names: "Return").
    bool key(unsigned long id, const QString& keyName) const;
    // PNG of one window (or of the whole screen when id is 0).
    bool screenshot(const QString& pngPath, unsigned long id = 0) const;

    QString lastError() const { return lastError_; }

private:
    mutable QString lastError_;
};

// The quillbeck binary of this build, or $QB_E2E_BINARY when set.
QString defaultBinary();

// A private world for one program run: a program folder holding a copy of the
// binary (the program keeps its settings next to itself), a home, a runtime
// folder, XDG config/data folders, and the program's view of /run/user (the
// single-instance lock lives there), so that only runs of one sandbox meet.
// An installed binary (one unpacked from the package) is run where it lies.
class Sandbox {
public:
    enum class Binary { Copied, InPlace };
    explicit Sandbox(const QString& binary = defaultBinary(), Binary how = Binary::Copied);
    bool isValid() const { return valid_; }
    QString error() const { return error_; }

    // Sets a variable in the program's environment (a session bus, test tunings).
    void setVariable(const QString& name, const QString& value) { extra_.insert(name, value); }

    QString root() const { return dir_.path(); }
    QString programFolder() const; // ends in "/"
    QString programPath() const;   // the copied binary, or the one run in place
    QString path(const QString& relative) const { return programFolder() + relative; }
    QString home() const;
    QString runtimeDir() const;
    QString configHome() const;
    QString dataHome() const;
    QProcessEnvironment environment(const Desktop& desk) const;

private:
    QTemporaryDir dir_;
    bool valid_ = false;
    QString error_;
    QString inPlace_;
    QProcessEnvironment extra_;
};

// Places of the main window's controls in client coordinates (the 244 x 694
// area below the window's own caption strip), after the window's fixed layout.
// Children of group frames and of Panel1 are given in window client coordinates.
std::optional<QRect> controlRect(const QString& objectName);
// Where a click hits the control: the centre, or for radio buttons a point on
// the indicator (a click right of a short caption misses the button).
std::optional<QPoint> controlClickPoint(const QString& objectName);

inline constexpr int clientWidth = 244;
inline constexpr int clientHeight = 694;

// The main window as found on the screen.
struct MainWindow {
    WindowInfo info;
    // The window draws an even border around caption strip and client area:
    // its width is what the window is wider than the client area, per side.
    int border() const;
    // Screen position of the client area's top-left corner: the caption strip
    // takes the height between the top border and the 244 x 694 client area.
    QPoint clientOrigin() const;
    QRect captionStrip() const;                    // screen rectangle of the strip
    QPoint point(const QString& objectName) const; // screen point to click a control
    QPoint toScreen(QPoint client) const { return clientOrigin() + client; }
};

// One run of the program under test.
class Program {
public:
    Program(const Desktop& desk, const Sandbox& box);
    ~Program(); // kills the process if it still runs
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool start(QString* error = nullptr, const QStringList& args = {});
    // Runs `path` instead, in the same world (environment, private /run/user):
    // another application whose menu entries call the program.
    void setExecutable(const QString& path) { executable_ = path; }
    // A variable of this run only, over the sandbox's.
    void setVariable(const QString& name, const QString& value) { extra_.insert(name, value); }
    qint64 pid() const;
    bool isRunning() const;

    // Waits for a visible window of this process titled exactly `title`.
    std::optional<unsigned long> waitForWindow(const QString& title, int timeoutMs = 15000,
                                               QString* error = nullptr);
    // Waits for the main window "QuillbeckV9.6" and reads its geometry.
    std::optional<MainWindow> waitForMainWindow(QString* error = nullptr, int timeoutMs = 15000);
    // Starts the program and waits for its main window: what most tests begin with.
    std::optional<MainWindow> startToMainWindow(QString* error = nullptr) {
        if (!start(error)) return std::nullopt;
        return waitForMainWindow(error);
    }
    // Waits for the process to end; false at the time limit.
    bool waitForExit(int timeoutMs = 10000);
    bool exitedNormally() const; // ended by itself, not by a signal
    int exitCode() const;
    void kill();
    QByteArray output() const; // stdout and stderr so far, for failure messages

private:
    const Desktop& desk_;
    const Sandbox& box_;
    QProcess proc_;
    QString logFile_;
    QString executable_;
    QProcessEnvironment extra_;
};

// Settings files, read through the quillbeck-ini tool (the program's own INI layer).
QString readSetting(const QString& file, const QString& section, const QString& key,
                    const QString& defaultValue = QString());
bool writeSetting(const QString& file, const QString& section, const QString& key,
                  const QString& value, QString* error = nullptr);
// The lines of a GB18030 settings file, decoded, without line terminators.
QStringList settingsLines(const QString& file);

// The buttons of the program's window `name` as its drop log gives them
// ("button of NAME TEXT at X Y W H"), keyed by text, in window coordinates.
QMap<QString, QRect> loggedButtons(const QString& log, const QString& name);

// A file manager registered for folders in the sandbox's own XDG profile; it
// writes each argument it gets as one line of the returned log file.
QString installFakeFileManager(const Sandbox& box);

// Every file and folder below `dir` with its bytes and modification time in
// nanoseconds, keyed by relative path: two snapshots compare equal only when
// nothing was created, removed, written or touched.
struct FileState {
    bool isDir = false;
    QByteArray bytes;
    qint64 mtimeNs = 0;
    bool operator==(const FileState&) const = default;
};
QMap<QString, FileState> snapshot(const QString& dir);
// Differences between two snapshots, one line each (empty when equal).
QStringList diff(const QMap<QString, FileState>& before, const QMap<QString, FileState>& after);

} // namespace qb::e2e
