#pragma once
// The program under test on the private display: a sandbox of its own (program
// folder, home, XDG folders, /run/user), the run itself, where its main window's
// controls are, and its settings files read and written through quillbeck-ini.
//
// Typical use (one Desktop per process, one Sandbox per run):
//
//   qb::harness::Desktop desk;
//   QVERIFY2(desk.start(&err), qPrintable(err));
//   qb::harness::Sandbox box;
//   qb::harness::Program app(desk, box);
//   auto win = app.startToMainWindow(&err);
//   QVERIFY2(win, qPrintable(err));
//   desk.click(win->point("RadioButton3"));
//
// Everything started here dies with the process that started it, also when it
// crashes or is killed (the children get a parent-death signal).
#include "harness/Desktop.h"

#include <QByteArray>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

namespace qb::harness {

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

} // namespace qb::harness
