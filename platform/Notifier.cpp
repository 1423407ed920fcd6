#include "platform/Notifier.h"

#include "platform/Log.h"

#include "platform/Product.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QVariantMap>

namespace qb {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

// A running service, or one the bus starts on the first call (some desktops start
// their notification daemon only when it is needed).
bool serviceAvailable(const QDBusConnection& bus) {
    QDBusConnectionInterface* daemon = bus.interface();
    if (!daemon) return false;
    if (daemon->isServiceRegistered(kService).value()) return true;
    const QDBusReply<QStringList> activatable = daemon->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(kService);
}

} // namespace

bool sendNotice(const Notice& notice) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !serviceAvailable(bus)) {
        qCInfo(lcPlatform) << "no notification: no session bus or no notification service";
        return false;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("desktop-entry"), applicationId()},
        {QStringLiteral("urgency"), QVariant::fromValue<uchar>(1)},
    };
    call << QStringLiteral("Quillbeck") << 0u << applicationId() << notice.summary << notice.body
         << QStringList() << hints << -1;
    // The reply (the notification's number) is of no use; the window never waits.
    return bus.send(call);
}

} // namespace qb
