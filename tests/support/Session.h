#pragma once
// A headless Wayland session for end-to-end tests: sway on the headless wlroots
// backend with the pixman renderer and Xwayland, a virtual pointer (a headless
// seat has none until a client adds one), and the means to run programs inside
// the session as the session's user.
//
// sway refuses to run as root: a test run as root creates an ordinary user for
// the session and removes it again; a test run by an ordinary user runs the
// session as itself. Everything started here dies with the test process.
#include "tests/support/E2e.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <optional>
#include <sys/types.h>

namespace qb::wl {

// The owner of the session: a throw-away ordinary user when run as root.
class SessionUser {
public:
    SessionUser() = default;
    ~SessionUser(); // removes a created user
    SessionUser(const SessionUser&) = delete;
    SessionUser& operator=(const SessionUser&) = delete;

    bool create(QString* error);
    uid_t uid() const { return uid_; }
    gid_t gid() const { return gid_; }
    QString name() const { return name_; }
    // Hands `path` and everything below it to the user (nothing to do when the
    // user is the caller itself).
    bool adopt(const QString& path) const;
    // Starts `p` as this user; the child dies with the test process.
    void start(QProcess& p, const QString& program, const QStringList& args) const;

private:
    QString name_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    bool created_ = false;
};

// The missing piece for running a session here, or empty when all is present.
QString missingPrerequisite();

class Session {
public:
    Session() = default;
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool start(QString* error, QSize size = QSize(1280, 800));
    void stop(); // idempotent; also run by the destructor

    const SessionUser& user() const { return user_; }
    QSize size() const { return size_; }
    QString xDisplay() const { return xDisplay_; }
    // A folder the session's user owns, for sandboxes and files to drag.
    QString scratch() const;
    // The environment of a client of this session: Wayland and X display, the
    // user's runtime folder; nothing of the caller's desktop.
    QProcessEnvironment environment() const;

    // Runs a tool as the session's user to completion.
    e2e::RunResult tool(const QString& program, const QStringList& args,
                        int timeoutMs = 10000) const;
    // Starts a client of the session.
    void startClient(QProcess& p, const QString& program, const QStringList& args,
                     const QProcessEnvironment& env) const;

    // The virtual pointer: absolute motion in layout pixels, left button.
    bool pointerMove(QPoint p);
    bool pointerDown();
    bool pointerUp();
    // Moves in `steps` even steps from the current position to `to`, about
    // `delayMs` apart, as a hand does.
    bool pointerGlide(QPoint to, int steps = 12, int delayMs = 40);
    QPoint pointer() const { return pointer_; }

    // An X window of the Xwayland server by its title, or nullopt.
    std::optional<QRect> xWindow(const QString& title) const;
    // The rectangle sway gives a window of the given title (Wayland or X).
    std::optional<QRect> swayWindow(const QString& title) const;
    QString log() const; // the compositor's log, for failure messages

private:
    bool fail(QString* error, const QString& why);
    bool writeConfig(const QString& path, const QString& displays) const;
    bool startPointer(QString* error);
    bool command(const QByteArray& line);

    SessionUser user_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QProcess> sway_;
    std::unique_ptr<QProcess> pointerTool_;
    QSize size_;
    QString xDisplay_;
    QString waylandDisplay_;
    QString swaySocket_;
    QPoint pointer_;
};

} // namespace qb::wl
