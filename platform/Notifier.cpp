#include "platform/Notifier.h"

#include "platform/Handler.h"
#include "platform/Log.h"
#include "platform/Product.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QMap>
#include <QVariantMap>

namespace qb {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
// Notifications whose buttons are remembered; older ones lose theirs (a service
// that never says a notification closed must not make the list grow forever).
constexpr qsizetype kRemembered = 16;

// A running service, or one the bus starts on the first call (some desktops start
// their notification daemon only when it is needed).
bool serviceAvailable(const QDBusConnection& bus) {
    QDBusConnectionInterface* daemon = bus.interface();
    if (!daemon) return false;
    if (daemon->isServiceRegistered(kService).value()) return true;
    const QDBusReply<QStringList> activatable = daemon->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(kService);
}

// Whether the running service reads markup in bodies ("body-markup"), asked once
// per service: another daemon may take the name over.
struct Markup {
    QString owner; // the unique bus name of the service that answered
    bool body = false;
};
Markup& knownMarkup() {
    static Markup markup;
    return markup;
}

// Text for a body the service reads as markup: a file named "a<b> & c" stays that.
QString bodyText(const QString& body, bool markup) {
    return markup ? body.toHtmlEscaped() : body;
}

} // namespace

// The buttons of the notifications still open, by the number the service gave them.
class NoticeActions final : public QObject {
    Q_OBJECT

public:
    static NoticeActions& instance() {
        static NoticeActions* self = new NoticeActions;
        return *self;
    }

    void listen(QDBusConnection& bus) {
        if (listening_) return;
        listening_ = bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                                 SLOT(invoked(uint, QString))) &&
                     bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"),
                                 this, SLOT(closed(uint, uint)));
    }

    void remember(uint id, QList<NoticeAction> actions) {
        order_.removeAll(id);
        order_ << id;
        open_.insert(id, std::move(actions));
        while (order_.size() > kRemembered)
            open_.remove(order_.takeFirst());
    }

private slots:
    void invoked(uint id, const QString& key) {
        const auto found = open_.constFind(id);
        if (found == open_.constEnd()) return;
        for (const NoticeAction& action : *found) {
            if (action.key != key || !action.run) continue;
            qCInfo(lcPlatform) << "notification" << id << "action" << key;
            const std::function<void()> run = action.run;
            runHandler(nullptr, run);
            return;
        }
    }
    void closed(uint id, uint) {
        order_.removeAll(id);
        open_.remove(id);
    }

private:
    bool listening_ = false;
    QMap<uint, QList<NoticeAction>> open_;
    QList<uint> order_;
};

namespace {

bool deliver(QDBusConnection bus, const Notice& notice, QList<NoticeAction> actions, bool markup) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("desktop-entry"), applicationId()},
        {QStringLiteral("urgency"), QVariant::fromValue<uchar>(1)},
    };
    QStringList keysAndLabels;
    for (const NoticeAction& action : actions)
        keysAndLabels << action.key << action.label;
    call << QStringLiteral("Quillbeck") << 0u << applicationId() << notice.summary
         << bodyText(notice.body, markup) << keysAndLabels << hints << -1;
    if (actions.isEmpty()) {
        // The reply (the notification's number) is of no use; the window never waits.
        return bus.send(call);
    }
    // The number is needed to know which notification a button belongs to; it
    // arrives later, the window still never waits.
    NoticeActions& registry = NoticeActions::instance();
    registry.listen(bus);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), &registry);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &registry,
                     [watcher, actions = std::move(actions)] {
                         watcher->deleteLater();
                         const QDBusPendingReply<uint> reply = *watcher;
                         if (reply.isValid())
                             NoticeActions::instance().remember(reply.value(), actions);
                         else
                             qCInfo(lcPlatform)
                                 << "notification refused:" << reply.error().message();
                     });
    return true;
}

} // namespace

bool sendNotice(const Notice& notice, QList<NoticeAction> actions) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !serviceAvailable(bus)) {
        qCInfo(lcPlatform) << "no notification: no session bus or no notification service";
        return false;
    }
    // Empty while the bus has yet to start the service.
    const QString owner = bus.interface()->serviceOwner(kService).value();
    if (!owner.isEmpty() && owner == knownMarkup().owner)
        return deliver(bus, notice, std::move(actions), knownMarkup().body);
    // The notice goes out once the service has said what it reads; the window
    // never waits for that either.
    const QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kService,
                                                            QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(ask), &NoticeActions::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &NoticeActions::instance(),
                     [watcher, bus, notice, actions = std::move(actions)]() mutable {
                         watcher->deleteLater();
                         const QDBusPendingReply<QStringList> reply = *watcher;
                         // A service that does not answer may still read markup:
                         // escaped text is at worst shown with its escapes.
                         bool markup = true;
                         if (reply.isValid()) {
                             markup = reply.value().contains(QStringLiteral("body-markup"));
                             knownMarkup() = {reply.reply().service(), markup};
                         }
                         deliver(bus, notice, std::move(actions), markup);
                     });
    return true;
}

} // namespace qb

#include "Notifier.moc"
