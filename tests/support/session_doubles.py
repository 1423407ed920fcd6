#!/usr/bin/python3
# Stand-ins for a desktop's tray host and notification service on a private
# session bus, and a client that acts as the desktop's user on them.
#
#   session_doubles.py serve LOG    own org.kde.StatusNotifierWatcher and
#                                   org.freedesktop.Notifications; print "ready";
#                                   append one JSON line to LOG per event
#   session_doubles.py serve-markup LOG  the same, with a notification service
#                                   that reads markup in bodies
#   session_doubles.py kwin LOG     own org.kde.KWin with its script loader; a
#                                   started script's one callDBus is called
#                                   back once, as KWin would on a pointer move
#   session_doubles.py portal LOG   own org.freedesktop.portal.Desktop with global
#                                   shortcuts: each bound shortcut is logged and
#                                   pressed once, as a user would
#   session_doubles.py portal-late LOG  the same, answering whether it offers
#                                   shortcuts only after 1.5 s
#   session_doubles.py portal-none LOG  a portal without global shortcuts
#   session_doubles.py items        print the registered tray items, one a line
#   session_doubles.py activate     left click on the (only) tray item
#   session_doubles.py menu         print the item's menu as JSON
#   session_doubles.py click LABEL  choose the menu entry labelled LABEL
#   session_doubles.py icon         print the item's icon name and pixmap sizes
#   session_doubles.py invoke KEY   the user chooses the button KEY of the last notification
#
# The bus is the one $DBUS_SESSION_BUS_ADDRESS names.
import json
import re
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
WATCHER_PATH = "/StatusNotifierWatcher"
NOTIFY = "org.freedesktop.Notifications"
NOTIFY_PATH = "/org/freedesktop/Notifications"
# The stand-in's own interface: what a user does to a notification.
NOTIFY_TEST = "org.quillbeck.TestNotifications"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"

# Toolkits read the watcher's properties through introspection.
WATCHER_XML = """<node>
 <interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
  <signal name="StatusNotifierHostRegistered"/>
 </interface>
 <interface name="org.freedesktop.DBus.Properties">
  <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/>
   <arg type="v" direction="out"/></method>
  <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
 </interface>
 <interface name="org.freedesktop.DBus.Introspectable">
  <method name="Introspect"><arg type="s" direction="out"/></method>
 </interface>
</node>"""


class Log:
    def __init__(self, path):
        self.path = path

    def write(self, **event):
        with open(self.path, "a", encoding="utf-8") as f:
            f.write(json.dumps(event, ensure_ascii=False) + "\n")


class Watcher(dbus.service.Object):
    def __init__(self, bus, log):
        super().__init__(bus, WATCHER_PATH)
        self.log = log
        self.items = []
        bus.add_signal_receiver(self.name_owner_changed, "NameOwnerChanged",
                                "org.freedesktop.DBus")

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        # An item names its bus name, or only its object path on the caller.
        if service.startswith("/"):
            service = sender + service
        if service not in self.items:
            self.items.append(service)
        self.log.write(event="register", service=str(service), sender=str(sender))
        self.StatusNotifierItemRegistered(service)

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemUnregistered(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="")
    def StatusNotifierHostRegistered(self):
        pass

    def name_owner_changed(self, name, old, new):
        if new:
            return
        gone = [s for s in self.items if s == name or s.startswith(name + "/")]
        for s in gone:
            self.items.remove(s)
            self.log.write(event="unregister", service=str(s))
            self.StatusNotifierItemUnregistered(s)

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {
            "RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
            "IsStatusNotifierHostRegistered": dbus.Boolean(True),
            "ProtocolVersion": dbus.Int32(0),
        }

    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature="s")
    def Introspect(self):
        return WATCHER_XML


class Notifications(dbus.service.Object):
    def __init__(self, bus, log, markup=False):
        super().__init__(bus, NOTIFY_PATH)
        self.log = log
        self.count = 0
        self.markup = markup

    @dbus.service.method(NOTIFY, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        self.count += 1
        self.log.write(event="notify", id=self.count, app=str(app), icon=str(icon),
                       summary=str(summary), body=str(body),
                       actions=[str(a) for a in actions],
                       hints={str(k): str(v) for k, v in hints.items()})
        return dbus.UInt32(self.count)

    @dbus.service.method(NOTIFY, out_signature="as")
    def GetCapabilities(self):
        self.log.write(event="capabilities")
        return ["body", "actions"] + (["body-markup"] if self.markup else [])

    @dbus.service.signal(NOTIFY, signature="us")
    def ActionInvoked(self, number, key):
        pass

    @dbus.service.signal(NOTIFY, signature="uu")
    def NotificationClosed(self, number, reason):
        pass

    # A click on a button closes the notification, as desktops do.
    @dbus.service.method(NOTIFY_TEST, in_signature="s")
    def Invoke(self, key):
        self.log.write(event="invoke", id=self.count, key=str(key))
        self.ActionInvoked(dbus.UInt32(self.count), key)
        self.NotificationClosed(dbus.UInt32(self.count), dbus.UInt32(2))

    @dbus.service.method(NOTIFY, out_signature="ssss")
    def GetServerInformation(self):
        return ("test doubles", "quillbeck", "1", "1.2")

    @dbus.service.method(NOTIFY, in_signature="u")
    def CloseNotification(self, number):
        pass


KWIN = "org.kde.KWin"
SCRIPTING = "org.kde.kwin.Scripting"
# callDBus("service", "/path", "interface", "method", x, y)
CALL = re.compile(r'callDBus\("([^"]+)",\s*"([^"]+)",\s*"([^"]+)",\s*"([^"]+)"')


class Scripting(dbus.service.Object):
    def __init__(self, bus, log):
        super().__init__(bus, "/Scripting")
        self.bus = bus
        self.log = log
        self.scripts = {}

    @dbus.service.method(SCRIPTING, in_signature="ss", out_signature="i")
    def loadScript(self, path, name):
        with open(path, encoding="utf-8") as f:
            text = f.read()
        self.scripts[str(name)] = text
        self.log.write(event="load", name=str(name), script=text)
        return len(self.scripts)

    @dbus.service.method(SCRIPTING)
    def start(self):
        self.log.write(event="start")
        for text in self.scripts.values():
            m = CALL.search(text)
            if not m:
                continue
            # As KWin does: without waiting for the answer, and with the
            # script's numbers as doubles.
            target = self.bus.get_object(m.group(1), m.group(2), introspect=False)
            target.get_dbus_method(m.group(4), m.group(3))(
                dbus.Double(120.0), dbus.Double(340.0),
                reply_handler=lambda *_: self.log.write(event="called", ok=True),
                error_handler=lambda e: self.log.write(event="called", ok=False,
                                                       error=str(e)))

    @dbus.service.method(SCRIPTING, in_signature="s", out_signature="b")
    def unloadScript(self, name):
        self.log.write(event="unload", name=str(name))
        return self.scripts.pop(str(name), None) is not None


PORTAL = "org.freedesktop.portal.Desktop"
PORTAL_PATH = "/org/freedesktop/portal/desktop"
SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"
REQUEST = "org.freedesktop.portal.Request"
# Longer than a start-up could bear to wait.
LATE_MS = 1500


class Request(dbus.service.Object):
    @dbus.service.signal(REQUEST, signature="ua{sv}")
    def Response(self, response, results):
        pass


class Portal(dbus.service.Object):
    # `offers`: "portal" answers at once that it has global shortcuts,
    # "portal-late" only after LATE_MS, "portal-none" that it has none.
    def __init__(self, bus, log, offers):
        super().__init__(bus, PORTAL_PATH)
        self.bus = bus
        self.log = log
        self.offers = offers
        self.requests = []

    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="ss",
                         out_signature="v", async_callbacks=("reply", "error"))
    def Get(self, interface, name, reply, error):
        if self.offers == "portal-none":
            error(dbus.exceptions.DBusException(
                "no " + interface, name="org.freedesktop.DBus.Error.UnknownInterface"))
        elif self.offers == "portal-late":
            GLib.timeout_add(LATE_MS, lambda: reply(dbus.UInt32(1)) and False)
        else:
            reply(dbus.UInt32(1))

    def answer(self, sender, options, results):
        # At once, as the real portal answers a session: before the caller has
        # seen the method's reply.
        path = "%s/request/%s/%s" % (PORTAL_PATH, sender[1:].replace(".", "_"),
                                     options["handle_token"])
        request = Request(self.bus, path)
        self.requests.append(request)
        request.Response(dbus.UInt32(0), dbus.Dictionary(results, signature="sv"))
        return dbus.ObjectPath(path)

    @dbus.service.method(SHORTCUTS, in_signature="a{sv}", out_signature="o",
                         sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        self.session = "%s/session/%s" % (PORTAL_PATH, options["session_handle_token"])
        self.log.write(event="session", session=self.session)
        return self.answer(sender, options,
                           {"session_handle": dbus.String(self.session)})

    @dbus.service.method(SHORTCUTS, in_signature="oa(sa{sv})sa{sv}", out_signature="o",
                         sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent, options, sender=None):
        bound = [{"id": str(i), **{str(k): str(v) for k, v in p.items()}}
                 for i, p in shortcuts]
        self.log.write(event="bind", session=str(session), shortcuts=bound)
        path = self.answer(sender, options, {})
        GLib.timeout_add(200, lambda: self.Activated(session, bound[0]["id"],
                                                     dbus.UInt64(1), {}) and False)
        return path

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session, shortcut, timestamp, options):
        pass


def serve(log_path, make, names):
    """Serves the objects make(bus, log) returns under `names` until killed."""
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    # The objects and names live as long as they are referenced.
    keep = make(bus, Log(log_path))
    keep += [dbus.service.BusName(name, bus, do_not_queue=True) for name in names]
    print("ready", flush=True)
    GLib.MainLoop().run()
    return keep


def the_item(bus):
    watcher = bus.get_object(WATCHER, WATCHER_PATH)
    items = watcher.Get(WATCHER, "RegisteredStatusNotifierItems",
                        dbus_interface=dbus.PROPERTIES_IFACE)
    if len(items) != 1:
        sys.exit("expected one tray item, found %d" % len(items))
    service, _, path = str(items[0]).partition("/")
    return bus.get_object(service, "/" + (path or "StatusNotifierItem"))


def menu_of(bus, item):
    path = item.Get(ITEM, "Menu", dbus_interface=dbus.PROPERTIES_IFACE)
    menu = bus.get_object(item.bus_name, path)
    # A host asks before it shows the menu; the program refreshes it then.
    menu.AboutToShow(0, dbus_interface=MENU)
    _, layout = menu.GetLayout(0, -1, [], dbus_interface=MENU)
    entries = []

    def walk(node):
        number, props, children = node
        if number != 0 and props.get("type", "standard") != "separator":
            entries.append({
                "id": int(number),
                "label": str(props.get("label", "")),
                "enabled": bool(props.get("enabled", True)),
                "checkable": str(props.get("toggle-type", "")) == "checkmark",
                "checked": int(props.get("toggle-state", 0)) == 1,
            })
        for child in children:
            walk(child)

    walk(layout)
    return menu, entries


def main():
    command = sys.argv[1]
    if command in ("serve", "serve-markup"):
        serve(sys.argv[2], lambda bus, log: [Watcher(bus, log),
                                             Notifications(bus, log, command == "serve-markup")],
              (WATCHER, NOTIFY))
        return
    if command == "kwin":
        serve(sys.argv[2], lambda bus, log: [Scripting(bus, log)], (KWIN,))
        return
    if command in ("portal", "portal-late", "portal-none"):
        serve(sys.argv[2], lambda bus, log: [Portal(bus, log, command)], (PORTAL,))
        return
    bus = dbus.SessionBus()
    if command == "items":
        watcher = bus.get_object(WATCHER, WATCHER_PATH)
        for s in watcher.Get(WATCHER, "RegisteredStatusNotifierItems",
                             dbus_interface=dbus.PROPERTIES_IFACE):
            print(s)
        return
    if command == "invoke":
        bus.get_object(NOTIFY, NOTIFY_PATH).Invoke(sys.argv[2], dbus_interface=NOTIFY_TEST)
        return
    item = the_item(bus)
    if command == "activate":
        item.Activate(0, 0, dbus_interface=ITEM)
    elif command == "icon":
        props = item.GetAll(ITEM, dbus_interface=dbus.PROPERTIES_IFACE)
        print(json.dumps({
            "name": str(props.get("IconName", "")),
            "sizes": [[int(w), int(h)] for w, h, data in props.get("IconPixmap", []) if data],
        }))
    elif command == "menu":
        print(json.dumps(menu_of(bus, item)[1], ensure_ascii=False))
    elif command == "click":
        menu, entries = menu_of(bus, item)
        found = [e for e in entries if e["label"] == sys.argv[2]]
        if not found:
            sys.exit("no menu entry %r in %r" % (sys.argv[2], [e["label"] for e in entries]))
        menu.Event(found[0]["id"], "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0),
                   dbus_interface=MENU)
    else:
        sys.exit("unknown command " + command)


if __name__ == "__main__":
    main()
