// The global shortcut: an X11 key grab, or the desktop portal's global shortcuts.
#include "platform/GlobalShortcut.h"

#include "platform/Handler.h"
#include "platform/Log.h"
#include "platform/X11Window.h"

#include <QAbstractNativeEventFilter>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QRandomGenerator>

#include <xcb/xcb.h>

#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

namespace qb {

quint32 keysymOf(int qtKey) {
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return static_cast<quint32>(qtKey - Qt::Key_A + 'a');
    if (qtKey >= Qt::Key_Space && qtKey <= Qt::Key_AsciiTilde) return static_cast<quint32>(qtKey);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F35)
        return 0xffbeu + static_cast<quint32>(qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Escape:
        return 0xff1b;
    case Qt::Key_Tab:
        return 0xff09;
    case Qt::Key_Backspace:
        return 0xff08;
    case Qt::Key_Return:
        return 0xff0d;
    case Qt::Key_Enter:
        return 0xff8d;
    case Qt::Key_Insert:
        return 0xff63;
    case Qt::Key_Delete:
        return 0xffff;
    case Qt::Key_Pause:
        return 0xff13;
    case Qt::Key_Print:
        return 0xff61;
    case Qt::Key_Home:
        return 0xff50;
    case Qt::Key_Left:
        return 0xff51;
    case Qt::Key_Up:
        return 0xff52;
    case Qt::Key_Right:
        return 0xff53;
    case Qt::Key_Down:
        return 0xff54;
    case Qt::Key_PageUp:
        return 0xff55;
    case Qt::Key_PageDown:
        return 0xff56;
    case Qt::Key_End:
        return 0xff57;
    default:
        return 0;
    }
}

namespace {

constexpr quint16 kLockMask = XCB_MOD_MASK_LOCK;

// The text the user sees for a combination.
QString shown(const QKeySequence& keys) {
    return QKeySequence(keys[0]).toString(QKeySequence::NativeText);
}

class X11KeyGrab final : public GlobalShortcut, private QAbstractNativeEventFilter {
public:
    explicit X11KeyGrab(xcb_connection_t* c) : c_(c) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~X11KeyGrab() override {
        if (QCoreApplication* app = QCoreApplication::instance())
            app->removeNativeEventFilter(this);
        release();
    }

    bool bind(const QKeySequence& keys, QString* why) override {
        release();
        if (keys.isEmpty()) return true;
        const QKeyCombination combo = keys[0];
        const quint32 sym = keysymOf(combo.key());
        keycode_ = sym ? keycodeOf(sym) : 0;
        if (!keycode_) {
            if (why) *why = GlobalShortcut::tr("键盘上没有 %1 这个键").arg(shown(keys));
            return false;
        }
        mods_ = 0;
        const Qt::KeyboardModifiers m = combo.keyboardModifiers();
        if (m & Qt::ShiftModifier) mods_ |= XCB_MOD_MASK_SHIFT;
        if (m & Qt::ControlModifier) mods_ |= XCB_MOD_MASK_CONTROL;
        if (m & Qt::AltModifier) mods_ |= XCB_MOD_MASK_1;
        if (m & Qt::MetaModifier) mods_ |= XCB_MOD_MASK_4;
        numLock_ = numLockMask();
        // The grab must hold whatever state Caps Lock and Num Lock are in.
        for (quint16 extra : {quint16(0), kLockMask, numLock_, quint16(kLockMask | numLock_)}) {
            const xcb_void_cookie_t cookie =
                xcb_grab_key_checked(c_, 1, root_, static_cast<quint16>(mods_ | extra), keycode_,
                                     XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
            if (xcb_generic_error_t* error = xcb_request_check(c_, cookie)) {
                std::free(error);
                qCWarning(lcPlatform)
                    << "global shortcut" << keys.toString() << "is held by another program";
                release();
                if (why) *why = GlobalShortcut::tr("快捷键 %1 已被其他程序占用").arg(shown(keys));
                return false;
            }
        }
        grabbed_ = true;
        qCInfo(lcPlatform) << "global shortcut" << keys.toString() << "grabbed";
        return true;
    }

private:
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (!grabbed_ || type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_KEY_PRESS) return false;
        const auto* key = static_cast<const xcb_key_press_event_t*>(message);
        const quint16 relevant =
            XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
        if (key->event != root_ || key->detail != keycode_ || (key->state & relevant) != mods_)
            return false;
        runHandler(nullptr, [this] { emit activated(); });
        return true;
    }

    // Also after a bind that failed half-way: an ungrab touches only this
    // program's own grabs.
    void release() {
        if (keycode_)
            for (quint16 extra : {quint16(0), kLockMask, numLock_, quint16(kLockMask | numLock_)})
                xcb_ungrab_key(c_, keycode_, root_, static_cast<quint16>(mods_ | extra));
        xcb_flush(c_);
        grabbed_ = false;
        keycode_ = 0;
    }

    xcb_keycode_t keycodeOf(quint32 sym) const {
        const xcb_setup_t* setup = xcb_get_setup(c_);
        const int count = setup->max_keycode - setup->min_keycode + 1;
        auto* reply = xcb_get_keyboard_mapping_reply(
            c_, xcb_get_keyboard_mapping(c_, setup->min_keycode, static_cast<quint8>(count)),
            nullptr);
        if (!reply) return 0;
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
        const int per = reply->keysyms_per_keycode;
        xcb_keycode_t found = 0;
        for (int k = 0; k < count && !found; ++k)
            for (int i = 0; i < per && !found; ++i)
                if (syms[k * per + i] == sym)
                    found = static_cast<xcb_keycode_t>(setup->min_keycode + k);
        std::free(reply);
        return found;
    }

    // The modifier Num Lock sets; the second modifier on most keyboards.
    quint16 numLockMask() const {
        const xcb_keycode_t num = keycodeOf(0xff7f);
        auto* reply = xcb_get_modifier_mapping_reply(c_, xcb_get_modifier_mapping(c_), nullptr);
        if (!reply) return XCB_MOD_MASK_2;
        quint16 mask = 0;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
        for (int mod = 0; mod < 8 && num; ++mod)
            for (int i = 0; i < reply->keycodes_per_modifier; ++i)
                if (codes[mod * reply->keycodes_per_modifier + i] == num)
                    mask = static_cast<quint16>(1 << mod);
        std::free(reply);
        return mask ? mask : quint16(XCB_MOD_MASK_2);
    }

    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
    xcb_keycode_t keycode_ = 0;
    quint16 mods_ = 0;
    quint16 numLock_ = XCB_MOD_MASK_2;
    bool grabbed_ = false;
};

// ---- The portal -----------------------------------------------------------------

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
                    if (response != 0) return fail(GlobalShortcut::tr("桌面拒绝了全局快捷键"));
                    session_ = results.value(QStringLiteral("session_handle")).toString();
                    bindShortcut();
                });
    }

    void bindShortcut() {
        PortalEntry entry{kShortcutId,
                          {{QStringLiteral("description"), GlobalShortcut::tr("显示主窗口")},
                           {QStringLiteral("preferred_trigger"), portalTrigger(keys_)}}};
        request(QStringLiteral("BindShortcuts"),
                {QVariant::fromValue(QDBusObjectPath(session_)),
                 QVariant::fromValue(QList<PortalEntry>{entry}), QString(), QVariantMap()},
                [this](uint response, const QVariantMap&) {
                    pending_ = false;
                    if (response != 0) return fail(GlobalShortcut::tr("桌面拒绝了全局快捷键"));
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
        emit bound(why.isEmpty() ? GlobalShortcut::tr("桌面拒绝了全局快捷键") : why);
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

xcb_connection_t* xConnection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

} // namespace

std::unique_ptr<GlobalShortcut> makeX11KeyGrab() {
    xcb_connection_t* c = xConnection();
    if (!c) return nullptr;
    return std::make_unique<X11KeyGrab>(c);
}

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
