#include "BenchDesktop.h"

#include <QDir>
#include <QFile>

namespace qb::bench {

void fail(const QString& why) {
    throw Failure{why};
}

Desktop::Desktop(QSize size) {
    QString error;
    if (!display_.start(&error, size)) fail(error);
}

QString Desktop::tool(const QString& program, const QStringList& args) const {
    const harness::RunResult r = display_.tool(program, args);
    if (!r.finished) fail(program + QStringLiteral(" did not finish: ") + r.describe());
    return QString::fromLocal8Bit(r.out);
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
