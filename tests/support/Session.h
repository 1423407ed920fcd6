#pragma once
// A headless Wayland session for end-to-end tests, with Xwayland: sway on the
// headless wlroots backend with the pixman renderer, KWin on its virtual
// backend, or mutter headless on a virtual monitor. A pointer driven from the
// test (sway: a virtual pointer, a headless seat has none until a client adds
// one; KWin: its fake input; mutter: a remote desktop session), and the means to
// run programs inside the session as the session's user.
//
// The compositors refuse to run as root or are not meant to: a test run as root
// creates an ordinary user for the session and removes it again; a test run by
// an ordinary user runs the session as itself. KWin and mutter get a private
// session bus of their own. Everything started here dies with the test process.
#include "tests/support/E2e.h"
#include "tests/support/SessionBus.h"

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

enum class Compositor { Sway, KWin, Mutter };

// One monitor of a sway session: its mode in device pixels, its place in the
// layout (logical pixels) and its scale.
struct Output {
    QSize mode;
    QPoint position;
    int scale = 1;
    QRect layout() const { return QRect(position, mode / scale); }
};
// $QB_WL_COMPOSITOR: "kwin", "mutter", else sway.
Compositor compositorFromEnvironment();
QString nameOf(Compositor c);

// The missing piece for running a session here, or empty when all is present.
QString missingPrerequisite(Compositor c = Compositor::Sway);

class Session {
public:
    explicit Session(Compositor c = Compositor::Sway) : compositor_(c) {}
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool start(QString* error, QSize size = QSize(1280, 800));
    // Sway only: several monitors; size() is then the layout's bounding box.
    bool start(QString* error, const QList<Output>& outputs);
    void stop(); // idempotent; also run by the destructor

    Compositor compositor() const { return compositor_; }
    const SessionUser& user() const { return user_; }
    QSize size() const { return size_; }
    const QList<Output>& outputs() const { return outputs_; }
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
    bool pointerBy(QPoint delta); // relative motion
    bool pointerDown();
    bool pointerUp();
    // Moves in `steps` even steps from the current position to `to`, about
    // `delayMs` apart, as a hand does; in relative motion as a mouse does.
    bool pointerGlide(QPoint to, int steps = 12, int delayMs = 40, bool relative = false);
    // Glides to `at` and clicks there, the last motion staying inside the target
    // as a hand's does: Xwayland presses where its relative-motion device stands,
    // which is one motion too far when that motion was the one that entered the
    // window.
    bool pointerClick(QPoint at);
    QPoint pointer() const { return pointer_; }

    // An X window of the Xwayland server by its title, or nullopt.
    std::optional<QRect> xWindow(const QString& title) const;
    // The rectangle sway gives a window of the given title (Wayland or X).
    std::optional<QRect> swayWindow(const QString& title) const;
    QString log() const; // the compositor's log, for failure messages

private:
    bool fail(QString* error, const QString& why);
    bool writeConfig(const QString& path, const QString& displays) const;
    bool startCompositor(QString* error, const QString& displays);
    bool startPointer(QString* error);
    bool command(const QByteArray& line, int timeoutMs = 5000);

    Compositor compositor_;
    SessionUser user_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<e2e::SessionBus> bus_;
    std::unique_ptr<QProcess> pipewire_;
    std::unique_ptr<QProcess> sway_; // the compositor
    std::unique_ptr<QProcess> pointerTool_;
    QSize size_;
    QList<Output> outputs_;
    QString xDisplay_;
    QString waylandDisplay_;
    QString swaySocket_;
    QString xAuthority_;
    QPoint pointer_;
    QByteArray lastReply_; // the pointer tool's last answer
};

} // namespace qb::wl
