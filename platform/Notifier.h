#pragma once
#include <QString>

namespace qb {

// One desktop notification.
struct Notice {
    QString summary;
    QString body;
};

// Hands `notice` to the desktop's notification service (org.freedesktop.Notifications
// on the session bus) without waiting for it. Returns false, sending nothing,
// when there is no session bus or no notification service runs or can be started.
bool sendNotice(const Notice& notice);

} // namespace qb
