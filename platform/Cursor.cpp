#include "platform/Cursor.h"

#include "platform/X11Window.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QEvent>
#include <QGuiApplication>
#include <QTemporaryFile>
#include <QTimer>
#include <QWindow>

#include <cmath>
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

class PointerCursor final : public Cursor {
public:
    QPoint pos() const override {
        if (const auto p = compositor()) return *p;
        return QCursor::pos();
    }
    bool seen() const override {
        if (!onXwayland() || compositor()) return true;
        static StalePlace stale;
        return !stale.isStale(QCursor::pos());
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
