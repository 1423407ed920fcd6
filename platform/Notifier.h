#pragma once
#include <QList>
#include <QString>

#include <functional>

namespace qb {

// One desktop notification.
struct Notice {
    QString summary;
    QString body;
};

// A button of a notification: `label` is shown, `run` is called on the UI thread
// when the user chooses it (as long as the notification is open).
struct NoticeAction {
    QString key;
    QString label;
    std::function<void()> run;
};

// Hands `notice` to the desktop's notification service (org.freedesktop.Notifications
// on the session bus) without waiting for it. Returns false, sending nothing,
// when there is no session bus or no notification service runs or can be started.
// A service that shows no buttons shows the notice without them. The body is plain
// text: it is escaped for a service that reads markup in bodies.
bool sendNotice(const Notice& notice, QList<NoticeAction> actions = {});

} // namespace qb
