#include "platform/X11Window.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace qb {

namespace {

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    if (!reply) return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

// Appends the skip-taskbar and skip-pager states to the window's _NET_WM_STATE.
// Qt merges its own states (stay on top) into the property when it maps the
// window, so what is set here survives the first show().
void skipTaskbarAndPager(xcb_connection_t* c, xcb_window_t window) {
    const xcb_atom_t state = internAtom(c, "_NET_WM_STATE");
    const xcb_atom_t skipTaskbar = internAtom(c, "_NET_WM_STATE_SKIP_TASKBAR");
    const xcb_atom_t skipPager = internAtom(c, "_NET_WM_STATE_SKIP_PAGER");
    if (state == XCB_ATOM_NONE || skipTaskbar == XCB_ATOM_NONE || skipPager == XCB_ATOM_NONE)
        return;

    std::vector<xcb_atom_t> atoms;
    const auto cookie = xcb_get_property(c, 0, window, state, XCB_ATOM_ATOM, 0, 1024);
    if (xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr)) {
        if (reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
            const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
            atoms.assign(data, data + xcb_get_property_value_length(reply) / 4);
        }
        std::free(reply);
    }
    for (xcb_atom_t a : {skipTaskbar, skipPager}) {
        bool present = false;
        for (xcb_atom_t have : atoms)
            present = present || have == a;
        if (!present) atoms.push_back(a);
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32,
                        static_cast<uint32_t>(atoms.size()), atoms.data());
    xcb_flush(c);
}

} // namespace

QRect frameRect(const QWidget& w) {
    const QRect frame = w.frameGeometry();
    const QRect inner = w.geometry();
    return w.isWindow() && !frame.contains(inner) ? inner : frame;
}

bool onX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

bool onXwayland() {
    static const bool xwayland = [] {
        if (!onX11()) return false;
        // Xwayland names its outputs so; newer ones also have an extension.
        for (const QScreen* s : QGuiApplication::screens())
            if (s->name().startsWith(QLatin1String("XWAYLAND"))) return true;
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        xcb_connection_t* c = x11 ? x11->connection() : nullptr;
        if (!c) return false;
        const char name[] = "XWAYLAND";
        const auto cookie = xcb_query_extension(c, sizeof name - 1, name);
        xcb_query_extension_reply_t* reply = xcb_query_extension_reply(c, cookie, nullptr);
        const bool present = reply && reply->present;
        std::free(reply);
        return present;
    }();
    return xwayland;
}

void makeDockWindow(QWidget* w) {
    if (onXwayland()) w->setWindowFlag(Qt::X11BypassWindowManagerHint);
    const WId id = w->winId();
    // Only takes effect once the native window exists.
    w->setAttribute(Qt::WA_X11NetWmWindowTypeDock);
    if (!onX11()) return;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return;
    skipTaskbarAndPager(x11->connection(), static_cast<xcb_window_t>(id));
}

void takeKeyboard(QWidget* w) {
    if (!onXwayland() || !w->isVisible() || w->isActiveWindow()) return;
    w->hide();
    makeDockWindow(w);
    w->show();
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection()) return;
    xcb_set_input_focus(x11->connection(), XCB_INPUT_FOCUS_PARENT,
                        static_cast<xcb_window_t>(w->winId()), XCB_CURRENT_TIME);
    xcb_flush(x11->connection());
}

} // namespace qb
