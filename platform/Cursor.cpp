#include "platform/Cursor.h"

#include "platform/X11Window.h"

#include "platform/Log.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QTemporaryFile>
#include <QTimer>
#include <QWindow>

#include <xcb/xcb.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace qb {

namespace {

// Xwayland keeps reporting the last place it saw the pointer at while the pointer
// is over a Wayland window. This remembers that place whenever the pointer may
// have gone there: at start and when it leaves one of the program's windows.
// Until the reported place changes (the pointer moved over an X window), it
// says nothing about where the pointer is. A leave straight into another of the
// program's windows (the board onto the edge sensor) is no leave from the
// program: the server saw the pointer arrive there.
class StalePlace final : public QObject {
public:
    StalePlace() : stale_(QCursor::pos()) { qGuiApp->installEventFilter(this); }
    bool isStale(QPoint p) {
        if (stale_ && *stale_ == p) return true;
        stale_.reset();
        return false;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!qobject_cast<QWindow*>(watched)) return false;
        if (event->type() == QEvent::Leave) {
            // The toolkit delivers the enter of a crossing right after its leave,
            // before any timer: until then the leave may still be undone.
            beforeLeave_ = stale_;
            stale_ = QCursor::pos();
            justLeft_ = true;
            QTimer::singleShot(0, this, [this] { justLeft_ = false; });
        } else if (event->type() == QEvent::Enter && justLeft_) {
            stale_ = beforeLeave_;
            justLeft_ = false;
        }
        return false;
    }

private:
    std::optional<QPoint> stale_;
    std::optional<QPoint> beforeLeave_;
    bool justLeft_ = false;
};

const QString kKWin = QStringLiteral("org.kde.KWin");
const QString kScripting = QStringLiteral("org.kde.kwin.Scripting");

} // namespace

// KWin's own view of its pointer, for an X program under its Xwayland. After
// absolute motion (a tablet, a virtual machine's pointer, remote control) this
// Xwayland tells X clients nothing when the pointer leaves their windows: the
// place it reports stays where the pointer was last over one of them. A small
// KWin script of ours calls back on every move, wherever the pointer is.
CompositorPointer::CompositorPointer() = default;

CompositorPointer::~CompositorPointer() {
    if (plugin_.isEmpty()) return;
    QDBusMessage unload = QDBusMessage::createMethodCall(
        kKWin, QStringLiteral("/Scripting"), kScripting, QStringLiteral("unloadScript"));
    unload << plugin_;
    QDBusConnection::sessionBus().call(unload, QDBus::Block, 2000);
}

CompositorPointer* CompositorPointer::start() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(kKWin).value())
        return nullptr;
    auto* watch = new CompositorPointer;
    watch->setParent(qApp); // ends with the application, unloading the script
    if (!watch->load(bus)) {
        delete watch;
        return nullptr;
    }
    return watch;
}

bool CompositorPointer::load(QDBusConnection& bus) {
    static const char* const kScript = R"(function report() {
    var p = workspace.cursorPos;
    callDBus("%1", "/Pointer", "io.github.quillbeck.Pointer", "moved", p.x, p.y);
}
workspace.cursorPosChanged.connect(report);
report();
)";
    if (!bus.registerObject(QStringLiteral("/Pointer"), this,
                            QDBusConnection::ExportScriptableSlots))
        return false;
    script_ = new QTemporaryFile(QDir::tempPath() + QStringLiteral("/quillbeck-XXXXXX.js"), this);
    const QByteArray text = QString::fromLatin1(kScript).arg(bus.baseService()).toUtf8();
    if (!script_->open() || script_->write(text) != text.size() || !script_->flush()) return false;
    plugin_ = QStringLiteral("quillbeck-pointer-%1").arg(QCoreApplication::applicationPid());
    QDBusMessage load = QDBusMessage::createMethodCall(kKWin, QStringLiteral("/Scripting"),
                                                       kScripting, QStringLiteral("loadScript"));
    load << script_->fileName() << plugin_;
    const QDBusMessage loaded = bus.call(load, QDBus::Block, 2000);
    if (loaded.type() != QDBusMessage::ReplyMessage || loaded.arguments().isEmpty() ||
        loaded.arguments().first().toInt() < 0) {
        qCInfo(lcPlatform) << "KWin took no pointer script:" << loaded.errorMessage();
        plugin_.clear();
        return false;
    }
    const QDBusMessage started =
        bus.call(QDBusMessage::createMethodCall(kKWin, QStringLiteral("/Scripting"), kScripting,
                                                QStringLiteral("start")),
                 QDBus::Block, 2000);
    if (started.type() != QDBusMessage::ReplyMessage) return false;
    qCInfo(lcPlatform) << "following KWin's pointer";
    return true;
}

void CompositorPointer::moved(double x, double y) {
    // KWin's places are the X server's pixels; the toolkit's may be scaled.
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    at_ = QPoint(static_cast<int>(std::floor(x / ratio)), static_cast<int>(std::floor(y / ratio)));
}

void CompositorPointer::moved(int x, int y) {
    moved(double(x), double(y));
}

namespace {

const QString kIdleMonitor = QStringLiteral("org.gnome.Mutter.IdleMonitor");
const QString kIdleMonitorPath = QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core");
// A watch fires once, at the next input anywhere; the next one is asked for this
// long after: a few reports a second tell a moving pointer well enough.
constexpr int kRearmMs = 20;

qint64 now() {
    static const QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

xcb_atom_t atomOf(xcb_connection_t* c, const char* name) {
    const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    xcb_atom_t atom = XCB_ATOM_NONE;
    if (reply) atom = reply->atom;
    std::free(reply);
    return atom;
}

uint8_t opcodeOf(xcb_connection_t* c, const char* extension) {
    const auto cookie =
        xcb_query_extension(c, static_cast<uint16_t>(std::strlen(extension)), extension);
    xcb_query_extension_reply_t* reply = xcb_query_extension_reply(c, cookie, nullptr);
    const uint8_t opcode = reply && reply->present ? reply->major_opcode : 0;
    std::free(reply);
    return opcode;
}

} // namespace

// Input to the program's own X windows as the server delivers it: the pointer
// moving, pressing or scrolling over them, keys, a drag over them. Read before
// the toolkit, so that input to a window a modal box blocks counts as well.
class CompositorActivity::OwnInput final : public QAbstractNativeEventFilter {
public:
    explicit OwnInput(UnseenInput& input) : input_(input) {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (xcb_connection_t* c = x11 ? x11->connection() : nullptr) {
            xinput_ = opcodeOf(c, "XInputExtension");
            xdndPosition_ = atomOf(c, "XdndPosition");
        }
        qApp->installNativeEventFilter(this);
    }
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type == "xcb_generic_event_t" && isInput(static_cast<xcb_generic_event_t*>(message)))
            input_.own(now());
        return false;
    }

private:
    bool isInput(const xcb_generic_event_t* e) const {
        switch (e->response_type & 0x7f) {
        case XCB_KEY_PRESS:
        case XCB_KEY_RELEASE:
        case XCB_BUTTON_PRESS:
        case XCB_BUTTON_RELEASE:
        case XCB_MOTION_NOTIFY:
        case XCB_ENTER_NOTIFY:
            return true;
        case XCB_CLIENT_MESSAGE:
            return xdndPosition_ != XCB_ATOM_NONE &&
                   reinterpret_cast<const xcb_client_message_event_t*>(e)->type == xdndPosition_;
        case XCB_GE_GENERIC: {
            const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(e);
            if (!xinput_ || ge->extension != xinput_) return false;
            // Keys, buttons, motion and enter; touch; touchpad gestures. Not a
            // leave, focus or device change.
            const uint16_t t = ge->event_type;
            return (t >= 2 && t <= 7) || (t >= 18 && t <= 20) || (t >= 27 && t <= 32);
        }
        default:
            return false;
        }
    }

    UnseenInput& input_;
    uint8_t xinput_ = 0;
    xcb_atom_t xdndPosition_ = XCB_ATOM_NONE;
};

// GNOME's idle monitor reports input to any program on the session bus: a
// user-active watch fires at the next input, wherever it goes. Where no other
// program's window can have taken it (the program's own X windows had none),
// the pointer is over a Wayland window.
CompositorActivity::CompositorActivity() : own_(std::make_unique<OwnInput>(input_)) {}

CompositorActivity::~CompositorActivity() = default;

CompositorActivity* CompositorActivity::start() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(kIdleMonitor).value())
        return nullptr;
    auto* activity = new CompositorActivity;
    activity->setParent(qApp);
    if (!bus.connect(kIdleMonitor, kIdleMonitorPath, kIdleMonitor, QStringLiteral("WatchFired"),
                     activity, SLOT(fired(uint)))) {
        delete activity;
        return nullptr;
    }
    // Reports count only while the program has the keyboard: asking for them
    // at other times would only wake the compositor and the program for nothing.
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, activity, [activity](QWindow* w) {
        if (w) activity->arm();
    });
    if (QGuiApplication::focusWindow()) activity->arm();
    qCInfo(lcPlatform) << "following GNOME's reports of input";
    return activity;
}

void CompositorActivity::arm() {
    if (watch_ || arming_) return;
    arming_ = true;
    const QDBusMessage add = QDBusMessage::createMethodCall(
        kIdleMonitor, kIdleMonitorPath, kIdleMonitor, QStringLiteral("AddUserActiveWatch"));
    auto* call = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(add), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        arming_ = false;
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError())
            qCInfo(lcPlatform) << "GNOME's idle monitor took no watch:" << reply.error().message();
        else
            watch_ = reply.value();
    });
}

void CompositorActivity::fired(uint watch) {
    // Every program's watches fire on the same signal.
    if (watch_ != watch) return;
    watch_.reset();
    // Keys typed into another program's window are input too: only while the
    // keyboard is the program's (it takes it when shown) is input it does not
    // get the pointer's.
    if (!QGuiApplication::focusWindow()) return;
    input_.reported(now());
    QTimer::singleShot(kRearmMs, this, [this] {
        if (QGuiApplication::focusWindow()) arm();
    });
}

namespace {

class PointerCursor final : public Cursor {
public:
    QPoint pos() const override {
        if (const auto p = compositor()) return *p;
        return QCursor::pos();
    }
    bool seen() const override {
        if (!onXwayland() || compositor()) return true;
        static StalePlace stale;
        static const CompositorActivity* const activity = CompositorActivity::start();
        const bool fresh = !stale.isStale(QCursor::pos());
        return fresh && !(activity && activity->elsewhere());
    }
    std::optional<bool> buttonHeld() const override {
        auto* x11 =
            qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        xcb_connection_t* c = x11 ? x11->connection() : nullptr;
        if (!c) return std::nullopt;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        xcb_query_pointer_reply_t* reply =
            xcb_query_pointer_reply(c, xcb_query_pointer(c, screen->root), nullptr);
        if (!reply) return std::nullopt;
        const bool held = reply->mask & (XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3);
        std::free(reply);
        return held;
    }

private:
    // Where the compositor can tell, it knows best.
    static std::optional<QPoint> compositor() {
        if (!onXwayland()) return std::nullopt;
        static const CompositorPointer* const watch = CompositorPointer::start();
        return watch ? watch->pos() : std::nullopt;
    }
};

PointerCursor pointer;
Cursor* installed = nullptr;

} // namespace

Cursor& cursor() {
    return installed ? *installed : pointer;
}

void setCursor(Cursor* c) {
    installed = c;
}

} // namespace qb
