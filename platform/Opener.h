#pragma once
#include <QString>
#include <QUrl>

#include <functional>

namespace qb {

// Hands folders and web addresses to the desktop's default handlers. Nothing here
// waits for the handler: the window stays responsive whatever the file manager does.
class Opener {
public:
    // Called at most once, on the UI thread, when a request that was handed over
    // turned out to fail after all (the launcher could not start or exited with an error).
    using FailureCallback = std::function<void()>;

    virtual ~Opener() = default;
    // Shows the folder `path` in the file manager. Returns false when the request
    // could not be handed over at all (no launcher); `onFailure` is then not called.
    virtual bool openFolder(const QString& path, FailureCallback onFailure) = 0;
    // Shows the file manager's top level (the computer view or the root folder).
    virtual bool openTopLevel() = 0;
    // Opens a web address in the browser.
    virtual bool openWeb(const QUrl& url) = 0;
};

// The installed opener (the xdg-open one unless a test installed another).
Opener& opener();
// Installs `o` (not owned); nullptr restores the real one.
void setOpener(Opener* o);

// The real opener's launcher program; empty when none is installed.
QString launcherProgram();

} // namespace qb
