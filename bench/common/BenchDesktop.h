#pragma once
// A private X desktop for the benchmarks (the harness's Xvfb and openbox), and a
// private program folder holding a copy of the program under measure (the program
// keeps its settings next to itself). Every process started here ends with the
// benchmark, also when it dies.
#include "harness/Display.h"

#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace qb::bench {

// Thrown on a set-up failure; the benchmark's main prints it and exits.
struct Failure {
    QString why;
};
[[noreturn]] void fail(const QString& why);

class Desktop {
public:
    explicit Desktop(QSize size = QSize(1280, 800));

    QString display() const { return display_.display(); }
    // The caller's environment on this display, without any other session's.
    QProcessEnvironment environment() const { return display_.environment(); }
    // Runs an X tool to completion and returns its standard output (fails after 10 s).
    QString tool(const QString& program, const QStringList& args) const;
    void mouseMove(int x, int y) const;

private:
    harness::Display display_;
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
