// The global shortcut: the desktop portal's global shortcuts, and the choice of a way
// (the X11 key grab: X11KeyGrab.cpp).
#include "platform/GlobalShortcut.h"

#include "platform/Handler.h"
#include "platform/Log.h"
#include "platform/X11Window.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QRandomGenerator>

#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

namespace qb {

namespace {

struct PortalEntry {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& a, const PortalEntry& e) {
    a.beginStructure();
    a << e.id << e.properties;
    a.endStructure();
    return a;
}

const QDBusArgument& operator>>(const QDBusArgument& a, PortalEntry& e) {
    a.beginStructure();
    a >> e.id >> e.properties;
    a.endStructure();
    return a;
}

} // namespace
} // namespace qb

Q_DECLARE_METATYPE(qb::PortalEntry)

namespace qb {
namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kShortcutId = QStringLiteral("show-board");

// The trigger as the portal's shortcut notation writes it ("CTRL+ALT+q").
QString portalTrigger(const QKeySequence& keys) {
    const QKeyCombination combo = keys[0];
    QStringList parts;
    const Qt::KeyboardModifiers m = combo.keyboardModifiers();
    if (m & Qt::ControlModifier) parts << QStringLiteral("CTRL");
    if (m & Qt::AltModifier) parts << QStringLiteral("ALT");
    if (m & Qt::ShiftModifier) parts << QStringLiteral("SHIFT");
    if (m & Qt::MetaModifier) parts << QStringLiteral("LOGO");
    parts << QKeySequence(combo.key()).toString(QKeySequence::PortableText).toLower();
    return parts.join(u'+');
}

class PortalShortcut final : public GlobalShortcut {
    Q_OBJECT

public:
    explicit PortalShortcut(const QDBusConnection& bus) : bus_(bus) {
        qDBusRegisterMetaType<PortalEntry>();
        qDBusRegisterMetaType<QList<PortalEntry>>();
        bus_.connect(kPortal, kPortalPath, kShortcuts, QStringLiteral("Activated"), this,
                     SLOT(onActivated(QDBusMessage)));
        probe();
    }
    ~PortalShortcut() override { closeSession(); }

    bool bind(const QKeySequence& keys, QString* why) override {
        Q_UNUSED(why);
        closeSession();
        keys_ = keys;
        if (keys.isEmpty()) return true;
        // The session is asked for once the portal said it offers shortcuts.
        if (probing_) {
            pending_ = true;
            return true;
        }
        createSession();
        return true;
    }
    bool pending() const override { return pending_; }

private slots:
    void onActivated(const QDBusMessage& message) {
        const QVariantList args = message.arguments();
        if (args.size() >= 2 && args[0].value<QDBusObjectPath>().path() == session_ &&
            args[1].toString() == kShortcutId)
            runHandler(nullptr, [this] { emit activated(); });
    }
    void onResponse(uint response, const QVariantMap& results) {
        auto done = std::exchange(awaiting_, {});
        if (done) runHandler(nullptr, [&] { done(response, results); });
    }

private:
    // Whether the portal offers global shortcuts, asked without waiting: a
    // portal that is slow to answer (started on demand at login) must not hold
    // up the board's first showing.
    void probe() {
        QDBusMessage get = QDBusMessage::createMethodCall(
            kPortal, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get.setArguments({kShortcuts, QStringLiteral("version")});
        probing_ = true;
        auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
            watcher->deleteLater();
            probing_ = false;
            const bool offered = !watcher->isError();
            runHandler(nullptr, [&] {
                if (!offered) {
                    pending_ = false;
                    qCInfo(lcPlatform) << "no global shortcut: the desktop's portal offers none";
                    emit unavailable();
                } else if (pending_) {
                    createSession();
                }
            });
        });
    }

    void createSession() {
        // A session per binding: the desktop asks the user about each new one.
        QVariantMap options{{QStringLiteral("session_handle_token"), token()}};
        request(QStringLiteral("CreateSession"), {options},
                [this](uint response, const QVariantMap& results) {
                    if (response != 0)
                        return fail(QCoreApplication::translate("qb::GlobalShortcut",
                                                                "桌面拒绝了全局快捷键"));
                    session_ = results.value(QStringLiteral("session_handle")).toString();
                    bindShortcut();
                });
    }

    void bindShortcut() {
        PortalEntry entry{kShortcutId,
                          {{QStringLiteral("description"),
                            QCoreApplication::translate("qb::GlobalShortcut", "显示主窗口")},
                           {QStringLiteral("preferred_trigger"), portalTrigger(keys_)}}};
        request(QStringLiteral("BindShortcuts"),
                {QVariant::fromValue(QDBusObjectPath(session_)),
                 QVariant::fromValue(QList<PortalEntry>{entry}), QString(), QVariantMap()},
                [this](uint response, const QVariantMap&) {
                    pending_ = false;
                    if (response != 0)
                        return fail(QCoreApplication::translate("qb::GlobalShortcut",
                                                                "桌面拒绝了全局快捷键"));
                    qCInfo(lcPlatform) << "global shortcut bound through the portal";
                    emit bound(QString());
                });
    }

    // Calls `method`, whose answer comes as the Response of the request object it
    // names. The Response is listened for before the call: a portal may answer
    // at once, before the call's own reply arrives.
    void request(const QString& method, QVariantList args,
                 std::function<void(uint, const QVariantMap&)> done) {
        pending_ = true;
        const QString handle = token();
        QVariantMap options = args.takeLast().toMap();
        options.insert(QStringLiteral("handle_token"), handle);
        args << options;
        QString sender = bus_.baseService().mid(1);
        sender.replace(u'.', u'_');
        const QString expected =
            QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, handle);
        listen(expected);
        awaiting_ = std::move(done);
        QDBusMessage call =
            QDBusMessage::createMethodCall(kPortal, kPortalPath, kShortcuts, method);
        call.setArguments(args);
        auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, expected] {
            watcher->deleteLater();
            const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
            if (reply.isError()) {
                awaiting_ = {};
                return fail(reply.error().message());
            }
            // Older portals chose the request's path themselves.
            if (reply.value().path() != expected) listen(reply.value().path());
        });
    }

    void listen(const QString& requestPath) {
        bus_.connect(kPortal, requestPath, QStringLiteral("org.freedesktop.portal.Request"),
                     QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
    }

    void fail(const QString& why) {
        pending_ = false;
        qCWarning(lcPlatform) << "global shortcut through the portal failed:" << why;
        emit bound(why.isEmpty()
                       ? QCoreApplication::translate("qb::GlobalShortcut", "桌面拒绝了全局快捷键")
                       : why);
    }

    void closeSession() {
        awaiting_ = {};
        pending_ = false;
        if (session_.isEmpty()) return;
        bus_.call(QDBusMessage::createMethodCall(kPortal, session_,
                                                 QStringLiteral("org.freedesktop.portal.Session"),
                                                 QStringLiteral("Close")),
                  QDBus::NoBlock);
        session_.clear();
    }

    static QString token() {
        return QStringLiteral("quillbeck%1").arg(QRandomGenerator::global()->generate());
    }

    QDBusConnection bus_;
    QKeySequence keys_;
    QString session_;
    std::function<void(uint, const QVariantMap&)> awaiting_;
    bool pending_ = false;
    bool probing_ = false;
};

} // namespace

std::unique_ptr<GlobalShortcut> makePortalShortcut(const QDBusConnection& bus) {
    return std::make_unique<PortalShortcut>(bus);
}

std::unique_ptr<GlobalShortcut> makeGlobalShortcut() {
    // Xwayland sees keys only while one of its own windows has the keyboard: a
    // grab there would work now and then, which is worse than not at all.
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || onXwayland() ||
                         QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    if (!wayland) return makeX11KeyGrab();
    // Whether the portal offers global shortcuts is learnt later, through
    // `unavailable`.
    return makePortalShortcut(QDBusConnection::sessionBus());
}

} // namespace qb

#include "GlobalShortcut.moc"
