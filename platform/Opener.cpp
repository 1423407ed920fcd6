#include "platform/Opener.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <memory>

namespace qb {

namespace {

// A launcher that fails does so at once (no handler for the type, a handler that
// cannot start). Under a generic desktop xdg-open waits for the file manager itself,
// so an error exit long after the window appeared says nothing about the opening.
constexpr qint64 failureWindowMs = 10000;

// Picks the computer view when a handler for it is registered, else the root folder.
// Runs in a shell so the window never waits for the mime query.
const char* const topLevelScript =
    "if [ -n \"$(xdg-mime query default x-scheme-handler/computer 2>/dev/null)\" ]; then "
    "exec \"$0\" computer:///; else exec \"$0\" /; fi";

class XdgOpener final : public Opener {
public:
    bool openFolder(const QString& path, FailureCallback onFailure) override {
        const QString launcher = launcherProgram();
        if (launcher.isEmpty()) {
            qCInfo(lcPlatform) << "cannot open" << path << ": no xdg-open on the PATH";
            return false;
        }
        // Absolute, so a name starting with "-" can never be taken for an option.
        const QString target = QFileInfo(path).absoluteFilePath();

        // Parented to the application: at exit only the launcher is ended, never a
        // file manager window it started.
        auto* process = new QProcess(QCoreApplication::instance());
        process->setProgram(launcher);
        process->setArguments({target});
        process->setProcessChannelMode(QProcess::ForwardedChannels);
        process->setStandardInputFile(QProcess::nullDevice());

        auto clock = std::make_shared<QElapsedTimer>();
        auto reported = std::make_shared<bool>(false);
        // Always queued: the caller has set its own status before a failure corrects it.
        auto report = [onFailure = std::move(onFailure), reported] {
            if (*reported) return;
            *reported = true;
            if (onFailure) QTimer::singleShot(0, QCoreApplication::instance(), onFailure);
        };
        QObject::connect(process, &QProcess::errorOccurred, process,
                         [process, report](QProcess::ProcessError error) {
                             if (error != QProcess::FailedToStart) return;
                             qCInfo(lcPlatform) << "opener failed to start:" << process->program()
                                                << process->errorString();
                             report();
                             process->deleteLater();
                         });
        QObject::connect(process, &QProcess::finished, process,
                         [process, report, clock](int exitCode, QProcess::ExitStatus status) {
                             if (clock->elapsed() < failureWindowMs &&
                                 (status != QProcess::NormalExit || exitCode != 0)) {
                                 qCInfo(lcPlatform) << "opener failed:" << process->arguments()
                                                    << "exit code" << exitCode;
                                 report();
                             }
                             process->deleteLater();
                         });
        clock->start();
        process->start();
        return true;
    }

    bool openTopLevel() override {
        const QString launcher = launcherProgram();
        if (launcher.isEmpty()) {
            qCInfo(lcPlatform) << "cannot open the top level: no xdg-open on the PATH";
            return false;
        }
        return QProcess::startDetached(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), QString::fromLatin1(topLevelScript), launcher});
    }

    bool openWeb(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

XdgOpener xdgOpener;
Opener* installed = nullptr;

} // namespace

Opener& opener() {
    return installed ? *installed : xdgOpener;
}

void setOpener(Opener* o) {
    installed = o;
}

QString launcherProgram() {
    return QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
}

} // namespace qb
