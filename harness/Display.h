#pragma once
// A private X display for the tests and the benchmarks: Xvfb on a display number
// it picks itself, with openbox as window manager. Both die with the process that
// started them, also when it crashes or is killed.
#include "harness/Process.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace qb::harness {

class Display {
public:
    Display() = default;
    ~Display();
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    bool start(QString* error = nullptr, QSize size = QSize(1280, 800));
    void stop(); // also run by the destructor; idempotent
    bool isRunning() const;

    QString display() const { return display_; } // ":N"
    qint64 serverPid() const { return xvfb_ ? xvfb_->processId() : 0; }
    qint64 windowManagerPid() const { return wm_ ? wm_->processId() : 0; }
    QSize screenSize() const { return size_; }
    // The environment for X tools and programs on this display: the caller's
    // environment without any other display, session bus or Qt platform choice.
    QProcessEnvironment environment() const;
    // Runs an X tool (xdotool, xprop, xwininfo, import ...) on this display.
    RunResult tool(const QString& program, const QStringList& args, int timeoutMs = 10000) const;

private:
    bool fail(QString* error, const QString& why);
    QString log(const QString& name) const;
    QTemporaryDir dir_;
    std::unique_ptr<QProcess> xvfb_;
    std::unique_ptr<QProcess> wm_;
    QString display_;
    QSize size_;
};

} // namespace qb::harness
