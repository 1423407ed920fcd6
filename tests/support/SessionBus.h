#pragma once
// A private session bus with stand-ins for the desktop's tray host
// (org.kde.StatusNotifierWatcher) and notification service
// (org.freedesktop.Notifications), from tests/support/session_doubles.py.
//
//   qb::e2e::SessionBus bus;
//   QVERIFY2(bus.start(&err), qPrintable(err));
//   box.setVariable("DBUS_SESSION_BUS_ADDRESS", bus.address());
//   qb::e2e::DesktopDoubles doubles(bus, box.root() + "/doubles.log");
//   QVERIFY2(doubles.start(&err), qPrintable(err));
#include "tests/support/E2e.h"

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <optional>

namespace qb::e2e {

// A session bus of the test's own, ended with the test. Its configuration is
// its own too: the machine's session configuration would let the bus start any
// service installed in /usr/share/dbus-1/services (a notification daemon, file
// managers), so what a test sees would depend on what the machine has. This one
// starts nothing: its only service folder is a private, empty one.
class SessionBus {
public:
    SessionBus() = default;
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    // `clientUid`, when given, may connect too (a session run as another user).
    bool start(QString* error = nullptr, std::optional<uint> clientUid = std::nullopt);
    QString address() const { return address_; }
    // The caller's environment with this bus as the session bus.
    QProcessEnvironment environment() const;

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
};

class DesktopDoubles {
public:
    // `services` "kwin": a stand-in for KWin's script loader instead.
    DesktopDoubles(const SessionBus& bus, const QString& logFile,
                   const QString& services = QStringLiteral("serve"));
    ~DesktopDoubles();
    DesktopDoubles(const DesktopDoubles&) = delete;
    DesktopDoubles& operator=(const DesktopDoubles&) = delete;

    // Starts the services and waits until they own their names.
    bool start(QString* error = nullptr);

    // Acting on the program's tray item as a desktop does.
    RunResult activate() const;                  // a left click on the icon
    RunResult menu() const;                      // its menu as JSON, after AboutToShow
    RunResult click(const QString& label) const; // chooses a menu entry
    RunResult icon() const; // {"name": theme icon name, "sizes": [[w, h], ...] of pixmaps}
    // The user chooses the button `key` of the last notification.
    RunResult invoke(const QString& key) const;
    // Waits until the program's tray item is registered (or the limit passes).
    bool waitForItem(int timeoutMs = 15000) const;

    // What the services saw, oldest first: events "register", "unregister", "notify", "invoke".
    QList<QJsonObject> events(const QString& kind) const;

private:
    RunResult client(const QStringList& args) const;
    const SessionBus& bus_;
    QString log_;
    QString services_;
    QProcess serve_;
};

} // namespace qb::e2e
