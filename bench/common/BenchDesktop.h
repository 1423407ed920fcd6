#pragma once
// A private X desktop for the benchmarks: Xvfb on a display it picks itself, with
// openbox as window manager, and a private program folder holding a copy of the
// program under measure (the program keeps its settings next to itself). Every
// process started here ends with the benchmark, also when it dies.
#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace qb::bench {

// Thrown on a set-up failure; the benchmark's main prints it and exits.
struct Failure {
    QString why;
};
[[noreturn]] void fail(const QString& why);

// Runs a tool to completion and returns its standard output (fails after 10 s).
QString runTool(const QString& program, const QStringList& args, const QProcessEnvironment& env);

class Desktop {
public:
    explicit Desktop(QSize size = QSize(1280, 800));
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    QString display() const { return display_; }
    // The caller's environment on this display, without any other session's.
    QProcessEnvironment environment() const;
    QString tool(const QString& program, const QStringList& args) const {
        return runTool(program, args, environment());
    }
    void mouseMove(int x, int y) const;

private:
    QTemporaryDir dir_;
    std::unique_ptr<QProcess> xvfb_, wm_;
    QString display_;
};

// A program folder with a copy of `binary`, and a home, runtime and config folder.
class Sandbox {
public:
    explicit Sandbox(const QString& binary);
    QString programPath() const;
    QString programFolder() const; // ends in "/"
    QProcessEnvironment environment(const Desktop& desk) const;

private:
    QTemporaryDir dir_;
};

} // namespace qb::bench
