// The global shortcut on X11: a key grab on the root window, in each lock state.
#include "platform/GlobalShortcut.h"
#include "platform/Handler.h"
#include "platform/Log.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xcb.h>

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
            if (why)
                *why = QCoreApplication::translate("qb::GlobalShortcut", "键盘上没有 %1 这个键")
                           .arg(shown(keys));
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
                if (why)
                    *why = QCoreApplication::translate("qb::GlobalShortcut",
                                                       "快捷键 %1 已被其他程序占用")
                               .arg(shown(keys));
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

} // namespace qb
